#include "DesktopShell.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

namespace {

class SystemDesktopShell final : public DesktopShell
{
public:
    bool openFolder(const QString &path) override
    {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
};

} // namespace

DesktopShell::~DesktopShell() = default;

DesktopShell *DesktopShell::system()
{
    static SystemDesktopShell shell;
    return &shell;
}

} // namespace platform
