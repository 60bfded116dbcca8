#include "VersionInfo.h"

#include "VersionResource.h"

namespace {

VersionInfo readVersionResource()
{
    VersionInfo info;
    if (const platform::VersionResource *resource = platform::versionResource()) {
        info.fileVersion = resource->fileVersion ? resource->fileVersion : "";
        info.major = resource->productVersion[0];
        info.minor = resource->productVersion[1];
        info.patch = resource->productVersion[2];
    }
    return info;
}

} // namespace

const VersionInfo &versionInfo()
{
    static const VersionInfo info = readVersionResource();
    return info;
}
