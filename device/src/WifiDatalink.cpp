#include "WifiDatalink.h"

#include "DatalinkCommChannel.h"
#include "DeviceFrame.h"
#include "OrvPacketRecombiner.h"
#include "WifiLocalIdentity.h"

#include <QLoggingCategory>
#include <QNetworkDatagram>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

Q_LOGGING_CATEGORY(lcWifi, "Device.WifiDatalink")

namespace {

constexpr DatalinkChannelId HelloChannel = 0;
// Room for the largest UDP payload, so that no datagram is ever cut short.
constexpr qint64 MaxDatagramSize = 65536;

// What the link does about an error of its stream socket.
enum class ErrorAction { Nothing, Reconnect, Invalidate };

struct ErrorRule
{
    const char *text; // nullptr: nothing is logged
    ErrorAction action;
};

ErrorRule streamErrorRule(QAbstractSocket::SocketError error)
{
    using S = QAbstractSocket;
    switch (error) {
    case S::UnknownSocketError:
        return { "No implementation for socket error", ErrorAction::Invalidate };
    case S::ConnectionRefusedError:
        return { "ConnectionRefusedError", ErrorAction::Reconnect };
    case S::RemoteHostClosedError:
        return { "RemoteHostClosedError", ErrorAction::Invalidate };
    case S::HostNotFoundError:
        return { "HostNotFoundError", ErrorAction::Invalidate };
    case S::SocketAccessError:
        return { "SocketAccessError", ErrorAction::Invalidate };
    case S::SocketResourceError:
        return { "SocketResourceError", ErrorAction::Invalidate };
    case S::SocketTimeoutError:
        return { "SocketTimeoutError", ErrorAction::Invalidate };
    case S::DatagramTooLargeError:
        return { nullptr, ErrorAction::Nothing };
    case S::NetworkError:
        return { "NetworkError", ErrorAction::Invalidate };
    case S::AddressInUseError:
        return { "AddressInUseError", ErrorAction::Invalidate };
    case S::SocketAddressNotAvailableError:
        return { "SocketAddressNotAvailableError", ErrorAction::Invalidate };
    case S::UnsupportedSocketOperationError:
        return { "UnsupportedSocketOperationError", ErrorAction::Invalidate };
    case S::UnfinishedSocketOperationError:
        return { "UnfinishedSocketOperationError", ErrorAction::Nothing };
    case S::ProxyAuthenticationRequiredError:
    case S::ProxyConnectionRefusedError:
    case S::ProxyConnectionClosedError:
    case S::ProxyConnectionTimeoutError:
    case S::ProxyNotFoundError:
    case S::ProxyProtocolError:
        return { "Proxy Error", ErrorAction::Nothing };
    case S::SslHandshakeFailedError:
        return { "SslHandshakeFailedError", ErrorAction::Reconnect };
    case S::OperationError:
        return { "OperationError", ErrorAction::Nothing };
    case S::SslInternalError:
        return { "SslInternalError", ErrorAction::Invalidate };
    case S::SslInvalidUserDataError:
        return { "SslInvalidUserDataError", ErrorAction::Invalidate };
    case S::TemporaryError:
        return { "TemporaryError", ErrorAction::Nothing };
    }
    return { "No implementation for socket error", ErrorAction::Nothing };
}

} // namespace

WifiDatalink::WifiDatalink(QObject *parent, const QHostAddress &address, bool useSsl,
                           bool encryptUdp, const WifiDatalinkSettings &settings)
    : AbstractDataLink(WiFi, parent)
    , m_settings(settings)
    , m_hostAddress(address)
    , m_useSsl(useSsl)
    , m_codec(encryptUdp)
{
    m_selfTimeoutTimer = new QTimer(this);
    m_selfTimeoutTimer->setInterval(m_settings.selfTimeoutMs);
    connect(m_selfTimeoutTimer, &QTimer::timeout, this, &WifiDatalink::onSelfTimeout);

    // Retries run from the event loop: a socket that has just reported an error may not be
    // ready to connect again from inside its own signal.
    m_reconnectTimer = new QTimer(this);
    m_reconnectTimer->setSingleShot(true);
    connect(m_reconnectTimer, &QTimer::timeout, this, &WifiDatalink::reconnectNow);
}

