#include "ApplicationFonts.h"

#include <QDebug>
#include <QFontDatabase>

QStringList applicationFontPaths()
{
    QStringList names{ QStringLiteral("MaterialSymbolsRounded.ttf"),
                       QStringLiteral("PlayfairDisplay-Italic-VariableFont_wght.ttf"),
                       QStringLiteral("PlayfairDisplay-VariableFont_wght.ttf") };
    static const char *const poppins[]
        = { "Black",        "BlackItalic",     "Bold",        "BoldItalic",
            "ExtraBold",    "ExtraBoldItalic", "ExtraLight",  "ExtraLightItalic",
            "Italic",       "Light",           "LightItalic", "Medium",
            "MediumItalic", "Regular",         "SemiBold",    "SemiBoldItalic",
            "Thin",         "ThinItalic" };
    static const char *const raleway[]
        = { "ExtraBoldItalic", "ExtraLight",  "ExtraLightItalic", "Italic",
            "Light",           "LightItalic", "Medium",           "MediumItalic",
            "Regular",         "SemiBold",    "SemiBoldItalic",   "Thin",
            "ThinItalic",      "Black",       "BlackItalic",      "Bold",
            "BoldItalic",      "ExtraBold" };
    for (const char *style : poppins)
        names << QStringLiteral("Poppins-%1.ttf").arg(QLatin1String(style));
    for (const char *style : raleway)
        names << QStringLiteral("Raleway-%1.ttf").arg(QLatin1String(style));

    QStringList paths;
    for (const QString &name : std::as_const(names))
        paths << QStringLiteral(":/fonts/") + name;
    return paths;
}

void loadApplicationFont(const QString &path)
{
    if (QFontDatabase::addApplicationFont(path) == -1)
        qWarning() << "Failed to load font" << path;
}

void loadApplicationFonts()
{
    const QStringList paths = applicationFontPaths();
    for (const QString &path : paths)
        loadApplicationFont(path);
}
