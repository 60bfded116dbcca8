#pragma once

#include "AbstractService.h"

#include <QByteArray>
#include <QPointer>
#include <QString>

class QTcpServer;
class QTcpSocket;

// The external-mode bridge: lets a tool on this computer reach the external-mode service of the
// device's running application (channel 5) over plain TCP. Bytes from the TCP client go to the
// device in payloads of at most 1018 bytes (one device frame each), in order; every channel-5
// payload from the device goes to the client. The bridge does not look into the bytes.
//
// Reachability: the server listens on the loopback addresses only (127.0.0.1, and ::1 where the
// host has it). The bridge has no authentication and serves a tool on this computer; listening
// on every address would hand the device's running application to anyone on the network.
//
// Clients: one client at a time. A client that connects while another is connected takes over:
// the earlier client is closed (it sees the connection end) and nothing of it is read or written
// any more. The newest connection wins because the tool reconnects when it restarts a session,
// and a stale session must never lock the tool out. When the client disconnects, the bridge keeps
// listening and drops device packets until the next client connects.
//
// Port: set by the owner (the Pelto sets DefaultPort); 0 lets the system choose a free one, which
// startServer returns. Every Pelto has its own bridge on the same port, so with two devices in
// external mode at once the second bridge cannot listen (-5).
//
// Ownership: the servers and the client socket are children of the bridge.
// Threading: GUI thread only.
class ExternalMode : public AbstractService
{
    Q_OBJECT

public:
    static constexpr int DefaultPort = 17725;
    // The largest payload of one device frame.
    static constexpr int MaxChunkSize = 1018;

    ExternalMode(QObject *parent, uint16_t channelId, bool isReliable, DatalinkManager *manager);
    ~ExternalMode() override;

    void setPort(int port) { m_port = port; }
    int port() const { return m_port; }
    // The port the server listens on (the chosen one when the port is 0); -1 before a start.
    int serverPort() const { return m_activePort; }
    bool isStarted() const { return m_started; }
    bool isClientConnected() const { return m_clientConnected; }
    void setVerbose(bool verbose) { m_verbose = verbose; }

    // -16 when already started, -22 when no port is set, -5 when listening fails, else the port.
    int startServer();
    // Closes the client and the server; nothing when not started.
    void stopServer();

signals:
    void extModServerStatusChanged(int port, bool started, bool client_connected);

public slots:
    void clientConnected();
    void clientDisconnected();
    void tcpDataReady();
    void dataReady(QByteArray packet) override;
    void start() override { }
    void pause() override { }
    void initialize() override { }
    void errorString(QString error);
    void sendPacket(QByteArray payload);
    void sendPacket();

private:
    void acceptConnection(QTcpServer *server);
    void closeServers();

    bool m_verbose = false;
    int m_port = -1;
    int m_activePort = -1;
    bool m_started = false;
    bool m_clientConnected = false;
    QTcpServer *m_server = nullptr; // 127.0.0.1
    QTcpServer *m_server6 = nullptr; // ::1
    QPointer<QTcpSocket> m_socket;
};
