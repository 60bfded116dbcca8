#include <QtCore/qglobal.h>

// The library's resources register themselves through their own object files; this unit only
// gives the static library a body.
namespace nimbrel {
int appQmlResourcesAnchor = 0;
}
