#include "NetworkDevice.h"

#include "ErrorHandler.h"

#include <QDateTime>

#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcNetworkDevice, "Brastel.NetworkDevice")

using orvane::infra::NetworkDeviceInfo;

namespace {

QString fromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString txtValue(const NetworkDeviceInfo &info, const char *key)
{
    const auto found = info.txtEntries.find(key);
    return found == info.txtEntries.end() || !found->second ? QString() : fromUtf8(*found->second);
}

// x-terminal-emulator (Debian's alternative), else the user's $TERMINAL, else xterm.
QString findTerminal()
{
    QString terminal = QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator"));
    if (terminal.isEmpty() && !qEnvironmentVariableIsEmpty("TERMINAL"))
        terminal = QStandardPaths::findExecutable(qEnvironmentVariable("TERMINAL"));
    if (terminal.isEmpty())
        terminal = QStandardPaths::findExecutable(QStringLiteral("xterm"));
    return terminal;
}

void notifySshFailure(const QString &message)
{
    ErrorHandler::instance()->pushNotification(
        nimbrel::Warning, AbstractNotification::NimbrelLab, QStringLiteral("SSH session not started"),
        message, QStringLiteral("Robot discovery"), QDateTime::currentDateTimeUtc());
}

} // namespace

NetworkDevice::NetworkDevice(const NetworkDeviceInfo &info, QObject *parent)
    : QObject(parent)
    , m_serial(serialOf(info))
    , m_servicename(fromUtf8(info.serviceName))
    , m_devicetype(txtValue(info, "orvane_device_type"))
    , m_hostname(fromUtf8(info.hostName))
    , m_port(info.port)
{
    if (info.addressFamily == 0)
        m_addressv4 = fromUtf8(info.address);
    else if (info.addressFamily == 1)
        m_addressv6 = fromUtf8(info.address);
}

QString NetworkDevice::serialOf(const NetworkDeviceInfo &info)
{
    return txtValue(info, "orvane_device_serial");
}

bool NetworkDevice::sameWithoutAddress(const NetworkDeviceInfo *info) const
{
    return info && m_serial == serialOf(*info) && m_servicename == fromUtf8(info->serviceName)
        && m_hostname == fromUtf8(info->hostName) && m_port == info->port;
}

bool NetworkDevice::matches(const NetworkDeviceInfo &info) const
{
    const QString address = fromUtf8(info.address);
    if (info.addressFamily == 0 && address != m_addressv4)
        return false;
    if (info.addressFamily == 1 && address != m_addressv6)
        return false;
    return info.addressFamily <= 1 && sameWithoutAddress(&info);
}

void NetworkDevice::updateAddress(const NetworkDeviceInfo &info)
{
    if (info.addressFamily == 0) {
        m_addressv4 = fromUtf8(info.address);
        emit addressV4Updated();
    } else if (info.addressFamily == 1) {
        m_addressv6 = fromUtf8(info.address);
        emit addressV6Updated();
    }
}

bool NetworkDevice::acceptsUserName(const QString &username) const
{
    return isAcceptableUserName(username);
}

bool NetworkDevice::isAcceptableUserName(const QString &username)
{
    if (username.startsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : username) {
        if (c.isSpace() || c.category() == QChar::Other_Control
            || c.category() == QChar::Other_Format)
            return false;
    }
    return true;
}

void NetworkDevice::launchSSH(const QString &username)
{
    const QString ssh = QStandardPaths::findExecutable(QStringLiteral("ssh"));
    if (ssh.isEmpty()) {
        qCritical("Could not find ssh executable");
        notifySshFailure(QStringLiteral("Could not find the ssh program. Install it (Debian "
                                        "package openssh-client) and try again."));
        return;
    }
    if (!isAcceptableUserName(username)) {
        qCWarning(lcNetworkDevice) << "Refusing the user name" << username
                                   << "(whitespace, control characters or a leading \"-\")";
        notifySshFailure(QStringLiteral("The user name \"%1\" was refused: a user name may not "
                                        "begin with \"-\" or hold blanks or control characters.")
                             .arg(username.simplified()));
        return;
    }
    const QString terminal = findTerminal();
    if (terminal.isEmpty()) {
        qCCritical(lcNetworkDevice) << "Could not find a terminal emulator";
        notifySshFailure(QStringLiteral("Could not find a terminal program to run ssh in. Install "
                                        "one (x-terminal-emulator, xterm) or name yours in "
                                        "$TERMINAL, and try again."));
        return;
    }
    const QString address = m_addressv6.isEmpty() ? m_addressv4 : m_addressv6;
    const QString target = username.isEmpty() ? address : username + QLatin1Char('@') + address;
    const QString title = QStringLiteral("SSH session with ") + m_hostname + QLatin1Char('(')
        + m_serial + QLatin1Char(')');

    auto *process = new QProcess(this);
    process->setProgram(terminal);
    process->setArguments({ QStringLiteral("-T"), title, QStringLiteral("-e"), ssh, target,
                            QStringLiteral("-p") + QString::number(m_port) });
    qCDebug(lcNetworkDevice) << "Launching SSH shell with command:" << process->program()
                             << process->arguments();
    process->startDetached();
}
