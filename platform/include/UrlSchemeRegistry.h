#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// What the desktop opens a URL scheme's links with: the default handler of the MIME type
// x-scheme-handler/<scheme>.
struct UrlSchemeHandler
{
    QString desktopId; // the default named by a mimeapps.list; empty when none is installed
    QString entryPath; // the desktop entry found for it
    bool installed = false; // the entry exists and lists x-scheme-handler/<scheme> in MimeType
    bool hasOpenCommand = false;
    QString openCommand; // its Exec value, with the string escapes (\\, \s, ...) undone
};

// Reads the user's URL-scheme registrations the way the desktop's own tools find a default
// application, and never writes. The default comes from the mimeapps.list files in their standard
// order ($XDG_CONFIG_HOME, $XDG_CONFIG_DIRS, then the applications folders of $XDG_DATA_HOME and
// $XDG_DATA_DIRS, each with the desktop-specific lists of $XDG_CURRENT_DESKTOP first); the first
// listed entry that exists in an applications folder is the handler. URL schemes are
// case-insensitive, so the scheme is looked up in lower case.
class UrlSchemeRegistry
{
public:
    static UrlSchemeHandler defaultHandler(const QString &scheme);

    // The mimeapps.list files to consult, most important first.
    static QStringList mimeAppsLists();

    // The path of a desktop-file id: the first applications folder that holds it, where an id
    // "vendor-app.desktop" may also live as vendor/app.desktop. Empty when it is not installed.
    static QString findDesktopEntry(const QString &desktopId);

    // `argument` as one double-quoted Exec argument, escaped the way a desktop entry must write
    // it (", `, $ and \ behind a backslash, % doubled). A command that starts with this runs that
    // program.
    static QString quotedExecArgument(const QString &argument);
};

} // namespace platform
