#pragma once

#include "RobotConnectionStatus.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QDateTime>
#include <QFuture>
#include <QFutureInterface>
#include <QObject>
#include <QUrl>

class QTimer;
class QWebSocket;

// Keep-alive timings and the largest frame a robot may send. The defaults are the product's;
// tests pass short timings.
struct WebSocketClientSettings
{
    int pingIntervalMs = 3000;
    // A connection whose last pong (or, before the first pong, whose opening) lies further back
    // than this is dropped at the next ping tick.
    int pongTimeoutMs = 15000;
    // A robot that sends a larger message is disconnected instead of filling our memory: the
    // largest legitimate frames (maps as resource JSON) stay well below this.
    quint64 maxIncomingMessageSize = 64ull * 1024 * 1024;
};

// One WebSocket connection to a robot's rosbridge server, kept alive with pings. Its status is
// the status of the whole robot stack; each connect attempt settles a future of bool exactly once
// (true: connected, false: failed; canceled when a later attempt or the destruction replaces it).
//
// Ownership: the socket and the keep-alive timer are children. Threading: the thread that made the
// client (the GUI thread); all slots are direct.
class WebSocketClient : public QObject
{
    Q_OBJECT
    Q_PROPERTY(RobotConnectionStatus::Status status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY statusChanged)
    Q_PROPERTY(float connectionLatency READ connectionLatency NOTIFY connectionLatencyChanged)

public:
    explicit WebSocketClient(QObject *parent = nullptr);
    explicit WebSocketClient(const WebSocketClientSettings &settings, QObject *parent = nullptr);
    ~WebSocketClient() override;

    RobotConnectionStatus::Status status() const { return m_status; }
    bool isConnected() const { return m_status == RobotConnectionStatus::Connected; }
    float connectionLatency() const { return m_connectionLatency; }
    QUrl url() const { return m_url; }

    virtual QFuture<bool> connect(const QString &host, quint16 port);
    virtual void disconnect();
    virtual void sendTextMessage(const QString &message);
    virtual void sendBinaryMessage(const QByteArray &data);

signals:
    void statusChanged();
    void connectionLatencyChanged();
    void messageReceived(QString message);
    void dataReceived(QByteArray data);

public slots:
    void websocketStatusChanged(QAbstractSocket::SocketState state);
    void onPong(qulonglong elapsedTime, QByteArray payload);
    void keepAliveTimer();

private:
    void onSocketError(QAbstractSocket::SocketError error);
    void settleAttempt(bool connected, const QString &text);
    void resetLatency();
    bool attemptRunning() const;

    WebSocketClientSettings m_settings;
    QWebSocket *m_socket = nullptr;
    QUrl m_url;
    QFutureInterface<bool> m_connectPromise;
    QTimer *m_keepAliveTimer = nullptr;
    QDateTime m_lastPong;
    float m_connectionLatency;
    RobotConnectionStatus::Status m_status = RobotConnectionStatus::Unknown;
};
