#pragma once

#include "TestSupport.h"

#include <QProcess>

// python3-zeroconf announcing robot-1._ssh._tcp.local. in the peer namespace that
// with-netns.sh made (NIMBREL_PEER_NETNS).
class ZeroconfResponder
{
public:
    ~ZeroconfResponder()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.write("quit\n");
            if (!m_process.waitForFinished(3000))
                m_process.kill();
            m_process.waitForFinished();
        }
    }

    static QString peerNamespace() { return qEnvironmentVariable("NIMBREL_PEER_NETNS"); }

    bool start()
    {
        using namespace nimbrel::test;
        m_process.start(QStringLiteral("ip"),
                        { "netns", "exec", peerNamespace(), python(),
                          sourceDir() + "/tests/discovery/zeroconf_responder.py", "vp",
                          "192.0.2.2" });
        return m_process.waitForStarted(scaled(5000)) && waitForLine("ready");
    }
    bool command(const QByteArray &name, const QByteArray &done)
    {
        m_process.write(name + '\n');
        return waitForLine(done);
    }
    // The questions the responder's side has seen, as hex lines.
    QList<QByteArray> questions()
    {
        read();
        QList<QByteArray> found;
        for (const QByteArray &line : m_output.split('\n')) {
            if (line.startsWith("query "))
                found << line.mid(6);
        }
        return found;
    }
    QByteArray errors() { return m_process.readAllStandardError(); }

private:
    void read() { m_output += m_process.readAllStandardOutput(); }
    bool waitForLine(const QByteArray &line)
    {
        const qsizetype from = m_output.size();
        return nimbrel::test::waitFor(
            [&] {
                read();
                return m_output.indexOf('\n' + line + '\n', from - 1) >= 0
                    || m_output.startsWith(line + '\n');
            },
            20000);
    }

    QProcess m_process;
    QByteArray m_output;
};