WifiDatalink::~WifiDatalink()
{
    qCDebug(lcWifi) << "Destruct  Wi-Fi datalink";
    // The sockets must not call back into a link that is being destroyed (its owner may be
    // half-destroyed too), so they are cut off before they are told to close.
    for (QAbstractSocket *socket : { static_cast<QAbstractSocket *>(m_streamSocket),
                                     static_cast<QAbstractSocket *>(m_udpSocket) }) {
        if (socket) {
            disconnect(socket, nullptr, this, nullptr);
            socket->disconnectFromHost();
        }
    }
    qCDebug(lcWifi) << "Wi-Fi datalink destructed";
}

void WifiDatalink::setSelfTimeoutArmed(bool armed)
{
    m_selfTimeoutArmed = armed;
}

void WifiDatalink::flushPendingWrites(QDeadlineTimer deadline)
{
    if (!m_streamSocket || m_streamSocket->state() != QAbstractSocket::ConnectedState)
        return;
    // A TLS socket keeps plain bytes until it has encrypted them, and encrypted ones until the
    // network takes them; both count.
    auto *tls = qobject_cast<QSslSocket *>(m_streamSocket);
    auto pending = [this, tls] {
        return m_streamSocket->bytesToWrite() + (tls ? tls->encryptedBytesToWrite() : 0);
    };
    m_streamSocket->flush();
    while (pending() > 0 && !deadline.hasExpired()) {
        if (!m_streamSocket->waitForBytesWritten(int(deadline.remainingTime())))
            break;
    }
    if (const qint64 left = pending(); left > 0)
        qCWarning(lcWifi) << left << "bytes for" << m_hostAddress.toString()
                          << "were not written before the link closed";
}

bool WifiDatalink::isHelloRunning() const
{
    return m_helloTimer && m_helloTimer->isActive();
}

quint16 WifiDatalink::localUdpPort() const
{
    return m_udpSocket ? m_udpSocket->localPort() : 0;
}

void WifiDatalink::invalidate()
{
    if (isFinished())
        return;
    stopTimers();
    invalidateLink();
}

void WifiDatalink::connected()
{
    if (isFinished())
        return;
    qCInfo(lcWifi) << "Connected";
    m_errorCount = 0;
    m_retrying = false;
    changeState(Connected);
}

void WifiDatalink::initialise()
{
    if (m_streamRecombiner) {
        qCWarning(lcWifi) << "Wi-Fi link to" << m_hostAddress.toString() << "is already set up";
        return;
    }
    m_streamRecombiner = new OrvPacketRecombiner(this);
    connect(m_streamRecombiner, &OrvPacketRecombiner::packetReady, this,
            &AbstractDataLink::packetReceived, Qt::QueuedConnection);
    if (m_useSsl)
        setUpTlsSocket();
    else
        setUpTcpSocket();

    m_udpRecombiner = new OrvPacketRecombiner(this);
    connect(m_udpRecombiner, &OrvPacketRecombiner::packetReady, this,
            &AbstractDataLink::packetReceived, Qt::QueuedConnection);
    setUpUdpSocket();
}

void WifiDatalink::setUpTlsSocket()
{
    if (!QSslSocket::supportsSsl()) {
        qCWarning(lcWifi) << "OpenSSL is not available on this system";
        return;
    }
    auto *socket = new QSslSocket(this);
    m_streamSocket = socket;
    connect(socket, &QSslSocket::readyRead, this, &WifiDatalink::readDataTCP);
    connect(socket, &QSslSocket::connected, this, &WifiDatalink::sslConnected);
    connect(socket, &QSslSocket::encrypted, this, &WifiDatalink::connected);
    connect(socket, &QSslSocket::encrypted, this, [this] {
        if (getState() == Connected)
            emit connectionSuccesful();
    });
    connectStreamSignals();
    connect(socket, &QSslSocket::sslErrors, this, &WifiDatalink::sslErrorOccurred);

    loadLocalCertificate();
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    socket->connectToHost(m_hostAddress, m_settings.streamPort, QIODevice::ReadWrite);
}

