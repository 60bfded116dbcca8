#pragma once

#include <QString>

// The program entry's work: scheme registration, single instance, log, back end, event loop and
// an orderly shutdown. Returns the exit status.
int runNimbrelLab(int argc, char *argv[]);

// Starts the scheme helper detached, without waiting for it; false when it could not be started.
bool registerUrlSchemeHandler(const QString &scheme, const QString &applicationFilePath);
