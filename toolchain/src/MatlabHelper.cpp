#include "MatlabHelper.h"

#include "ApplicationFolders.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <iostream>

Q_LOGGING_CATEGORY(lcMatlabHelper, "Toolchain.MatlabHelper")

namespace {

const char *const VersionFolder = "MatlabToolchainVersion";

// The release a version file belongs to, from its name "<release>_<major>_<minor>.json".
std::optional<std::string> versionKeyFromFileName(const std::string &name)
{
    const std::size_t firstUnderscore = name.find('_');
    if (firstUnderscore == std::string::npos)
        return std::nullopt;
    const std::size_t f = firstUnderscore + 1;
    const std::size_t g = name.rfind('_') + 1;
    const std::size_t dot = name.rfind('.');
    const std::size_t d = dot == std::string::npos ? name.size() : dot + 1;
    const int major = g > f ? std::atoi(name.substr(f, g - 1 - f).c_str()) : 0;
    const int minor = d > g ? std::atoi(name.substr(g, d - 1 - g).c_str()) : 0;
    return std::to_string(major) + (minor > 9 ? "." : ".0") + std::to_string(minor);
}

} // namespace

MatlabHelper::MatlabHelper(std::unique_ptr<MatlabInstallationSource> source, Launcher launcher)
    : m_source(std::move(source))
    , m_launcher(std::move(launcher))
    , m_folder(
          ApplicationFolders::instance().subFolder(ApplicationFolders::ProgramData, "MatlabHelper"))
{
    m_worker = std::thread(&MatlabHelper::commandWorkerLoop, this);
    if (m_folder) {
        findMatlabInstallations();
        readToolchainVersions();
    }
}

MatlabHelper::~MatlabHelper()
{
    m_running = false;
    {
        std::lock_guard lock(m_commandMutex);
        m_commands.clear();
    }
    m_commandCondition.notify_all();
    m_worker.join();
}

MatlabHelper::Launcher MatlabHelper::detachedLauncher()
{
    return [](const QString &program, const QStringList &arguments, const QString &folder) {
        return QProcess::startDetached(program, arguments, folder);
    };
}

QStringList MatlabHelper::commandArguments(const QString &workingFolder, const QString &function)
{
    return { QStringLiteral("-sd"), workingFolder, QStringLiteral("-r"), function,
             QStringLiteral("-nosplash") };
}

int MatlabHelper::install(const std::string &version, const QString &workingFolder,
                          const std::string &toolchainVersion)
{
    const int result = runMatlabCommand(version, InstallFunction, workingFolder);
    if (result == 0) {
        std::lock_guard lock(m_mapsMutex);
        m_pending.emplace(version, toolchainVersion);
    }
    return result;
}

int MatlabHelper::uninstall(const std::string &version, const QString &workingFolder)
{
    {
        std::lock_guard lock(m_mapsMutex);
        if (!m_installations.contains(version))
            qCDebug(lcMatlabHelper).noquote()
                << QStringLiteral("No MATLAB installation with version %1 available")
                       .arg(QString::fromStdString(version));
    }
    const int result = runMatlabCommand(version, UninstallFunction, workingFolder);
    if (result == 0) {
        std::lock_guard lock(m_mapsMutex);
        m_pending.emplace(version, std::string());
    }
    return result;
}

int MatlabHelper::runMatlabCommand(const std::string &version, const char *function,
                                   const QString &workingFolder)
{
    Command command;
    {
        std::lock_guard lock(m_mapsMutex);
        const auto found = m_installations.find(version);
        if (found == m_installations.end()) {
            std::cout << "No MATLAB installation with version " << version << " available"
                      << std::endl;
            return -1;
        }
        command.program = QString::fromStdString(found->second);
    }
    command.arguments = commandArguments(workingFolder, QString::fromLatin1(function));
    command.workingFolder = workingFolder;
    {
        std::lock_guard lock(m_commandMutex);
        m_commands.push_back(std::move(command));
    }
    m_commandCondition.notify_one();
    return 0;
}

void MatlabHelper::onProgress(const std::string &version, int progress, int flags, bool isUninstall)
{
    std::lock_guard lock(m_mapsMutex);
    std::string pendingVersion;
    if (const auto found = m_pending.find(version); found != m_pending.end())
        pendingVersion = found->second;
    else
        qCDebug(lcMatlabHelper).noquote()
            << QStringLiteral("No pending installation with version %1")
                   .arg(QString::fromStdString(version));
    if (progress != 100)
        return;
    if ((flags & ~2) != 0)
        return;
    if (isUninstall)
        m_installedToolchains.erase(version);
    else
        m_installedToolchains[version] = pendingVersion;
    m_pending.erase(version);
}

void MatlabHelper::findMatlabInstallations()
{
    std::map<std::string, std::string> found = m_source->findInstallations();
    for (auto &[key, root] : found)
        root += "/bin/matlab";
    std::lock_guard lock(m_mapsMutex);
    m_installations = std::move(found);
}

void MatlabHelper::readToolchainVersions()
{
    std::map<std::string, std::string> versions;
    if (m_folder && m_folder->exists(QLatin1String(VersionFolder))) {
        const QDir dir(m_folder->absoluteFilePath(QLatin1String(VersionFolder)));
        for (const QString &entry : dir.entryList()) {
            const std::string name = entry.toStdString();
            if (name.size() < 5 || name.find(".json") == std::string::npos)
                continue;
            const std::optional<std::string> key = versionKeyFromFileName(name);
            if (!key)
                continue;
            try {
                std::ifstream stream(dir.absoluteFilePath(entry).toStdString(), std::ios::binary);
                if (!stream)
                    throw std::runtime_error("unreadable");
                nlohmann::json document;
                stream >> document;
                const nlohmann::json &member = document.at("ToolchainVersion");
                if (!member.is_string())
                    throw std::runtime_error("not a string");
                versions.emplace(*key, member.get<std::string>());
            } catch (const std::exception &) {
                qCDebug(lcMatlabHelper) << "Could not parse version file";
            }
        }
    }
    std::lock_guard lock(m_mapsMutex);
    m_installedToolchains = std::move(versions);
}

std::map<std::string, std::string> MatlabHelper::installations() const
{
    std::lock_guard lock(m_mapsMutex);
    return m_installations;
}

std::map<std::string, std::string> MatlabHelper::installedToolchains() const
{
    std::lock_guard lock(m_mapsMutex);
    return m_installedToolchains;
}

std::size_t MatlabHelper::pendingCommands()
{
    std::lock_guard lock(m_commandMutex);
    return m_commands.size();
}

void MatlabHelper::commandWorkerLoop()
{
    while (m_running) {
        std::unique_lock lock(m_commandMutex);
        m_commandCondition.wait(lock, [this] { return !m_commands.empty() || !m_running; });
        if (!m_running || m_commands.empty())
            continue;
        Command command = std::move(m_commands.front());
        m_commands.pop_front();
        lock.unlock();
        if (!m_launcher(command.program, command.arguments, command.workingFolder))
            qCWarning(lcMatlabHelper) << "Could not start MATLAB" << command.program;
    }
}