void WifiDatalink::setUpTcpSocket()
{
    m_streamSocket = new QTcpSocket(this);
    m_streamSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_streamSocket, &QTcpSocket::readyRead, this, &WifiDatalink::readDataTCP);
    connect(m_streamSocket, &QTcpSocket::connected, this, &WifiDatalink::connected);
    connectStreamSignals();
    m_streamSocket->connectToHost(m_hostAddress, m_settings.streamPort, QIODevice::ReadWrite);
}

void WifiDatalink::connectStreamSignals()
{
    connect(m_streamSocket, &QAbstractSocket::disconnected, this, &WifiDatalink::disconnected);
    connect(m_streamSocket, &QAbstractSocket::hostFound, this, &WifiDatalink::hostFound);
    connect(m_streamSocket, &QAbstractSocket::stateChanged, this, &WifiDatalink::stateChanged);
    connect(m_streamSocket, &QAbstractSocket::errorOccurred, this, &WifiDatalink::errorOccurred);
}

void WifiDatalink::loadLocalCertificate()
{
    const WifiLocalIdentity identity
        = WifiLocalIdentity::load(m_settings.certificateFile, m_settings.privateKeyFile);
    if (!identity.problem.isEmpty())
        qCWarning(lcWifi).noquote() << identity.problem;
    if (!identity.isValid())
        return;
    auto *socket = static_cast<QSslSocket *>(m_streamSocket);
    socket->setLocalCertificate(identity.certificate);
    socket->setPrivateKey(identity.privateKey);
}

void WifiDatalink::setUpUdpSocket()
{
    m_udpSocket = new QUdpSocket(this);
    connect(m_udpSocket, &QUdpSocket::errorOccurred, this, &WifiDatalink::udpErrorOccurred);
    connect(m_udpSocket, &QUdpSocket::stateChanged, this, &WifiDatalink::stateChanged);
    if (!bindUdpSocket())
        return;
    // Connected, the socket exchanges datagrams with the device's port only.
    m_udpSocket->connectToHost(m_hostAddress, m_settings.deviceUdpPort, QIODevice::ReadWrite);
    if (m_codec.encrypts()) {
        connect(m_udpSocket, &QUdpSocket::readyRead, this, &WifiDatalink::readDecryptDataUDP);
    } else {
        connect(m_udpSocket, &QUdpSocket::readyRead, this, &WifiDatalink::readDataUDP);
        startHello();
    }
    // With encryption the hello waits for the keys (setAesKeys).
}

bool WifiDatalink::bindUdpSocket()
{
    // Shared (SO_REUSEADDR on Linux): the port number may also be held on one address by
    // something else, such as a simulated device on another loopback address whose own port is
    // the same number. The socket is connected to the device's endpoint below, so the kernel
    // hands it the device's datagrams whoever else shares the number; another link of this
    // program shares it the same way, each connected to its own device.
    const quint16 port = m_settings.localUdpPort;
    const auto mode = QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;
    if (m_udpSocket->bind(QHostAddress::Any, port, mode))
        return true;
    qCWarning(lcWifi) << "Cannot bind the datagram port" << port << ":"
                      << m_udpSocket->errorString();
    if (port != 0 && m_udpSocket->bind(QHostAddress::Any, 0, mode)) {
        qCInfo(lcWifi) << "Datagrams use port" << m_udpSocket->localPort() << "instead";
        return true;
    }
    qCWarning(lcWifi) << "No datagram path to" << m_hostAddress.toString()
                      << "; only reliable frames can be carried";
    return false;
}

