#pragma once

#include <QString>

// Start-up asks these before it starts the scheme helper: is the URL scheme registered with the
// desktop at all, and does its registration open this program? Both only read.

// True when the default handler of the scheme's links is an installed desktop entry that declares
// the scheme.
bool isUriSchemeInstalled(const QString &scheme);

// True when the scheme is installed and its open command starts with the given program, in native
// separators, as one double-quoted argument (exactly as the scheme helper writes it). Letter case
// counts: a registration for the same path in another case is some other program's.
bool isUriSchemeOurs(const QString &scheme, const QString &applicationFilePath);

// The scheme helper next to the running program; NIMBREL_SCHEME_HELPER names another one.
QString schemeHelperPath();
