#include "VersionResource.h"

namespace platform {

const VersionResource *versionResource()
{
    return nullptr;
}

} // namespace platform
