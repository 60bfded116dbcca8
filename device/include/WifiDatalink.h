#pragma once

#include "AbstractDataLink.h"
#include "WifiDatagramCodec.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QSslError>
#include <QString>

#include <memory>

class OrvPacketRecombiner;
class QTcpSocket;
class QTimer;
class QUdpSocket;

// Ports, timings and certificate files of a Wi-Fi link. The defaults are the device's; tests and
// tools pass their own (loopback ports, short timings, a certificate folder of their own).
struct WifiDatalinkSettings
{
    quint16 streamPort = 40000; // TLS or TCP on the device
    quint16 deviceUdpPort = 40001; // the device's datagram port
    // Local datagram port, bound on every address and shared (SO_REUSEADDR): another Wi-Fi link
    // of this program, or a simulated device on another loopback address, may hold the same
    // number. The device learns the host's endpoint from the hello, so when the port is held
    // exclusively by someone else the link falls back to any free port. 0 asks for any free port
    // at once.
    quint16 localUdpPort = 40001;
    int selfTimeoutMs = 5000; // no stream data for this long invalidates an armed link
    int handshakeTimeoutMs = 10000; // the same, from the TCP connection until the first data
    int helloIntervalMs = 1000;
    int reconnectDelayMs = 0; // refused connection or failed handshake: retry after this delay
    int maxReconnects = 5; // the failure after this many retries invalidates the link
    // The host's certificate and private key (PEM), relative to the working directory. They are
    // used only as a pair; a missing or mismatched half leaves the link without a certificate.
    QString certificateFile = QStringLiteral("SSLCertificates/SecureSockets/cert.pem");
    QString privateKeyFile = QStringLiteral("SSLCertificates/SecureSockets/prvtkey.pem");
};

// The link to a controller over its network address. Reliable frames travel over TLS (or plain
// TCP) to the device's stream port; unreliable frames as UDP datagrams, AES-256-CBC encrypted
// with the key and IV the device hands out over the stream (channel 0). Until the device has
// answered on UDP, the link sends a hello datagram every second so that the device learns the
// host's datagram endpoint.
//
// The stream decides the link's state; the datagram path never does: a datagram error (an ICMP
// "port unreachable", a bind failure) is logged and the stream carries on. Invalid is final:
// once reported, the link stops retrying, sending hellos and timing out, and waits to be removed
// by its owner.
//
// Ownership: created by the device factory (or a Pelto for an extra link), adopted by the
// device's DatalinkManager, which deletes it once it reports Invalid. Sockets, timers and
// recombiners are QObject children. Threading: GUI thread only.
class WifiDatalink : public AbstractDataLink
{
    Q_OBJECT

public:
    WifiDatalink(QObject *parent, const QHostAddress &address, bool useSsl, bool encryptUdp,
                 const WifiDatalinkSettings &settings = {});
    ~WifiDatalink() override;

    const WifiDatalinkSettings &settings() const { return m_settings; }
    bool usesSsl() const { return m_useSsl; }
    bool encryptsUdp() const { return m_codec.encrypts(); }
    bool isSelfTimeoutArmed() const { return m_selfTimeoutArmed; }
    void setSelfTimeoutArmed(bool armed) override;
    // Writes out the stream socket's buffered (and, with TLS, not yet encrypted) bytes.
    // Datagrams are never buffered here.
    void flushPendingWrites(QDeadlineTimer deadline) override;
    // Whether the hello is still being sent (no datagram of the device accepted yet).
    bool isHelloRunning() const;
    // The locally bound datagram port, 0 while unbound.
    quint16 localUdpPort() const;

signals:
    void aboutToBeDeleted();
    void incomingData();
    void requestAesKeys();
    void connectionSuccesful();

public slots:
    void invalidate();
    void connected();
    void initialise();
    void sendPacket(uint16_t channel, bool isReliable, QByteArray packet) override;
    void activeLinkTypeChanged(AbstractDataLink::LinkType interface) override;
    int setHostAddress(const QHostAddress &hostAddress);
    QHostAddress getHostAddress() const;
    void setAesKeys(const QByteArray &key, const QByteArray &iv);
    void readDataTCP();
    void readDataUDP();
    void readDecryptDataUDP();
    void sslConnected();
    void disconnected();
    void hostFound();
    void stateChanged(QAbstractSocket::SocketState socketState);
    void errorOccurred(QAbstractSocket::SocketError socketError);
    void udpErrorOccurred(QAbstractSocket::SocketError socketError);
    void sslErrorOccurred(const QList<QSslError> &sslSocketErrors);
    void onSelfTimeout();
    void testSendData(qlonglong bytes);

private:
    void setUpTlsSocket();
    void setUpTcpSocket();
    void connectStreamSignals();
    void loadLocalCertificate();
    void setUpUdpSocket();
    bool bindUdpSocket();
    void startHello();
    void sendHello();
    void readDatagrams();
    void reconnect();
    void reconnectNow();
    void stopTimers();
    bool isFinished() const { return getState() == Invalid; }

    WifiDatalinkSettings m_settings;
    bool m_selfTimeoutArmed = true;
    int m_errorCount = 0;
    bool m_retrying = false; // a refused connection or failed handshake is being retried
    QTcpSocket *m_streamSocket = nullptr; // a QSslSocket with TLS
    QUdpSocket *m_udpSocket = nullptr;
    OrvPacketRecombiner *m_streamRecombiner = nullptr;
    OrvPacketRecombiner *m_udpRecombiner = nullptr;
    QHostAddress m_hostAddress;
    QTimer *m_helloTimer = nullptr;
    const bool m_useSsl;
    WifiDatagramCodec m_codec;
    QTimer *m_selfTimeoutTimer = nullptr;
    QTimer *m_reconnectTimer = nullptr;
};
