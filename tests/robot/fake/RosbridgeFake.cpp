#include "RosbridgeFake.h"

#include <QJsonDocument>
#include <QPointer>
#include <QTimer>
#include <QWebSocket>

RosbridgeFake::RosbridgeFake(QObject *parent)
    : QObject(parent)
    , m_server(QStringLiteral("rosbridge fake"), QWebSocketServer::NonSecureMode)
{
    m_server.setMaxPendingConnections(16);
    connect(&m_server, &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            m_clients.append(socket);
            connect(socket, &QWebSocket::textMessageReceived, this,
                    [this, socket](const QString &text) { onText(socket, text); });
            connect(socket, &QWebSocket::disconnected, this, [this, socket] {
                m_clients.removeAll(socket);
                socket->deleteLater();
            });
            emit clientConnected();
        }
    });
}

RosbridgeFake::~RosbridgeFake()
{
    for (QWebSocket *socket : std::as_const(m_clients))
        socket->disconnect(this);
}

bool RosbridgeFake::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

quint16 RosbridgeFake::port() const
{
    return m_server.serverPort();
}

QString RosbridgeFake::url() const
{
    return QStringLiteral("ws://127.0.0.1:%1").arg(port());
}

void RosbridgeFake::refuse()
{
    m_server.close();
}

void RosbridgeFake::script(const QString &service, Script script)
{
    m_scripts.insert(service, std::move(script));
}

QString RosbridgeFake::response(const QJsonObject &request, bool result, const QJsonValue &values,
                                const QJsonObject &extra)
{
    QJsonObject reply{ { QStringLiteral("op"), QStringLiteral("service_response") },
                       { QStringLiteral("id"), request.value(QLatin1String("id")) },
                       { QStringLiteral("service"), request.value(QLatin1String("service")) },
                       { QStringLiteral("result"), result } };
    if (!values.isUndefined())
        reply.insert(QStringLiteral("values"), values);
    for (auto it = extra.begin(); it != extra.end(); ++it)
        reply.insert(it.key(), it.value());
    return QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact));
}

void RosbridgeFake::answer(const QString &service, bool result, const QJsonValue &values,
                           int delayMs)
{
    script(service, [result, values, delayMs](const QJsonObject &request) {
        return Reply{ { response(request, result, values) }, delayMs };
    });
}

void RosbridgeFake::publish(const QString &topic, const QJsonObject &msg)
{
    const QJsonObject frame{ { QStringLiteral("op"), QStringLiteral("publish") },
                             { QStringLiteral("topic"), topic },
                             { QStringLiteral("msg"), msg } };
    sendText(QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact)));
}

void RosbridgeFake::sendText(const QString &text)
{
    for (QWebSocket *socket : std::as_const(m_clients))
        socket->sendTextMessage(text);
}

void RosbridgeFake::sendBinary(const QByteArray &data)
{
    for (QWebSocket *socket : std::as_const(m_clients))
        socket->sendBinaryMessage(data);
}

void RosbridgeFake::closeAll()
{
    for (QWebSocket *socket : QList<QWebSocket *>(m_clients))
        socket->close();
}

void RosbridgeFake::abortAll()
{
    for (QWebSocket *socket : QList<QWebSocket *>(m_clients))
        socket->abort();
}

QList<QJsonObject> RosbridgeFake::requests(const QString &op) const
{
    QList<QJsonObject> list;
    for (const QString &frame : m_frames) {
        const QJsonObject object = QJsonDocument::fromJson(frame.toUtf8()).object();
        if (object.value(QLatin1String("op")).toString() == op)
            list.append(object);
    }
    return list;
}

QJsonObject RosbridgeFake::lastCall(const QString &service) const
{
    const QList<QJsonObject> calls = requests(QStringLiteral("call_service"));
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        if (it->value(QLatin1String("service")).toString() == service)
            return *it;
    }
    return {};
}

void RosbridgeFake::onText(QWebSocket *socket, const QString &text)
{
    m_frames.append(text);
    emit frameReceived(text);
    const QJsonObject request = QJsonDocument::fromJson(text.toUtf8()).object();
    const QString op = request.value(QLatin1String("op")).toString();
    const QString topic = request.value(QLatin1String("topic")).toString();
    if (op == QLatin1String("subscribe")) {
        ++m_subscribes[topic];
    } else if (op == QLatin1String("unsubscribe")) {
        ++m_unsubscribes[topic];
    } else if (op == QLatin1String("call_service")) {
        const auto script = m_scripts.constFind(request.value(QLatin1String("service")).toString());
        if (script == m_scripts.constEnd())
            return;
        const Reply reply = (*script)(request);
        QPointer<QWebSocket> target(socket);
        auto send = [target, frames = reply.frames] {
            if (!target)
                return;
            for (const QString &frame : frames)
                target->sendTextMessage(frame);
        };
        if (reply.delayMs > 0)
            QTimer::singleShot(reply.delayMs, this, send);
        else
            send();
    }
}
