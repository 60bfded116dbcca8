#include "ExternalMode.h"

#include <QHostAddress>
#include <QLoggingCategory>
#include <QTcpServer>
#include <QTcpSocket>

Q_LOGGING_CATEGORY(lcExternalMode, "Device.ExternalMode")

namespace {

constexpr int ErrorAlreadyStarted = -16; // EBUSY
constexpr int ErrorNoPort = -22; // EINVAL
constexpr int ErrorListen = -5; // EIO

// Ends a socket the bridge no longer serves: pending output is still flushed, then it goes.
void retireSocket(QTcpSocket *socket)
{
    socket->disconnect();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
}

} // namespace

ExternalMode::ExternalMode(QObject *parent, uint16_t channelId, bool isReliable,
                           DatalinkManager *manager)
    : AbstractService(parent, channelId, isReliable, manager)
    , m_server(new QTcpServer(this))
    , m_server6(new QTcpServer(this))
{
    for (QTcpServer *server : { m_server, m_server6 }) {
        connect(server, &QTcpServer::newConnection, this,
                [this, server] { acceptConnection(server); });
    }
}

ExternalMode::~ExternalMode()
{
    if (!m_started)
        return;
    if (m_socket)
        retireSocket(m_socket);
    closeServers();
    emit extModServerStatusChanged(m_activePort, false, false);
}

int ExternalMode::startServer()
{
    if (m_started)
        return ErrorAlreadyStarted;
    if (m_port < 0 || m_port > 0xFFFF)
        return ErrorNoPort;

    if (!m_server->listen(QHostAddress::LocalHost, quint16(m_port))) {
        qCWarning(lcExternalMode).nospace() << "Exernal mode server: cannot listen on port "
                                            << m_port << ": " << m_server->errorString();
        return ErrorListen;
    }
    const quint16 port = m_server->serverPort();
    // A host without IPv6 loopback is served on 127.0.0.1 alone; someone else on ::1 at our port
    // would take half of the tool's connections, so that is a failure.
    if (!m_server6->listen(QHostAddress::LocalHostIPv6, port)) {
        if (m_server6->serverError() == QAbstractSocket::AddressInUseError) {
            qCWarning(lcExternalMode).nospace()
                << "Exernal mode server: cannot listen on [::1]:" << port << ": "
                << m_server6->errorString();
            m_server->close();
            return ErrorListen;
        }
        qCDebug(lcExternalMode) << "Exernal mode server: no IPv6 loopback:"
                                << m_server6->errorString();
    }

    m_activePort = port;
    m_started = true;
    if (m_verbose)
        qCInfo(lcExternalMode).nospace() << "Exernal mode server: Started on port " << port;
    emit extModServerStatusChanged(m_activePort, true, false);
    return port;
}

void ExternalMode::stopServer()
{
    if (!m_started)
        return;
    if (m_socket)
        retireSocket(m_socket);
    m_socket = nullptr;
    closeServers();
    m_started = false;
    m_clientConnected = false;
    emit extModServerStatusChanged(m_activePort, false, false);
}

void ExternalMode::closeServers()
{
    m_server->close();
    m_server6->close();
}

void ExternalMode::acceptConnection(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        socket->setParent(this);
        if (m_socket) {
            // The newest connection takes over (see the class comment).
            if (m_verbose)
                qCInfo(lcExternalMode) << "Exernal mode server: Client replaced by a new one";
            retireSocket(m_socket);
        }
        m_socket = socket;
        if (m_verbose)
            qCInfo(lcExternalMode) << "Exernal mode server: Client connected";
        m_clientConnected = true;
        connect(socket, &QTcpSocket::disconnected, this, &ExternalMode::clientDisconnected);
        connect(socket, &QTcpSocket::readyRead, this, &ExternalMode::tcpDataReady);
        emit extModServerStatusChanged(m_activePort, m_started, true);
        // Bytes may have arrived before the socket was wired.
        if (socket->bytesAvailable() > 0)
            tcpDataReady();
    }
}

void ExternalMode::clientConnected()
{
    acceptConnection(m_server);
    acceptConnection(m_server6);
}

void ExternalMode::clientDisconnected()
{
    if (!m_socket)
        return;
    // What the client sent just before it closed still belongs to the device.
    if (m_socket->bytesAvailable() > 0)
        tcpDataReady();
    if (m_verbose)
        qCInfo(lcExternalMode) << "Exernal mode server: Client disconnected";
    retireSocket(m_socket);
    m_socket = nullptr;
    m_clientConnected = false;
    emit extModServerStatusChanged(m_activePort, m_started, false);
}

void ExternalMode::tcpDataReady()
{
    if (!m_socket) {
        qCWarning(lcExternalMode)
            << "External mode server: _socket is nullptr inside tcpDataReady, stopping server";
        stopServer();
        return;
    }
    if (m_verbose)
        qCInfo(lcExternalMode).nospace() << "Exernal mode server: TCP socket -> Received "
                                         << m_socket->bytesAvailable() << " bytes";
    char buffer[MaxChunkSize];
    for (;;) {
        const qint64 n = m_socket->read(buffer, MaxChunkSize);
        if (n <= 0)
            break;
        sendPacket(QByteArray(buffer, qsizetype(n)));
    }
}

void ExternalMode::dataReady(QByteArray packet)
{
    if (m_verbose)
        qCInfo(lcExternalMode).nospace()
            << "Exernal mode server: Datalink -> Received " << packet.size() << " bytes";
    if (!m_socket || !m_clientConnected)
        return; // nobody to hand it to; the device's external mode resends on its own terms
    if (m_socket->write(packet) < packet.size()) {
        // The client is gone or broken; the server stays for the next one.
        qCWarning(lcExternalMode) << "Exernal mode server: error writing data to socket in "
                                     "dataReady function, closing the client";
        QTcpSocket *socket = m_socket;
        m_socket = nullptr;
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
        m_clientConnected = false;
        emit extModServerStatusChanged(m_activePort, m_started, false);
    }
}

void ExternalMode::errorString(QString error)
{
    Q_UNUSED(error);
}

void ExternalMode::sendPacket(QByteArray payload)
{
    emit write(channelId, isReliable, payload);
}

void ExternalMode::sendPacket()
{
    sendPacket(QByteArray());
}
