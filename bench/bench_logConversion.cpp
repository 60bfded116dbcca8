// Conversion of a 200 MB log with 50 mixed signals to MAT 7.3: wall time per stage and peak RSS,
// against h5py writing the same arrays (same classes, gzip at the same level, same chunks) in the
// same run (bench/h5py_write_baseline.py reads them from our file first, untimed).
// Goal: at least 0.8x h5py's speed; peak RSS at most 3x the log's size.
#include "LogBenchFile.h"

#include "logfile/LogFile.h"
#include "logfile/MatExport.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <fstream>
#include <sys/resource.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString path = benchLogPath();
    const double megabytes = double(QFileInfo(path).size()) / 1e6;
    QTemporaryDir dir;
    const QString mat = dir.filePath(QStringLiteral("bench.mat"));

    static const char *const stageNames[]
        = { "set-up", "reading records", "building variables", "writing variables" };
    double stageSeconds[4] = {};
    int current = 0;
    QElapsedTimer stageTimer;
    QElapsedTimer total;
    total.start();
    stageTimer.start();
    {
        std::ifstream stream(path.toStdString(), std::ios::binary);
        const logfile::LogFile file(stream);
        logfile::exportToMat(mat.toStdString(), file, [&](ConversionStage stage, float) {
            if (int(stage) != current) {
                stageSeconds[current] += double(stageTimer.nsecsElapsed()) / 1e9;
                stageTimer.restart();
                current = int(stage);
            }
        });
        stageSeconds[current] += double(stageTimer.nsecsElapsed()) / 1e9;
    }
    const double seconds = double(total.nsecsElapsed()) / 1e9;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMb = double(usage.ru_maxrss) / 1024.0 * 1.048576;

    std::printf("log: %.1f MB; MAT file: %.1f MB\n", megabytes,
                double(QFileInfo(mat).size()) / 1e6);
    for (int s = 0; s < 4; ++s)
        std::printf("  %-20s %7.2f s\n", stageNames[s], stageSeconds[s]);
    std::printf("conversion: %.2f s, %.1f MB/s of log; peak RSS %.0f MB = %.2fx the log\n", seconds,
                megabytes / seconds, peakMb, peakMb / megabytes);
    std::fflush(stdout);

    QProcess h5py;
    h5py.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    h5py.start(QStringLiteral("/usr/bin/python3"),
               { QStringLiteral(NIMBREL_SOURCE_DIR "/bench/h5py_write_baseline.py"), mat,
                 dir.filePath(QStringLiteral("h5py.h5")) });
    if (!h5py.waitForFinished(-1) || h5py.exitCode() != 0) {
        std::fprintf(stderr, "h5py baseline failed\n");
        return 1;
    }
    const double h5pySeconds = h5py.readAllStandardOutput().trimmed().toDouble();
    const double writeSeconds = stageSeconds[3];
    std::printf("h5py writing the same arrays: %.2f s\n", h5pySeconds);
    std::printf("speed vs h5py: whole conversion %.2fx, writing stage alone %.2fx (goal >= 0.8x)\n",
                h5pySeconds / seconds, h5pySeconds / writeSeconds);
    return 0;
}
