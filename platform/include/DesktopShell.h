#pragma once

#include <QString>

// Asking the desktop to open a folder or a web page (on Linux QDesktopServices, which runs
// xdg-open). An interface so that code which opens things for the user can be given one that
// records the request instead of starting a file browser.
namespace platform {

class DesktopShell
{
public:
    virtual ~DesktopShell();
    // True when the desktop accepted the request.
    virtual bool openFolder(const QString &path) = 0;

    // The desktop's shell; lives as long as the process. GUI thread.
    static DesktopShell *system();
};

} // namespace platform