void WifiDatalink::sendPacket(uint16_t channel, bool isReliable, QByteArray packet)
{
    if (isFinished())
        return;
    if (isReliable) {
        if (!m_streamSocket) {
            qCDebug(lcWifi) << "No stream socket; frame on channel" << channel << "dropped";
            return;
        }
        const qint64 written = m_streamSocket->write(packet);
        if (written != packet.size()) {
            qCWarning(lcWifi) << "Wi-Fi write error:" << written;
            invalidate();
        }
        return;
    }

    if (!m_udpSocket || m_udpSocket->state() != QAbstractSocket::ConnectedState) {
        qCDebug(lcWifi) << "No datagram path; frame on channel" << channel << "dropped";
        return;
    }
    if (!m_codec.canSend()) {
        // An empty datagram would only confuse the device; unreliable frames may be lost.
        qCDebug(lcWifi) << "No datagram keys yet; frame on channel" << channel << "dropped";
        return;
    }
    const QByteArray datagram = m_codec.pack(packet);
    if (datagram.isEmpty())
        return;
    if (m_udpSocket->write(datagram) != datagram.size())
        qCDebug(lcWifi) << "Datagram on channel" << channel
                        << "not sent:" << m_udpSocket->errorString();
}

void WifiDatalink::activeLinkTypeChanged(AbstractDataLink::LinkType interface)
{
    if (interface == WiFi && !isFinished())
        emit requestAesKeys();
}

int WifiDatalink::setHostAddress(const QHostAddress &hostAddress)
{
    if (!m_hostAddress.isNull())
        return -1;
    m_hostAddress = hostAddress;
    return 0;
}

QHostAddress WifiDatalink::getHostAddress() const
{
    return m_hostAddress;
}

void WifiDatalink::setAesKeys(const QByteArray &key, const QByteArray &iv)
{
    if (!m_codec.setKeys(key, iv)) {
        // The sizes only: the values are secrets of the running connection.
        qCWarning(lcWifi) << "Datagram keys refused: key of" << key.size() << "bytes, IV of"
                          << iv.size() << "bytes";
        if (m_codec.encrypts() && m_helloTimer)
            m_helloTimer->stop();
        return;
    }
    startHello();
}

void WifiDatalink::startHello()
{
    if (isFinished() || !m_udpSocket)
        return;
    if (!m_helloTimer) {
        m_helloTimer = new QTimer(this);
        connect(m_helloTimer, &QTimer::timeout, this, &WifiDatalink::sendHello);
    }
    m_helloTimer->start(m_settings.helloIntervalMs);
}

void WifiDatalink::sendHello()
{
    QByteArray hello;
    buildHelloMessage(hello);
    sendPacket(HelloChannel, false, deviceframe::buildFrame(HelloChannel, hello));
}

void WifiDatalink::readDataTCP()
{
    if (!m_streamSocket)
        return;
    if (!isFinished())
        m_selfTimeoutTimer->start(m_settings.selfTimeoutMs);
    m_streamRecombiner->rawDataReady(m_streamSocket->readAll());
}

void WifiDatalink::readDataUDP()
{
    readDatagrams();
}

void WifiDatalink::readDecryptDataUDP()
{
    readDatagrams();
}

void WifiDatalink::readDatagrams()
{
    // A read notification also stands for an error the kernel holds for the socket, such as the
    // ICMP "port unreachable" that answers a hello while the device does not listen yet. Only a
    // read reports that error and turns the socket's read notifications back on; asking
    // hasPendingDatagrams() first would swallow it and leave the socket deaf to every later
    // datagram of the device. So the first read does not ask.
    bool notified = true;
    while (m_udpSocket && (notified || m_udpSocket->hasPendingDatagrams())) {
        notified = false;
        const QNetworkDatagram datagram = m_udpSocket->receiveDatagram(MaxDatagramSize);
        if (!datagram.isValid())
            break; // the socket reported its error through udpErrorOccurred
        const QHostAddress sender = datagram.senderAddress();
        if (datagram.senderPort() != m_settings.deviceUdpPort
            || !sender.isEqual(m_hostAddress, QHostAddress::ConvertV4MappedToIPv4)) {
            qCDebug(lcWifi) << "Datagram from" << sender.toString() << datagram.senderPort()
                            << "ignored";
            continue;
        }
        // Each datagram stands alone; one of a wrong size or that does not decrypt to frames
        // is dropped and the next one is read.
        const int frames = m_codec.unpack(datagram.data(), *m_udpRecombiner);
        if (frames == WifiDatagramCodec::Rejected) {
            qCDebug(lcWifi) << "Datagram of" << datagram.data().size() << "bytes dropped";
            continue;
        }
        // Only a datagram that carried frames proves that the device knows our endpoint.
        if (frames > 0 && isHelloRunning()) {
            qCDebug(lcWifi) << "Device answered on UDP; hello stopped";
            m_helloTimer->stop();
        }
    }
}

