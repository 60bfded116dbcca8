#include "DebuggerOutput.h"

#include <cstdio>
#include <cstring>

namespace platform {

bool isDebuggerAttached()
{
    // Read with stdio, not QFile: this runs inside the message handler, and a Qt warning raised
    // here would come straight back to it.
    std::FILE *status = std::fopen("/proc/self/status", "r");
    if (!status)
        return false;
    char line[256];
    bool attached = false;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "TracerPid:", 10) == 0) {
            attached = std::strtol(line + 10, nullptr, 10) != 0;
            break;
        }
    }
    std::fclose(status);
    return attached;
}

void writeDebuggerOutput(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace platform
