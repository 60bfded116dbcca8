#include "SemanticVersion.h"

#include <QRegularExpression>

namespace {

const QRegularExpression &versionPattern()
{
    // Compiled once, thread-safely, and only read afterwards. No options: unanchored, and \d
    // matches ASCII digits only.
    static const QRegularExpression pattern(
        QStringLiteral(R"((?<major>\d+)\.(?<minor>\d+)(\.(?<patch>\d+))?([+-].*)?)"));
    return pattern;
}

int capturedNumber(const QRegularExpressionMatch &match, const QString &name)
{
    // Did not capture, or does not fit into 32 bits: 0 either way.
    return match.captured(name).toInt(nullptr, 10);
}

} // namespace

SemanticVersion::SemanticVersion(int major, int minor, int patch)
    : major(major)
    , minor(minor)
    , patch(patch)
{ }

SemanticVersion::SemanticVersion(const QString &text)
{
    const QRegularExpressionMatch match = versionPattern().match(text);
    if (!match.hasMatch())
        return;
    major = capturedNumber(match, QStringLiteral("major"));
    minor = capturedNumber(match, QStringLiteral("minor"));
    patch = capturedNumber(match, QStringLiteral("patch"));
}

QString SemanticVersion::toString() const
{
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(patch);
}