void WifiDatalink::sslConnected()
{
    if (isFinished())
        return;
    m_retrying = false;
    m_selfTimeoutTimer->start(m_settings.handshakeTimeoutMs);
    qCInfo(lcWifi) << "Connected with TCP, wait for encryption";
    static_cast<QSslSocket *>(m_streamSocket)->startClientEncryption();
}

void WifiDatalink::disconnected()
{
    qCInfo(lcWifi) << "Disconnected";
    // A retry in progress is not the end of the link, and Invalid is final.
    if (isFinished() || m_retrying)
        return;
    changeState(NotAvailable);
}

void WifiDatalink::hostFound()
{
    qCDebug(lcWifi) << "Host Found";
}

void WifiDatalink::stateChanged(QAbstractSocket::SocketState socketState)
{
    qCDebug(lcWifi) << (sender() == m_udpSocket ? "Datagram socket:" : "Stream socket:")
                    << socketState;
}

void WifiDatalink::errorOccurred(QAbstractSocket::SocketError socketError)
{
    const ErrorRule rule = streamErrorRule(socketError);
    if (rule.text)
        qCWarning(lcWifi) << rule.text;
    if (isFinished())
        return;
    switch (rule.action) {
    case ErrorAction::Nothing:
        break;
    case ErrorAction::Reconnect:
        reconnect();
        break;
    case ErrorAction::Invalidate:
        invalidate();
        break;
    }
}

void WifiDatalink::udpErrorOccurred(QAbstractSocket::SocketError socketError)
{
    // The device may not listen yet (ICMP "port unreachable" comes back as a refused
    // connection) or the network may hiccup: unreliable frames are lost, the link lives on.
    qCDebug(lcWifi) << "Datagram socket error" << socketError
                    << (m_udpSocket ? m_udpSocket->errorString() : QString());
}

void WifiDatalink::sslErrorOccurred(const QList<QSslError> &sslSocketErrors)
{
    if (auto *socket = qobject_cast<QSslSocket *>(m_streamSocket))
        socket->ignoreSslErrors();
    for (const QSslError &error : sslSocketErrors) {
        qCDebug(lcWifi) << error.errorString();
        const int code = int(error.error());
        if (code < -1 || code > 36)
            qCDebug(lcWifi) << "Unknown SSL Socket Error";
    }
}

void WifiDatalink::onSelfTimeout()
{
    if (!m_selfTimeoutArmed || isFinished())
        return;
    qCWarning(lcWifi) << "[WifiDatalink] self timeOut for wifi, connection is set to Invalid";
    invalidate();
}

void WifiDatalink::testSendData(qlonglong bytes)
{
    Q_UNUSED(bytes);
}

void WifiDatalink::reconnect()
{
    ++m_errorCount;
    if (m_errorCount > m_settings.maxReconnects) {
        qCWarning(lcWifi) << "Giving up on" << m_hostAddress.toString() << "after"
                          << m_settings.maxReconnects << "retries";
        invalidate();
        return;
    }
    m_retrying = true;
    m_reconnectTimer->start(m_settings.reconnectDelayMs);
}

void WifiDatalink::reconnectNow()
{
    if (isFinished() || !m_streamSocket)
        return;
    m_streamSocket->abort();
    m_streamSocket->connectToHost(m_hostAddress, m_settings.streamPort, QIODevice::ReadWrite);
}

void WifiDatalink::stopTimers()
{
    m_selfTimeoutTimer->stop();
    m_reconnectTimer->stop();
    if (m_helloTimer)
        m_helloTimer->stop();
}
