#pragma once

// Stands in for raising the process to the real-time priority class, which the USB writer asks for
// so that its 5 ms chunks are not starved. Linux has no priority class of a whole process, and
// real-time scheduling needs a privilege a desktop program does not have; the USB writer runs well
// at normal priority, so this layer does nothing and reports success.
namespace platform {

// True when the priority was raised (always on Linux); otherwise `lastError` holds the system's
// error code.
bool raiseProcessPriority(int &lastError);

} // namespace platform
