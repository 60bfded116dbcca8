#pragma once

#include "UsbTestbed.h"

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class QSocketNotifier;

namespace nimbrel::test {

// Lets a person (or a test) run a program with a simulated Pelto plugged in over USB.
//
// The launcher owns a UsbTestbed, so it must itself run under `umockdev-wrapper`. It starts
// pelto-sim with --usb-socket (or uses one already listening), plugs the simulated device in, and
// starts the program as its child. The child inherits LD_PRELOAD and UMOCKDEV_DIR, so its libusb
// sees the testbed's sysfs and uevents, and its ioctls on the device node reach this process's
// handler through the socket umockdev keeps in the testbed folder (the way umockdev-run serves the
// program it starts).
//
// Commands, one a line on standard input: "unplug", "plug" (again), "quit". SIGINT, SIGTERM and
// SIGHUP mean "quit": the program gets SIGTERM (SIGKILL after a grace period), then the device is
// unplugged and a simulator started here is stopped. The launcher exits with the program's exit
// code, 0 when the program ended on the launcher's own SIGTERM.
class UsbPeltoLauncher : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString simScript; // pelto_sim.py
        QString python = QStringLiteral("/usr/bin/python3");
        QString simSocket; // non-empty: a pelto-sim already listening there
        QString serial = QStringLiteral("PLT-USB-0001");
        QStringList simArguments; // passed on to pelto-sim
        QString program;
        QStringList programArguments;
        int graceMs = 10000;
    };

    explicit UsbPeltoLauncher(Options options, QObject *parent = nullptr);
    ~UsbPeltoLauncher() override;

    // Starts everything; false (after saying why on stderr) when something could not start.
    bool start();
    // The exit code once the launcher is done (it then quits the event loop).
    int exitCode() const { return m_exitCode; }

    void plug();
    void unplug();
    void quit();

    // Routes SIGINT, SIGTERM and SIGHUP to quit(); call once, after the QCoreApplication exists.
    void catchSignals();

private:
    bool startSimulator();
    void readCommands();
    void programFinished(int exitCode, QProcess::ExitStatus status);
    void stopSimulator();
    static void say(const QString &line);

    Options m_options;
    UsbTestbed m_testbed;
    QTemporaryDir m_socketDir;
    QString m_socketPath;
    QProcess m_simulator;
    QProcess m_program;
    QSocketNotifier *m_commands = nullptr;
    QSocketNotifier *m_signals = nullptr;
    QByteArray m_commandText;
    int m_deviceId = -1;
    bool m_quitting = false;
    int m_exitCode = 1;
};

} // namespace nimbrel::test
