#include "BuildInfo.h"

#include "BuildStamp.h"

BuildInfo::BuildInfo(QObject *parent)
    : QObject(parent)
{ }

BuildInfo *BuildInfo::create(QQmlEngine *, QJSEngine *)
{
    return new BuildInfo;
}

QDateTime BuildInfo::buildDateTime() const
{
    return parseBuildStamp(QString::fromLatin1(buildStampText()));
}

QDateTime BuildInfo::parseBuildStamp(const QString &text)
{
    // fromString reads month names in English whatever the locale.
    return QDateTime::fromString(text.simplified(), QStringLiteral("MMM d yyyy hh:mm:ss"));
}
