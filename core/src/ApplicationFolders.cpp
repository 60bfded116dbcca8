#include "ApplicationFolders.h"

#include "ProgramDataLocation.h"

#include <QLoggingCategory>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcFolders, "App.ApplicationFolders")

namespace {
const QString studioFolder = QStringLiteral("NimbrelStudio");
const QString programDataFolder = QStringLiteral("Orvane/NimbrelStudio");
} // namespace

ApplicationFolders &ApplicationFolders::instance()
{
    static ApplicationFolders folders;
    return folders;
}

QDir &ApplicationFolders::folder(Kind kind)
{
    if (!m_ready[kind])
        setUp(kind);
    return m_dirs[kind];
}

bool ApplicationFolders::isReady(Kind kind) const
{
    return m_ready[kind];
}

std::optional<QDir> ApplicationFolders::subFolder(Kind kind, const std::string &name)
{
    // Only a base folder that was made counts: the directory of a failed one is a fallback (the
    // home or data location itself, or the working directory), where sub-folders do not belong.
    QDir dir = folder(kind);
    const QString path = QString::fromStdString(name);
    if (!m_ready[kind] || path.isEmpty() || !dir.mkpath(path) || !dir.cd(path)) {
        qCDebug(lcFolders) << "Could not initialise AppData folder";
        return std::nullopt;
    }
    return dir;
}

void ApplicationFolders::setUp(Kind kind)
{
    switch (kind) {
    case Home:
        setUpHome();
        break;
    case AppData:
        setUpAppData();
        break;
    case ProgramData:
        setUpProgramData();
        break;
    case ProgramDataRoot:
        setUpProgramDataRoot();
        break;
    }
}

void ApplicationFolders::setUpHome()
{
    const QString home = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    if (home.isEmpty()) {
        qCDebug(lcFolders) << "No home location available";
        return;
    }
    QDir &dir = m_dirs[Home];
    dir.setPath(home);
    if (dir.mkpath(studioFolder) && dir.cd(studioFolder))
        m_ready[Home] = true;
    else
        qCDebug(lcFolders) << "Could not initialise Nimbrel Lab folder";
}

void ApplicationFolders::setUpAppData()
{
    QString path = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (path.isEmpty()) {
        qCDebug(lcFolders) << "Could not initialise AppData";
        return;
    }
    // The data folder is named after the studio, not the product, while keeping the rest of the
    // application name ("Nimbrel Lab" -> "NimbrelStudio Lab"); older releases used that folder.
    const QString genericData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString productPrefix = genericData + QStringLiteral("/Orvane/Nimbrel");
    if (!genericData.isEmpty() && path.startsWith(productPrefix))
        path = genericData + QStringLiteral("/Orvane/NimbrelStudio") + path.mid(productPrefix.size());

    QDir &dir = m_dirs[AppData];
    dir.setPath(path);
    if (dir.mkpath(QStringLiteral(".")))
        m_ready[AppData] = true;
    else
        qCDebug(lcFolders) << "Could not initialise AppData";
}

void ApplicationFolders::setUpProgramData()
{
    const QString root = platform::programDataRoot();
    if (root.isEmpty())
        return;
    QDir &dir = m_dirs[ProgramData];
    dir.setPath(root);
    if (dir.mkpath(programDataFolder) && dir.cd(programDataFolder))
        m_ready[ProgramData] = true;
    else
        qCDebug(lcFolders) << "Could not initialise ProgramData";
}

void ApplicationFolders::setUpProgramDataRoot()
{
    const QString root = platform::programDataRoot();
    if (root.isEmpty())
        return;
    m_dirs[ProgramDataRoot].setPath(root);
    m_ready[ProgramDataRoot] = true;
}
