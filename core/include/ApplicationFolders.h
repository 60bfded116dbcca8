#pragma once

#include <QDir>

#include <array>
#include <optional>
#include <string>

// The base folders in which the program keeps its data, each created on first use, and their
// named sub-folders. One process-wide instance; used from the GUI thread (and from the log
// handler's creation, which also runs there), so it takes no lock.
class ApplicationFolders
{
public:
    enum Kind : int { Home = 0, AppData = 1, ProgramData = 2, ProgramDataRoot = 3 };

    static ApplicationFolders &instance();

    // The kind's directory, set up on first use. After a failed set-up it is the best location
    // known so far (possibly the uncreated path); `isReady` tells whether the set-up succeeded.
    QDir &folder(Kind kind);
    bool isReady(Kind kind) const;

    // The kind's folder with `name` (UTF-8, may contain "/") created and entered. Empty when the
    // folder or the kind's base folder cannot be made, or the kind has no location at all:
    // callers must never fall back to the working directory or the bare home or data location.
    std::optional<QDir> subFolder(Kind kind, const std::string &name);

    ApplicationFolders(const ApplicationFolders &) = delete;
    ApplicationFolders &operator=(const ApplicationFolders &) = delete;

private:
    ApplicationFolders() = default;
    void setUp(Kind kind);
    void setUpHome();
    void setUpAppData();
    void setUpProgramData();
    void setUpProgramDataRoot();

    std::array<QDir, 4> m_dirs;
    // Whether the kind's base folder was made. A kind whose location was never found still holds
    // the empty path, which QDir treats as the working directory, and a failed one its location
    // without the base folder: neither may be used while this is false.
    std::array<bool, 4> m_ready{};
};
