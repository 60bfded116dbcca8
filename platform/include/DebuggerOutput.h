#pragma once

#include <QByteArray>

// Stands in for the debugger output channel: a debugger on Linux is a tracer of the process, and
// what the program would hand to the debugger goes to standard error where the tracer sees it.
namespace platform {

// True while another process traces this one (TracerPid in /proc/self/status is not 0).
bool isDebuggerAttached();

// Writes one line to the debugger's output channel.
void writeDebuggerOutput(const QByteArray &line);

} // namespace platform
