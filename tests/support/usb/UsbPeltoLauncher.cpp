#include "UsbPeltoLauncher.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace nimbrel::test {

namespace {

// Written by the signal handler, read by the event loop: the only thing a handler may safely do.
int g_signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

// Children get a process group of their own, so Ctrl-C in the terminal reaches only the launcher,
// which then ends them in order; and they end with the launcher if it is killed outright.
void detachFromTerminalGroup(QProcess *process)
{
    process->setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
}

} // namespace

UsbPeltoLauncher::UsbPeltoLauncher(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    connect(&m_program, &QProcess::finished, this, &UsbPeltoLauncher::programFinished);
    detachFromTerminalGroup(&m_program);
    detachFromTerminalGroup(&m_simulator);
}

UsbPeltoLauncher::~UsbPeltoLauncher()
{
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished();
    }
    stopSimulator();
}

void UsbPeltoLauncher::say(const QString &line)
{
    // Standard output, flushed: a test or a person reads these lines next to the program's log.
    std::fprintf(stdout, "usb-pelto: %s\n", qPrintable(line));
    std::fflush(stdout);
}

bool UsbPeltoLauncher::start()
{
    if (!UsbTestbed::underUmockdev()) {
        say(QStringLiteral("must run under umockdev-wrapper (with an ASan build, also "
                           "ASAN_OPTIONS=verify_asan_link_order=0)"));
        return false;
    }
    if (!m_testbed.isValid()) {
        say(QStringLiteral("no USB testbed: ") + m_testbed.errorString());
        return false;
    }
    if (m_options.simSocket.isEmpty()) {
        if (!startSimulator())
            return false;
    } else {
        m_socketPath = m_options.simSocket;
    }
    plug();
    if (m_deviceId < 0)
        return false;

    // The program inherits this process's environment, LD_PRELOAD and UMOCKDEV_DIR included, and
    // its standard input stays ours: the commands are for the launcher.
    m_program.setProcessChannelMode(QProcess::ForwardedChannels);
    m_program.start(m_options.program, m_options.programArguments);
    if (!m_program.waitForStarted()) {
        say(QStringLiteral("cannot start %1: %2").arg(m_options.program, m_program.errorString()));
        return false;
    }
    say(QStringLiteral("started %1 (pid %2); commands: unplug, plug, quit")
            .arg(m_options.program)
            .arg(m_program.processId()));

    m_commands = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_commands, &QSocketNotifier::activated, this, &UsbPeltoLauncher::readCommands);
    return true;
}

bool UsbPeltoLauncher::startSimulator()
{
    if (!m_socketDir.isValid()) {
        say(QStringLiteral("no temporary folder for the USB socket"));
        return false;
    }
    m_socketPath = m_socketDir.filePath(QStringLiteral("pelto-usb.sock"));
    QStringList arguments{ m_options.simScript, QStringLiteral("--usb-socket"), m_socketPath };
    arguments << QStringLiteral("--serial") << m_options.serial;
    // Free ports: a simulator on the fixed ones may already be running for Wi-Fi.
    for (const QString &port : { QStringLiteral("--tls-port"), QStringLiteral("--udp-port"),
                                 QStringLiteral("--control-port") })
        arguments << port << QStringLiteral("0");
    arguments << m_options.simArguments;
    // Its progress lines (the connect sequence) go to our standard error as they come.
    m_simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_simulator.start(m_options.python, arguments);
    QByteArray line;
    if (m_simulator.waitForStarted()) {
        while (!line.contains('\n') && m_simulator.waitForReadyRead(30000))
            line += m_simulator.readLine();
    }
    if (!line.startsWith("READY ")) {
        say(QStringLiteral("pelto-sim did not start (%1 %2)")
                .arg(m_options.python, arguments.join(QLatin1Char(' '))));
        return false;
    }
    const QJsonObject ready = QJsonDocument::fromJson(line.mid(6)).object();
    say(QStringLiteral("pelto-sim ready: serial %1, control port %2, TLS port %3, UDP port %4, "
                       "USB socket %5, pid %6")
            .arg(m_options.serial)
            .arg(ready.value(QStringLiteral("control")).toInt())
            .arg(ready.value(QStringLiteral("tls")).toInt())
            .arg(ready.value(QStringLiteral("udp")).toInt())
            .arg(m_socketPath)
            .arg(ready.value(QStringLiteral("pid")).toInt()));
    // Later stdout lines (a --frame-log-stdout passed on) are passed on too.
    connect(&m_simulator, &QProcess::readyReadStandardOutput, this, [this] {
        const QByteArray out = m_simulator.readAllStandardOutput();
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        std::fflush(stdout);
    });
    return true;
}

