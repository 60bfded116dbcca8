#pragma once

#include "MatlabInstallationSource.h"

#include <QDir>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// Knows the MATLAB releases on this computer and the toolchain version each carries, and starts
// MATLAB with the toolchain's install or uninstall function. Every map is keyed by the release's
// version key ("9.10").
//
// MATLAB is started as an argument vector, never through a shell, so any folder reaches it as it
// is. The launcher script blocks until MATLAB exits, so each start is detached: the worker thread
// serialises the starts only, and neither a second install nor the program's exit waits for a
// MATLAB the user has not closed.
//
// Threading: the maps are guarded by one mutex (the toolchain engine reads and changes them from
// the GUI thread and from its download thread); the command queue by another.
class MatlabHelper
{
public:
    // Starts program detached with the arguments in workingFolder; false when it could not start.
    using Launcher = std::function<bool(const QString &program, const QStringList &arguments,
                                        const QString &workingFolder)>;

    static constexpr const char *InstallFunction = "installNimbrelToolchain";
    static constexpr const char *UninstallFunction = "uninstallNimbrelToolchain";

    explicit MatlabHelper(std::unique_ptr<MatlabInstallationSource> source
                          = MatlabInstallationSource::system(),
                          Launcher launcher = detachedLauncher());
    // Commands not yet started are dropped; a start in progress is waited for.
    ~MatlabHelper();

    MatlabHelper(const MatlabHelper &) = delete;
    MatlabHelper &operator=(const MatlabHelper &) = delete;

    static Launcher detachedLauncher();

    // 0 when the start was queued, -1 when the release is not installed. An install records the
    // toolchain version it brings until its report of 100 arrives.
    int install(const std::string &version, const QString &workingFolder,
                const std::string &toolchainVersion);
    int uninstall(const std::string &version, const QString &workingFolder);
    int runMatlabCommand(const std::string &version, const char *function,
                         const QString &workingFolder);

    // One progress report from MATLAB: a report of 100 whose flags have no bit but bit 1 set
    // records the install or uninstall; any other report changes nothing.
    void onProgress(const std::string &version, int progress, int flags, bool isUninstall);

    void findMatlabInstallations();
    void readToolchainVersions();

    // Version key -> launcher program (root folder + "/bin/matlab").
    std::map<std::string, std::string> installations() const;
    // Version key -> toolchain version.
    std::map<std::string, std::string> installedToolchains() const;

    // "MatlabHelper" below the program-data folder; empty when it could not be made.
    std::optional<QDir> folder() const { return m_folder; }

    // Starts queued and not yet handed to the launcher.
    std::size_t pendingCommands();

    // The MATLAB arguments for function started in workingFolder.
    static QStringList commandArguments(const QString &workingFolder, const QString &function);

private:
    struct Command
    {
        QString program;
        QStringList arguments;
        QString workingFolder;
    };

    void commandWorkerLoop();

    std::unique_ptr<MatlabInstallationSource> m_source;
    Launcher m_launcher;
    std::optional<QDir> m_folder;

    mutable std::mutex m_mapsMutex;
    std::map<std::string, std::string> m_installations;
    std::map<std::string, std::string> m_installedToolchains;
    std::map<std::string, std::string> m_pending;

    std::atomic<bool> m_running{ true };
    std::condition_variable m_commandCondition;
    std::mutex m_commandMutex;
    std::deque<Command> m_commands;
    std::thread m_worker;
};
