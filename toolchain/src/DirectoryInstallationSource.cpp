#include "DirectoryInstallationSource.h"

#include "MatlabVersion.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

#include <stdexcept>

Q_DECLARE_LOGGING_CATEGORY(lcMatlabInstallations)

DirectoryInstallationSource::DirectoryInstallationSource(QStringList roots)
    : m_roots(std::move(roots))
{ }

std::map<std::string, std::string> DirectoryInstallationSource::findInstallations() const
{
    std::map<std::string, std::string> found;
    for (const QString &rootPath : m_roots) {
        const QDir root(rootPath);
        const QStringList releases
            = root.entryList({ QStringLiteral("R20[0-9][0-9][ab]") }, QDir::Dirs, QDir::Name);
        for (const QString &release : releases) {
            const QString folder = root.absoluteFilePath(release);
            if (!QFileInfo(folder + QStringLiteral("/bin/matlab")).isFile())
                continue;
            try {
                found.emplace(matlabReleaseToVersion(release.toStdString()), folder.toStdString());
            } catch (const std::invalid_argument &error) {
                qCDebug(lcMatlabInstallations) << error.what() << folder;
            }
        }
    }
    return found;
}