void UsbPeltoLauncher::plug()
{
    if (m_deviceId >= 0) {
        say(QStringLiteral("already plugged in"));
        return;
    }
    m_deviceId = m_testbed.addDevice(UsbDeviceSpec::pelto(), m_socketPath);
    if (m_deviceId < 0) {
        say(QStringLiteral("cannot plug the device in: ") + m_testbed.errorString());
        return;
    }
    say(QStringLiteral("plugged in 1FC9:828A at %1").arg(m_testbed.devNode(m_deviceId)));
}

void UsbPeltoLauncher::unplug()
{
    if (m_deviceId < 0) {
        say(QStringLiteral("not plugged in"));
        return;
    }
    const QString node = m_testbed.devNode(m_deviceId);
    m_testbed.removeDevice(m_deviceId);
    m_deviceId = -1;
    say(QStringLiteral("unplugged %1").arg(node));
}

void UsbPeltoLauncher::readCommands()
{
    char buffer[256];
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count <= 0) {
        // Standard input closed (or /dev/null): only signals end the launcher now.
        m_commands->setEnabled(false);
        return;
    }
    m_commandText.append(buffer, count);
    qsizetype end;
    while ((end = m_commandText.indexOf('\n')) >= 0) {
        const QByteArray command = m_commandText.left(end).trimmed();
        m_commandText.remove(0, end + 1);
        if (command == "unplug")
            unplug();
        else if (command == "plug")
            plug();
        else if (command == "quit")
            quit();
        else if (!command.isEmpty())
            say(QStringLiteral("unknown command %1 (unplug, plug, quit)")
                    .arg(QString::fromLocal8Bit(command)));
    }
}

void UsbPeltoLauncher::quit()
{
    if (m_program.state() == QProcess::NotRunning || m_quitting)
        return;
    m_quitting = true;
    say(QStringLiteral("ending %1").arg(m_options.program));
    m_program.terminate();
    QTimer::singleShot(m_options.graceMs, this, [this] {
        if (m_program.state() != QProcess::NotRunning) {
            say(QStringLiteral("%1 did not end; killing it").arg(m_options.program));
            m_program.kill();
        }
    });
}

void UsbPeltoLauncher::programFinished(int exitCode, QProcess::ExitStatus status)
{
    if (status == QProcess::NormalExit) {
        say(QStringLiteral("%1 ended with exit code %2").arg(m_options.program).arg(exitCode));
        m_exitCode = exitCode;
    } else if (m_quitting) {
        say(QStringLiteral("%1 ended on request").arg(m_options.program));
        m_exitCode = 0;
    } else {
        say(QStringLiteral("%1 crashed").arg(m_options.program));
        m_exitCode = 1;
    }
    if (m_deviceId >= 0)
        unplug();
    stopSimulator();
    QCoreApplication::exit(m_exitCode);
}

void UsbPeltoLauncher::stopSimulator()
{
    if (m_simulator.state() == QProcess::NotRunning)
        return;
    m_simulator.terminate();
    if (!m_simulator.waitForFinished(5000)) {
        m_simulator.kill();
        m_simulator.waitForFinished();
    }
}

void UsbPeltoLauncher::catchSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    m_signals = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_signals, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] const ssize_t count = ::read(g_signalPipe[0], &byte, 1);
        quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : { SIGINT, SIGTERM, SIGHUP })
        sigaction(number, &action, nullptr);
}

} // namespace nimbrel::test
