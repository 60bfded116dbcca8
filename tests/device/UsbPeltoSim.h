#pragma once

#include "TestSupport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTcpSocket>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

// pelto-sim serving its USB socket, started with posix_spawn. Not QProcess: Qt 6.4 starts a
// child in the parent's memory, which leaves ThreadSanitizer believing the test process itself
// forked, so the next thread it starts kills it (and with die_after_fork=0 it would stop checking
// the test's main thread). posix_spawn is understood by the sanitizer.
class UsbPeltoSim
{
public:
    ~UsbPeltoSim()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        for (int i = 0; i < 300 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; ++i)
            ::usleep(10000);
        if (::waitpid(m_pid, nullptr, WNOHANG) == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_stdout >= 0)
            ::close(m_stdout);
    }

    bool start(const QString &socketPath, const QString &serial)
    {
        using namespace nimbrel::test;
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        const QList<QByteArray> arguments{
            python().toLocal8Bit(),
            (sourceDir() + QStringLiteral("/tools/pelto-sim/pelto_sim.py")).toLocal8Bit(),
            "--stay-up-after-update", // as PeltoSimProcess
            "--address",
            "127.0.0.1",
            "--tls-port",
            "0",
            "--udp-port",
            "0",
            "--control-port",
            "0",
            "--usb-socket",
            socketPath.toLocal8Bit(),
            "--serial",
            serial.toLocal8Bit(),
            "-q"
        };
        QList<char *> argv;
        for (const QByteArray &argument : arguments)
            argv.append(const_cast<char *>(argument.constData()));
        argv.append(nullptr);
        const int result = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        m_stdout = pipeFds[0];
        if (result != 0) {
            m_pid = -1;
            return false;
        }
        // The first line says READY and names the ports.
        QByteArray out;
        QElapsedTimer timer;
        timer.start();
        while (!out.contains('\n') && timer.elapsed() < scaled(20000)) {
            pollfd fd{ m_stdout, POLLIN, 0 };
            if (::poll(&fd, 1, 100) <= 0)
                continue;
            char buffer[512];
            const ssize_t n = ::read(m_stdout, buffer, sizeof buffer);
            if (n <= 0)
                break;
            out.append(buffer, n);
        }
        const QByteArray line = out.left(out.indexOf('\n'));
        if (!line.startsWith("READY "))
            return false;
        m_controlPort = quint16(
            QJsonDocument::fromJson(line.mid(6)).object().value(QStringLiteral("control")).toInt());
        return m_controlPort != 0;
    }

    // One command on the control socket; the reply object ("ok" false on any failure).
    QJsonObject command(const QString &name, QJsonObject fields = {})
    {
        using namespace nimbrel::test;
        fields.insert(QStringLiteral("cmd"), name);
        if (m_control.state() != QAbstractSocket::ConnectedState) {
            m_control.connectToHost(QStringLiteral("127.0.0.1"), m_controlPort);
            if (!m_control.waitForConnected(scaled(5000)))
                return {};
        }
        m_control.write(QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n');
        m_control.waitForBytesWritten(scaled(5000));
        QByteArray reply;
        while (!reply.contains('\n')) {
            if (!m_control.bytesAvailable() && !m_control.waitForReadyRead(scaled(10000)))
                return {};
            reply += m_control.readAll();
        }
        return QJsonDocument::fromJson(reply.left(reply.indexOf('\n'))).object();
    }

    QJsonArray frames(int channel)
    {
        return command(QStringLiteral("frames"),
                       { { QStringLiteral("since"), 0 }, { QStringLiteral("channel"), channel } })
            .value(QStringLiteral("frames"))
            .toArray();
    }

private:
    pid_t m_pid = -1;
    int m_stdout = -1;
    quint16 m_controlPort = 0;
    QTcpSocket m_control;
};
