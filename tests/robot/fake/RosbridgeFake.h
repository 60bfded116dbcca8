#pragma once

#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QWebSocketServer>

#include <functional>

class QWebSocket;

// A deterministic rosbridge server on loopback for the robot suites. It records every text frame
// it receives verbatim, answers service calls as each test scripts them, publishes on demand,
// counts subscribe and unsubscribe operations per topic, and can close, abort or refuse.
//
// Qt's server socket answers pings by itself; the peer that never does is RawWebSocketPeer.
class RosbridgeFake : public QObject
{
    Q_OBJECT

public:
    // What the server sends for one call: a list of text frames (empty: no reply) after a delay.
    struct Reply
    {
        QStringList frames;
        int delayMs = 0;
    };
    using Script = std::function<Reply(const QJsonObject &request)>;

    explicit RosbridgeFake(QObject *parent = nullptr);
    ~RosbridgeFake() override;

    bool listen(quint16 port = 0);
    bool isListening() const { return m_server.isListening(); }
    quint16 port() const;
    QString url() const;
    // Stop listening (new connections are refused); existing clients stay.
    void refuse();

    // Scripts: per service name; unscripted services get no reply.
    void script(const QString &service, Script script);
    // A reply {"op":"service_response","id":<id of request>,"service":...,"result":...} with
    // "values" only when `values` is not undefined; `extra` members override.
    static QString response(const QJsonObject &request, bool result,
                            const QJsonValue &values = QJsonValue(QJsonValue::Undefined),
                            const QJsonObject &extra = {});
    // Shorthands: answer with values; answer a status record {"success","message"} at the top level
    // or under "result".
    void answer(const QString &service, bool result,
                const QJsonValue &values = QJsonValue(QJsonValue::Undefined), int delayMs = 0);

    void publish(const QString &topic, const QJsonObject &msg);
    void sendText(const QString &text);
    void sendBinary(const QByteArray &data);
    void closeAll();
    void abortAll();

    QStringList frames() const { return m_frames; }
    // Received frames parsed, filtered by "op".
    QList<QJsonObject> requests(const QString &op) const;
    QJsonObject lastCall(const QString &service) const;
    int subscribeCount(const QString &topic) const { return m_subscribes.value(topic); }
    int unsubscribeCount(const QString &topic) const { return m_unsubscribes.value(topic); }
    int clientCount() const { return int(m_clients.size()); }

signals:
    void frameReceived(QString frame);
    void clientConnected();

private:
    void onText(QWebSocket *socket, const QString &text);

    QWebSocketServer m_server;
    QList<QWebSocket *> m_clients;
    QStringList m_frames;
    QHash<QString, Script> m_scripts;
    QHash<QString, int> m_subscribes;
    QHash<QString, int> m_unsubscribes;
};
