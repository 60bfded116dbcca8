#pragma once

#include <QString>

namespace platform {

// The machine-wide program-data root. Linux has no shared, user-writable equivalent of that
// location, so the program keeps this data per user under $XDG_DATA_HOME; the environment variable
// NIMBREL_PROGRAMDATA_ROOT overrides it. Empty when neither is available.
QString programDataRoot();

} // namespace platform
