#include "ProgramDataLocation.h"

#include <QStandardPaths>

namespace platform {

QString programDataRoot()
{
    const QString overridden = qEnvironmentVariable("NIMBREL_PROGRAMDATA_ROOT");
    if (!overridden.isEmpty())
        return overridden;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

} // namespace platform
