#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A loopback TCP relay in front of a server, for faults the server itself cannot show. With no
// target it accepts connections and never answers (a handshake that never completes). With
// `silenceAfterFirstReply` it passes the server's first chunk (the handshake response) and then
// drops everything the server sends: the client's pings go out and no pong ever comes back.
class TcpRelay : public QObject
{
public:
    explicit TcpRelay(quint16 targetPort = 0, bool silenceAfterFirstReply = false)
        : m_targetPort(targetPort)
        , m_silence(silenceAfterFirstReply)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *client = m_server.nextPendingConnection())
                relay(client);
        });
    }

    quint16 port() const { return m_server.serverPort(); }
    int connections() const { return m_connections; }
    qint64 droppedBytes() const { return m_dropped; }
    qint64 bytesFromClient() const { return m_fromClient; }

private:
    void relay(QTcpSocket *client)
    {
        ++m_connections;
        client->setParent(this);
        if (!m_targetPort) {
            connect(client, &QTcpSocket::readyRead, client, [client] { client->readAll(); });
            return;
        }
        auto *server = new QTcpSocket(this);
        server->connectToHost(QHostAddress::LocalHost, m_targetPort);
        auto replies = std::make_shared<int>(0);
        connect(client, &QTcpSocket::readyRead, this, [this, client, server] {
            const QByteArray data = client->readAll();
            m_fromClient += data.size();
            server->write(data);
        });
        connect(server, &QTcpSocket::readyRead, this, [this, client, server, replies] {
            const QByteArray data = server->readAll();
            if (m_silence && (*replies)++ > 0)
                m_dropped += data.size();
            else
                client->write(data);
        });
        connect(client, &QTcpSocket::disconnected, server, &QTcpSocket::disconnectFromHost);
        connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
    }

    quint16 m_targetPort;
    bool m_silence;
    QTcpServer m_server;
    int m_connections = 0;
    qint64 m_dropped = 0;
    qint64 m_fromClient = 0;
};
