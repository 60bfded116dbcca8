#pragma once

#include <cstdint>

// The program's own version, read once from the version resource the build embeds.
struct VersionInfo
{
    const char *fileVersion = ""; // valid for the whole run
    int32_t major = 0;
    int32_t minor = 0;
    int32_t patch = 0;
};

// Reads the resource on the first call; a build without one gives "" and 0.0.0, for good.
const VersionInfo &versionInfo();
