#pragma once

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// The logs of tests/fixtures/zlf_generator.py, generated into the test's own folder, with what
// the generator put into each.
namespace logtest {

inline QString generate()
{
    const QString dir = QDir(nimbrel::test::testRoot()).filePath(QStringLiteral("logs"));
    const auto result = nimbrel::test::runProcess(
        nimbrel::test::python(),
        { nimbrel::test::fixturePath(QStringLiteral("zlf_generator.py")), dir });
    if (!result.finished || result.exitCode != 0)
        qFatal("log generator failed: %s", result.err.constData());
    return dir;
}

inline QStringList caseNames(const QString &dir)
{
    QFile file(QDir(dir).filePath(QStringLiteral("cases.txt")));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no cases.txt in %s", qPrintable(dir));
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

inline QJsonObject expected(const QString &dir, const QString &name)
{
    QFile file(QDir(dir).filePath(name + QStringLiteral(".json")));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no expectation for %s", qPrintable(name));
    return QJsonDocument::fromJson(file.readAll()).object();
}

// "open", "walk", "convert" or empty for a log that converts.
inline QString errorWhen(const QJsonObject &expected)
{
    return expected.value(QStringLiteral("error"))
        .toObject()
        .value(QStringLiteral("when"))
        .toString();
}

inline QString errorMessage(const QJsonObject &expected)
{
    return expected.value(QStringLiteral("error"))
        .toObject()
        .value(QStringLiteral("message"))
        .toString();
}

} // namespace logtest
