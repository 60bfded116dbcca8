#pragma once

#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>

// Runs tools/pelto-sim for a test: starts it on loopback with free ports, and talks to its JSON
// control socket.
class PeltoSimProcess
{
public:
    ~PeltoSimProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000))
                m_process.kill();
            m_process.waitForFinished();
        }
    }

    bool start(const QStringList &extraArguments = {})
    {
        using namespace nimbrel::test;
        const QString script = sourceDir() + QStringLiteral("/tools/pelto-sim/pelto_sim.py");
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        // Tests that want the restart after an upload ask for it (update_restart_ms); the rest
        // go on talking to the device after uploading.
        m_process.start(python(), QStringList{script, QStringLiteral("--stay-up-after-update"),
                                              QStringLiteral("--address"),
                                              QStringLiteral("127.0.0.1"),
                                              QStringLiteral("--tls-port"), QStringLiteral("0"),
                                              QStringLiteral("--udp-port"), QStringLiteral("0"),
                                              QStringLiteral("--control-port"), QStringLiteral("0"),
                                              QStringLiteral("-q")}
                                      + extraArguments);
        if (!m_process.waitForStarted(scaled(10000)))
            return false;
        const bool ready = waitFor(
            [this] {
                m_stdout += m_process.readAllStandardOutput();
                return m_stdout.contains('\n') || m_process.state() == QProcess::NotRunning;
            },
            20000);
        const QByteArray line = m_stdout.left(m_stdout.indexOf('\n'));
        if (!ready || !line.startsWith("READY "))
            return false;
        const QJsonObject ports = QJsonDocument::fromJson(line.mid(6)).object();
        tlsPort = quint16(ports.value(QStringLiteral("tls")).toInt());
        udpPort = quint16(ports.value(QStringLiteral("udp")).toInt());
        m_controlPort = quint16(ports.value(QStringLiteral("control")).toInt());
        return tlsPort && udpPort && m_controlPort;
    }

    // One command on the control socket; the reply object ("ok" false on any failure).
    QJsonObject command(QJsonObject request)
    {
        using namespace nimbrel::test;
        if (m_control.state() != QAbstractSocket::ConnectedState) {
            m_control.connectToHost(QStringLiteral("127.0.0.1"), m_controlPort);
            if (!m_control.waitForConnected(scaled(5000)))
                return {};
        }
        m_control.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
        m_control.waitForBytesWritten(scaled(5000));
        QByteArray reply;
        while (!reply.contains('\n')) {
            if (!m_control.bytesAvailable() && !m_control.waitForReadyRead(scaled(10000)))
                return {};
            reply += m_control.readAll();
        }
        return QJsonDocument::fromJson(reply.left(reply.indexOf('\n'))).object();
    }
    QJsonObject command(const QString &name, QJsonObject fields = {})
    {
        fields.insert(QStringLiteral("cmd"), name);
        return command(fields);
    }

    // Control codes of the channel-1 frames the device received, in order.
    QList<int> controlCodes()
    {
        QList<int> codes;
        const QJsonObject reply = command(QStringLiteral("frames"),
                                          {{QStringLiteral("since"), 0}, {QStringLiteral("channel"), 1}});
        for (const QJsonValue &frame : reply.value(QStringLiteral("frames")).toArray())
            codes << frame.toObject().value(QStringLiteral("code")).toInt(-1);
        return codes;
    }

    QJsonArray frames(int channel)
    {
        return command(QStringLiteral("frames"),
                       {{QStringLiteral("since"), 0}, {QStringLiteral("channel"), channel}})
            .value(QStringLiteral("frames"))
            .toArray();
    }

    QJsonObject counters() { return command(QStringLiteral("counters")).value(QStringLiteral("counters")).toObject(); }

    quint16 tlsPort = 0;
    quint16 udpPort = 0;

private:
    QProcess m_process;
    QByteArray m_stdout;
    QTcpSocket m_control;
    quint16 m_controlPort = 0;
};
