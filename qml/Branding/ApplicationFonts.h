#pragma once

#include <QString>
#include <QStringList>

// The brand fonts, registered with the font database when orvane.Branding is first imported.

// The resource paths, in the order they are registered.
QStringList applicationFontPaths();
// Registers one font file; a file the font database refuses gives one warning naming its path.
void loadApplicationFont(const QString &path);
void loadApplicationFonts();
