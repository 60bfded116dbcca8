#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

// The benchmarks' log: 200 MB, 50 signals of mixed types and shapes, written once by the fixture
// generator into NIMBREL_BENCH_DIR (else the cache folder) and reused by later runs.
inline QString benchLogPath()
{
    QString dir = qEnvironmentVariable("NIMBREL_BENCH_DIR");
    if (dir.isEmpty())
        dir = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
                  .filePath(QStringLiteral("nimbrel-bench"));
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(QStringLiteral("bench-200MB-50.zlf"));
    if (QFileInfo::exists(path))
        return path;
    const QString generator = QStringLiteral(NIMBREL_SOURCE_DIR "/tests/fixtures/zlf_generator.py");
    std::printf("generating %s ...\n", qPrintable(path));
    std::fflush(stdout);
    const int status = QProcess::execute(QStringLiteral("/usr/bin/python3"),
                                         { generator, QStringLiteral("--bench"), path,
                                           QStringLiteral("200"), QStringLiteral("50") });
    if (status != 0) {
        std::fprintf(stderr, "the log generator failed (%d)\n", status);
        std::exit(1);
    }
    return path;
}
