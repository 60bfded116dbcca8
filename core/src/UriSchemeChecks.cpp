#include "UriSchemeChecks.h"

#include "UrlSchemeRegistry.h"

#include <QCoreApplication>
#include <QDir>

bool isUriSchemeInstalled(const QString &scheme)
{
    return platform::UrlSchemeRegistry::defaultHandler(scheme).installed;
}

bool isUriSchemeOurs(const QString &scheme, const QString &applicationFilePath)
{
    const platform::UrlSchemeHandler handler = platform::UrlSchemeRegistry::defaultHandler(scheme);
    if (!handler.installed || !handler.hasOpenCommand)
        return false;
    const QString program = platform::UrlSchemeRegistry::quotedExecArgument(
        QDir::toNativeSeparators(applicationFilePath));
    return handler.openCommand.startsWith(program, Qt::CaseSensitive);
}

QString schemeHelperPath()
{
    const QString overridden = qEnvironmentVariable("NIMBREL_SCHEME_HELPER");
    if (!overridden.isEmpty())
        return overridden;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Dravix");
}
