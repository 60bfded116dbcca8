#pragma once

#include <QString>

// Registration of a URL scheme with the user's desktop: a desktop entry in
// $XDG_DATA_HOME/applications that opens the scheme's links with the application, made the
// default handler of the scheme's MIME type (x-scheme-handler/<scheme>) in
// $XDG_CONFIG_HOME/mimeapps.list. Everything is per user, so no elevated rights are needed.
//
// URL schemes are case-insensitive, so the MIME type and the entry's file name use the scheme in
// lower case: "Nimbrel" and "nimbrel" name the same registration.

// ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ): anything else could not name a scheme, and an empty
// value must never be turned into a file name or a MIME type.
bool isValidUrlScheme(const QString &scheme);

// The desktop-file id of a scheme's entry, such as "nimbrel-scheme-nimbrel.desktop".
QString schemeDesktopFileId(const QString &scheme);

// Writes (or updates) the entry and makes it the default handler. Entries and lines that are not
// ours stay as they are. Returns false, after logging why, when a file could not be written.
bool installUriScheme(const QString &scheme, const QString &application);

// Removes our entry and our id from the scheme's associations in mimeapps.list, whatever program
// the entry names. Removing a scheme that is not registered succeeds and changes nothing.
bool removeUriScheme(const QString &scheme);
