#pragma once

// Independent peers for the Wi-Fi link tests: `openssl s_server` as the device's TLS stream and a
// Python datagram peer (python3-cryptography) as the device's encrypted UDP side.

#include "TestSupport.h"

#include <QByteArray>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

namespace wifitest {

// A port nobody listens on right now (the caller binds it soon after).
inline quint16 freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// Throw-away self-signed certificate and key (PEM) made by openssl itself.
inline bool makeCertificate(const QString &certificate, const QString &key, const QString &cn)
{
    const auto result = nimbrel::test::runProcess(
        QStringLiteral("openssl"),
        { QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
          QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
          QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=") + cn,
          QStringLiteral("-keyout"), key, QStringLiteral("-out"), certificate });
    return result.finished && result.exitCode == 0;
}

// `openssl s_server`: prints what the client sends on stdout and sends what is written to it.
class OpensslServer
{
public:
    ~OpensslServer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool start(const QString &certificate, const QString &key, const QStringList &extra = {})
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            m_port = freeTcpPort();
            m_process.setProcessChannelMode(QProcess::MergedChannels);
            m_process.start(QStringLiteral("openssl"),
                            QStringList{ QStringLiteral("s_server"), QStringLiteral("-accept"),
                                         QStringLiteral("127.0.0.1:%1").arg(m_port),
                                         QStringLiteral("-cert"), certificate,
                                         QStringLiteral("-key"), key }
                                + extra);
            if (!m_process.waitForStarted(nimbrel::test::scaled(10000)))
                return false;
            if (nimbrel::test::waitFor([this] { return output().contains("ACCEPT"); }, 10000))
                return true;
            m_process.kill();
            m_process.waitForFinished(5000);
        }
        return false;
    }

    quint16 port() const { return m_port; }
    QByteArray output()
    {
        m_output += m_process.readAll();
        return m_output;
    }
    void send(const QByteArray &data) { m_process.write(data); }

private:
    QProcess m_process;
    QByteArray m_output;
    quint16 m_port = 0;
};

// tests/device/wifi_udp_peer.py: reports every datagram it receives (decrypted and PKCS#7
// checked) and sends device datagrams on command.
class UdpPeer
{
public:
    ~UdpPeer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.write("{\"quit\": true}\n");
            if (!m_process.waitForFinished(3000))
                m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    bool start(const QByteArray &key, const QByteArray &iv)
    {
        const QString script = QDir(nimbrel::test::sourceDir())
                                   .filePath(QStringLiteral("tests/device/wifi_udp_peer.py"));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(
            nimbrel::test::python(),
            { script, QString::fromLatin1(key.toHex()), QString::fromLatin1(iv.toHex()) });
        if (!m_process.waitForStarted(nimbrel::test::scaled(10000)))
            return false;
        if (!nimbrel::test::waitFor([this] { return !events(QStringLiteral("ready")).isEmpty(); },
                                    10000))
            return false;
        const QJsonObject ready = events(QStringLiteral("ready")).first();
        m_port = quint16(ready.value(QStringLiteral("port")).toInt());
        return true;
    }

    quint16 port() const { return m_port; }

    QList<QJsonObject> events(const QString &kind)
    {
        poll();
        QList<QJsonObject> selected;
        for (const QJsonObject &event : std::as_const(m_events)) {
            if (event.value(QStringLiteral("event")).toString() == kind)
                selected.append(event);
        }
        return selected;
    }
    QList<QJsonObject> datagrams() { return events(QStringLiteral("datagram")); }

    // Sends one command and waits for its acknowledgement.
    bool command(const QJsonObject &command)
    {
        const qsizetype before = events(QStringLiteral("sent")).size();
        m_process.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
        return nimbrel::test::waitFor(
            [&] { return events(QStringLiteral("sent")).size() > before; }, 5000);
    }

private:
    void poll()
    {
        m_pending += m_process.readAllStandardOutput();
        qsizetype newline;
        while ((newline = m_pending.indexOf('\n')) >= 0) {
            const QByteArray line = m_pending.left(newline);
            m_pending.remove(0, newline + 1);
            const QJsonDocument document = QJsonDocument::fromJson(line);
            if (document.isObject())
                m_events.append(document.object());
        }
    }

    QProcess m_process;
    QByteArray m_pending;
    QList<QJsonObject> m_events;
    quint16 m_port = 0;
};

// A plain TCP peer for the device's stream port: keeps, closes, or answers a TLS hello with
// something that is not TLS.
class StreamPeer
{
public:
    enum Behaviour { Keep, Close, NotTls };

    explicit StreamPeer(Behaviour behaviour)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this, behaviour] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++m_accepted;
                if (behaviour == Close)
                    socket->close();
                else if (behaviour == NotTls)
                    socket->write("HTTP/1.1 400 Bad Request\r\n\r\n");
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    int accepted() const { return m_accepted; }

private:
    QTcpServer m_server;
    int m_accepted = 0;
};

QJsonObject sendCommand(const QByteArrayList &frameList, const QString &padding,
                        const QString &from = QStringLiteral("device"))
{
    QJsonArray hex;
    for (const QByteArray &f : frameList)
        hex.append(QString::fromLatin1(f.toHex()));
    return QJsonObject{ { QStringLiteral("send"), hex },
                        { QStringLiteral("padding"), padding },
                        { QStringLiteral("from"), from } };
}

QJsonObject rawCommand(const QByteArray &bytes)
{
    return QJsonObject{ { QStringLiteral("raw"), QString::fromLatin1(bytes.toHex()) } };
}

} // namespace wifitest
