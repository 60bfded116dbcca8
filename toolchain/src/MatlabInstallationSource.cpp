#include "MatlabInstallationSource.h"

#include "DirectoryInstallationSource.h"
#include "MatlabVersion.h"

#include <QLoggingCategory>

#include <stdexcept>

Q_LOGGING_CATEGORY(lcMatlabInstallations, "Toolchain.MatlabInstallations")

std::unique_ptr<MatlabInstallationSource> MatlabInstallationSource::system()
{
    const QString configured = qEnvironmentVariable("NIMBREL_MATLAB_ROOTS");
    QStringList roots = configured.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (configured.isNull())
        roots = { QStringLiteral("/usr/local/MATLAB"), QStringLiteral("/opt/MATLAB") };
    return std::make_unique<DirectoryInstallationSource>(roots);
}

void MatlabInstallationSource::addInstallationFromPath(std::map<std::string, std::string> &found,
                                                       const std::string &text, char separator)
{
    if (text.size() < 4)
        return;
    const std::string marker = std::string(1, separator) + "R20";
    const std::size_t at = text.find(marker);
    if (at == std::string::npos)
        return;
    const std::string programData = std::string(1, separator) + "ProgramData" + separator;
    if (text.size() >= 13 && text.find(programData) != std::string::npos)
        return;
    // A text that stops inside the release name names no release; padding it would carry a NUL
    // into the root folder and from there into the command.
    const std::size_t releaseStart = at + 1;
    if (text.size() < releaseStart + 6) {
        qCDebug(lcMatlabInstallations) << "Unkown readable MATLAB type";
        return;
    }
    const std::string root = text.substr(0, releaseStart + 6);
    std::string key;
    try {
        key = matlabReleaseToVersion(root.substr(releaseStart, 6));
    } catch (const std::invalid_argument &error) {
        qCDebug(lcMatlabInstallations) << error.what();
        return;
    }
    found.emplace(key, root);
}
