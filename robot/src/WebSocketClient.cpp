#include "WebSocketClient.h"

#include <QLoggingCategory>
#include <QTimer>
#include <QWebSocket>

#include <limits>

Q_LOGGING_CATEGORY(lcWebSocketClient, "RobotCommunication.WebSocketClient")

namespace {

constexpr float kNoLatency = std::numeric_limits<float>::infinity();

RobotConnectionStatus::Status statusOf(QAbstractSocket::SocketState state)
{
    switch (state) {
    case QAbstractSocket::UnconnectedState:
        return RobotConnectionStatus::Closed;
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        return RobotConnectionStatus::Connecting;
    case QAbstractSocket::ConnectedState:
        return RobotConnectionStatus::Connected;
    case QAbstractSocket::ClosingState:
        return RobotConnectionStatus::Closing;
    default:
        return RobotConnectionStatus::Unknown;
    }
}

void cancelAttempt(QFutureInterface<bool> &promise)
{
    if (promise.isStarted() && !promise.isFinished()) {
        promise.cancel();
        promise.reportFinished();
    }
}

} // namespace

WebSocketClient::WebSocketClient(QObject *parent)
    : WebSocketClient(WebSocketClientSettings(), parent)
{ }

WebSocketClient::WebSocketClient(const WebSocketClientSettings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_socket(new QWebSocket(QString(), QWebSocketProtocol::Version13, this))
    , m_keepAliveTimer(new QTimer(this))
    , m_connectionLatency(kNoLatency)
{
    m_socket->setMaxAllowedIncomingMessageSize(m_settings.maxIncomingMessageSize);
    m_socket->setMaxAllowedIncomingFrameSize(m_settings.maxIncomingMessageSize);
    m_keepAliveTimer->setSingleShot(false);
    m_status = statusOf(m_socket->state());

    QObject::connect(m_socket, &QWebSocket::textMessageReceived, this,
                     &WebSocketClient::messageReceived);
    QObject::connect(m_socket, &QWebSocket::binaryMessageReceived, this,
                     &WebSocketClient::dataReceived);
    QObject::connect(m_socket, &QWebSocket::stateChanged, this,
                     &WebSocketClient::websocketStatusChanged);
    QObject::connect(m_socket, &QWebSocket::pong, this, &WebSocketClient::onPong);
    // An opening that fails before any state change (an invalid host name) reports only an error.
    QObject::connect(m_socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this,
                     &WebSocketClient::onSocketError);
    QObject::connect(m_keepAliveTimer, &QTimer::timeout, this, &WebSocketClient::keepAliveTimer);
}

WebSocketClient::~WebSocketClient()
{
    cancelAttempt(m_connectPromise);
    // The socket still emits while it is destroyed; nothing of ours may run by then.
    m_socket->disconnect(this);
}

bool WebSocketClient::attemptRunning() const
{
    return m_connectPromise.isStarted() && !m_connectPromise.isFinished();
}

QFuture<bool> WebSocketClient::connect(const QString &host, quint16 port)
{
    QUrl url;
    url.setPort(port);
    url.setScheme(QStringLiteral("ws"));
    url.setHost(host, QUrl::DecodedMode);

    if (m_status == RobotConnectionStatus::Connected) {
        disconnect();
    } else if (attemptRunning()) {
        if (m_url == url)
            return m_connectPromise.future();
        // Cancel before closing: the socket's return to unconnected must not settle an attempt
        // its caller has already abandoned as failed.
        cancelAttempt(m_connectPromise);
        disconnect();
    }

    cancelAttempt(m_connectPromise);
    m_connectPromise = QFutureInterface<bool>();
    m_connectPromise.setProgressRange(0, 100);
    m_connectPromise.reportStarted();
    QFuture<bool> future = m_connectPromise.future();
    m_url = url;
    m_socket->open(url);
    return future;
}

void WebSocketClient::disconnect()
{
    m_keepAliveTimer->stop();
    m_socket->close(QWebSocketProtocol::CloseCodeNormal, QString());
    resetLatency();
}

void WebSocketClient::sendTextMessage(const QString &message)
{
    // The socket counts the UTF-8 bytes it wrote, not characters: any text beyond ASCII would
    // otherwise look cut short.
    if (m_socket->sendTextMessage(message) != message.toUtf8().size())
        qCWarning(lcWebSocketClient) << "Not all data was transmitted";
}

void WebSocketClient::sendBinaryMessage(const QByteArray &data)
{
    if (m_socket->sendBinaryMessage(data) != data.size())
        qCWarning(lcWebSocketClient) << "Not all data was transmitted";
}

void WebSocketClient::settleAttempt(bool connected, const QString &text)
{
    m_connectPromise.setProgressValueAndText(100, text);
    m_connectPromise.reportResult(connected);
    m_connectPromise.reportFinished();
    // Let the settled attempt go: Qt 6.4 keeps a future's continuation after it ran, and a
    // continuation whose result owns this client (a robot connection) would keep it alive.
    m_connectPromise = QFutureInterface<bool>();
}

void WebSocketClient::resetLatency()
{
    if (m_connectionLatency != kNoLatency) {
        m_connectionLatency = kNoLatency;
        emit connectionLatencyChanged();
    }
}

void WebSocketClient::websocketStatusChanged(QAbstractSocket::SocketState state)
{
    const RobotConnectionStatus::Status previous = m_status;
    const RobotConnectionStatus::Status status = statusOf(state);
    if (status != m_status) {
        m_status = status;
        emit statusChanged();
    }

    const QString url = m_url.toString();
    if (state == QAbstractSocket::UnconnectedState) {
        // Whatever the road (refused, closed while connecting, closing during the attempt), an
        // attempt still running when the socket is back to unconnected has failed.
        if (attemptRunning()) {
            qCInfo(lcWebSocketClient) << "Failed to connect to" << url;
            m_url.clear();
            settleAttempt(false, tr("Disconnected"));
        } else if (previous != RobotConnectionStatus::Connecting) {
            qCDebug(lcWebSocketClient) << "Disconnected from" << url;
        }
        m_keepAliveTimer->stop();
        resetLatency();
        return;
    }

    if (previous != RobotConnectionStatus::Connecting || !attemptRunning())
        return;

    switch (state) {
    case QAbstractSocket::HostLookupState:
        qCDebug(lcWebSocketClient) << "Looking up host" << url << "...";
        m_connectPromise.setProgressValueAndText(0, tr("Looking up host"));
        break;
    case QAbstractSocket::ConnectingState:
        qCDebug(lcWebSocketClient) << "Connecting to" << url << "...";
        m_connectPromise.setProgressValueAndText(50, tr("Connecting"));
        break;
    case QAbstractSocket::ConnectedState:
        qCInfo(lcWebSocketClient) << "Connected to" << url << "!";
        settleAttempt(true, tr("Connected"));
        // The silence of a peer that never answers a ping counts from the opening of this
        // connection, so such a peer is dropped after the pong time-out like any other.
        m_lastPong = QDateTime::currentDateTimeUtc();
        m_keepAliveTimer->start(m_settings.pingIntervalMs);
        break;
    case QAbstractSocket::ClosingState:
        qCDebug(lcWebSocketClient) << "Closing connection to" << url << "...";
        m_connectPromise.setProgressValueAndText(100, tr("Closing"));
        break;
    default:
        qCWarning(lcWebSocketClient) << "Unknown state";
        settleAttempt(false, tr("Disconnected"));
        break;
    }
}

void WebSocketClient::onSocketError(QAbstractSocket::SocketError error)
{
    if (!attemptRunning() || m_status == RobotConnectionStatus::Connected)
        return;
    qCInfo(lcWebSocketClient) << "Failed to connect to" << m_url.toString() << ":" << error
                              << m_socket->errorString();
    m_url.clear();
    settleAttempt(false, tr("Disconnected"));
}

void WebSocketClient::keepAliveTimer()
{
    if (m_status != RobotConnectionStatus::Connected) {
        m_keepAliveTimer->stop();
        return;
    }
    const qint64 silentMs
        = m_lastPong.isNull() ? 0 : m_lastPong.msecsTo(QDateTime::currentDateTimeUtc());
    if (silentMs > m_settings.pongTimeoutMs) {
        qCWarning(lcWebSocketClient) << "Ping timeout";
        disconnect();
        return;
    }
    m_socket->ping(QByteArray());
}

void WebSocketClient::onPong(qulonglong elapsedTime, QByteArray payload)
{
    Q_UNUSED(payload);
    m_lastPong = QDateTime::currentDateTimeUtc();
    const float latency = float(elapsedTime) / 1000.0f;
    if (latency != m_connectionLatency) {
        m_connectionLatency = latency;
        emit connectionLatencyChanged();
    }
}
