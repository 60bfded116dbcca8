#pragma once

#include <cstdint>

// Stands in for the version resource that a program carries in its executable. The build embeds
// one of two small libraries: the project's version, or none at all (so that a program without a
// version can be built and tested).
namespace platform {

struct VersionResource
{
    const char *fileVersion;     // "1.10.0"
    uint16_t productVersion[4];  // 1, 10, 0, 0
};

// The embedded resource, or null when the build carries none.
const VersionResource *versionResource();

} // namespace platform
