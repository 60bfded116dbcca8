#include "ProcessPriority.h"

namespace platform {

bool raiseProcessPriority(int &lastError)
{
    lastError = 0;
    return true;
}

} // namespace platform
