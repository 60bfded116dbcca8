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
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtEndian>

namespace wifitest {

// Our own frame builder, so the tests do not lean on the code they check.
inline QByteArray frame(quint16 channel, const QByteArray &payload)
{
    QByteArray bytes(6, '\0');
    qToLittleEndian<quint16>(0xABCD, bytes.data());
    qToLittleEndian<quint16>(channel, bytes.data() + 2);
    qToLittleEndian<quint16>(quint16(6 + payload.size()), bytes.data() + 4);
    return bytes + payload;
}

inline QByteArray pattern(int size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(seed + i * 7);
    return bytes;
}

inline QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

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
// checked) and sends device datagrams on command. Every datagram that reached it before a
// command is reported before the command's answer.
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

    // `port` 0: any free port.
    bool start(const QByteArray &key, const QByteArray &iv, quint16 port = 0)
    {
        const QString script = QDir(nimbrel::test::sourceDir())
                                   .filePath(QStringLiteral("tests/device/wifi_udp_peer.py"));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(nimbrel::test::python(),
                        { script, QString::fromLatin1(key.toHex()), QString::fromLatin1(iv.toHex()),
                          QString::number(port) });
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
    bool command(const QJsonObject &command) { return request(command, QStringLiteral("sent")); }
    // The acknowledgement of the last command sent: its "len" and "padding".
    QJsonObject lastSent()
    {
        const QList<QJsonObject> sent = events(QStringLiteral("sent"));
        return sent.isEmpty() ? QJsonObject() : sent.last();
    }

    // Returns once the peer has reported every datagram that reached it before this call.
    bool sync()
    {
        return request(QJsonObject{ { QStringLiteral("sync"), true } }, QStringLiteral("synced"));
    }

private:
    bool request(const QJsonObject &command, const QString &answer)
    {
        const qsizetype before = events(answer).size();
        m_process.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
        return nimbrel::test::waitFor([&] { return events(answer).size() > before; }, 5000);
    }

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

inline QJsonObject sendCommand(const QByteArrayList &frameList, const QString &padding,
                               const QString &from = QStringLiteral("device"))
{
    QJsonArray hex;
    for (const QByteArray &f : frameList)
        hex.append(QString::fromLatin1(f.toHex()));
    return QJsonObject{ { QStringLiteral("send"), hex },
                        { QStringLiteral("padding"), padding },
                        { QStringLiteral("from"), from } };
}

inline QJsonObject rawCommand(const QByteArray &bytes)
{
    return QJsonObject{ { QStringLiteral("raw"), QString::fromLatin1(bytes.toHex()) } };
}

// The frames a link delivered through packetReceived(channel, payload), rebuilt whole.
inline QByteArrayList frames(const QSignalSpy &received)
{
    QByteArrayList list;
    for (const QList<QVariant> &arguments : received)
        list.append(frame(arguments.at(0).value<uint16_t>(), arguments.at(1).toByteArray()));
    return list;
}

// The device's last word: once the link has delivered it, it has delivered everything the device
// sent before it, since datagrams are read and their frames handed on in order.
inline QByteArray lastWord()
{
    return frame(7, "over");
}

inline bool deliverLastWord(UdpPeer &udp, const QSignalSpy &received)
{
    if (!udp.command(sendCommand({ lastWord() }, QStringLiteral("pkcs7"))))
        return false;
    return nimbrel::test::waitFor(
        [&] { return !received.isEmpty() && frames(received).last() == lastWord(); });
}

} // namespace wifitest
