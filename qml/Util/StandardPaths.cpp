#include "StandardPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace {
QString withFile(QString path, const QString &fileName)
{
    if (!fileName.isEmpty())
        path += QLatin1Char('/') + fileName;
    return path;
}
} // namespace

StandardPaths::StandardPaths(const QString &group, QObject *parent)
    : QObject(parent)
    , m_group(group)
{ }

void StandardPaths::setGroup(const QString &group)
{
    if (group == m_group)
        return;
    m_group = group;
    emit groupChanged();
}

QString StandardPaths::inGroup(QString base, const QString &fileName) const
{
    if (!m_group.isEmpty())
        base += QLatin1Char('/') + m_group;
    // A folder that cannot be made is not reported: the caller's own file access fails then.
    QDir().mkpath(base);
    return withFile(base, fileName);
}

QString StandardPaths::getHiddenUserDataPath(const QString &fileName) const
{
    return inGroup(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), fileName);
}

QString StandardPaths::getUserDataPath(const QString &fileName) const
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (QStandardPaths::isTestModeEnabled())
        base += QStringLiteral("/qttest");
    if (!QCoreApplication::organizationName().isEmpty())
        base += QLatin1Char('/') + QCoreApplication::organizationName();
    if (!QCoreApplication::applicationName().isEmpty())
        base += QLatin1Char('/') + QCoreApplication::applicationName();
    return inGroup(base, fileName);
}

QString StandardPaths::getConfigPath(const QString &fileName) const
{
    return inGroup(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation), fileName);
}

QString StandardPaths::getCachePath(const QString &fileName) const
{
    return inGroup(QStandardPaths::writableLocation(QStandardPaths::CacheLocation), fileName);
}

QString StandardPaths::getTempPath(const QString &fileName) const
{
    return withFile(QStandardPaths::writableLocation(QStandardPaths::TempLocation), fileName);
}

QString StandardPaths::getDownloadsPath(const QString &fileName) const
{
    return withFile(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation), fileName);
}

QString StandardPaths::getResourcePath(const QString &fileName) const
{
    return withFile(QCoreApplication::applicationDirPath() + QStringLiteral("/resources"),
                    fileName);
}

QString StandardPaths::getApplicationPath() const
{
    return QCoreApplication::applicationDirPath();
}

StandardPaths *StandardPaths::subGroup(const QString &subGroup, QObject *parent) const
{
    const QString group = m_group.isEmpty() ? subGroup : m_group + QLatin1Char('/') + subGroup;
    return new StandardPaths(group, parent);
}
