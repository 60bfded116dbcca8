#include "InstalledMatlabEntry.h"

#include "ErrorHandler.h"
#include "MatlabVersion.h"
#include "NotificationMessage.h"
#include "SemanticVersion.h"
#include "ToolchainHandler.h"

#include <QDateTime>

InstalledMatlabEntry::InstalledMatlabEntry(QObject *parent, ToolchainHandler *engine,
                                           const QString &version)
    : QObject(parent)
    , m_matlabVersion(version)
    , m_readableMatlabVersion(QString::fromStdString(matlabVersionToRelease(version.toStdString())))
    , m_engine(engine)
{
    const auto toolchains = engine->installedToolchains();
    if (const auto found = toolchains.find(version.toStdString()); found != toolchains.end())
        m_toolchainVersion = QString::fromStdString(found->second);
}

bool InstalledMatlabEntry::newVersionAvailable() const
{
    if (m_latestToolchainVersion.isEmpty())
        return false;
    return SemanticVersion(m_toolchainVersion)
        .isOlderThan(SemanticVersion(m_latestToolchainVersion));
}

QString InstalledMatlabEntry::installButtonText() const
{
    if (m_toolchainVersion.isEmpty())
        return QStringLiteral("Install ") + m_latestToolchainVersion;
    if (newVersionAvailable())
        return QStringLiteral("Update to ") + m_latestToolchainVersion;
    return QStringLiteral("Reinstall");
}

void InstalledMatlabEntry::setToolchainVersion(const QByteArray &version)
{
    m_toolchainVersion = QString::fromUtf8(version);
    emit InstalledToolchainVersionChanged();
}

void InstalledMatlabEntry::setLatestToolchainVersion(const QByteArray &version)
{
    m_latestToolchainVersion = QString::fromUtf8(version);
    emit LatestToolchainVersionChanged();
}

void InstalledMatlabEntry::install()
{
    m_busy = true;
    m_notificationTitle
        = QStringLiteral("Installing toolchain in MATLAB ") + m_readableMatlabVersion;
    m_errorHappened = false;
    emit ErrorHappenedChanged(false);
    m_engine->installToolchain(m_matlabVersion.toStdString());
}

void InstalledMatlabEntry::uninstall()
{
    m_notificationTitle
        = QStringLiteral("Uninstalling toolchain from MATLAB ") + m_readableMatlabVersion;
    m_errorHappened = false;
    emit ErrorHappenedChanged(false);
    // Nothing to remove means no report will ever end the operation: the row must not wait.
    if (m_toolchainVersion.isEmpty())
        return;
    m_busy = true;
    m_engine->uninstallToolchain(m_matlabVersion.toStdString());
}

void InstalledMatlabEntry::progressUpdated(QString version, QString msg, int32_t progress,
                                           bool isError)
{
    if (version != m_matlabVersion)
        return;
    m_readableMsg = msg;
    emit ReadableMsgChanged(m_readableMsg);
    if (!m_visible)
        showNotification(m_readableMsg);
    m_errorHappened = isError;
    emit ErrorHappenedChanged(isError);
    if (progress == 100)
        m_busy = false;
}

void InstalledMatlabEntry::withdrawNotification()
{
    if (m_notificationKey <= 0)
        return;
    if (AbstractNotification *notification
        = ErrorHandler::instance()->takeNotification(m_notificationKey))
        emit notification->RequestDelete(notification);
    m_notificationKey = 0;
}

void InstalledMatlabEntry::showNotification(const QString &msg)
{
    withdrawNotification();
    auto *notification = new NotificationMessage(
        this, nimbrel::Info, AbstractNotification::NimbrelLab, m_notificationTitle, msg, QString(),
        QDateTime::currentDateTimeUtc());
    m_notificationKey = ErrorHandler::instance()->addNotification(notification);
}

void InstalledMatlabEntry::setVisible(bool visible)
{
    m_visible = visible;
    if (visible) {
        withdrawNotification();
        return;
    }
    const bool shown = m_notificationKey > 0
        && ErrorHandler::instance()->getNotification(m_notificationKey) != nullptr;
    if (!shown && m_busy)
        showNotification(m_readableMsg);
}
