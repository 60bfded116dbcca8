// Local-map distance field: build time and peak memory for 1024^2 and 4096^2 images, and the
// cost of 10^5 queries of each kind. Each size runs in a child process of its own, so its peak
// resident size (VmHWM) is its own. The baseline is scipy's chessboard distance transform of
// the same kind of mask, timed in Debian's python3 in the same run.
#include "LocalMap.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double kDensity = 1e-4; // sparse: long distances, the breadth-first pass's worst case
constexpr int kQueries = 100000;

long peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

void runSize(int side)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QRandomGenerator random(42);
    const int mapped = qMax(1, int(double(side) * side * kDensity));
    for (int i = 0; i < mapped; ++i)
        image.setPixel(random.bounded(side), random.bounded(side), qRgba(0, 0, 0, 255));
    const long beforeKiB = peakKiB();

    LocalMap map;
    map.setDimensions(QSizeF(side * 0.05, side * 0.05));
    QElapsedTimer timer;
    timer.start();
    map.setMap(image);
    const double buildMs = timer.nsecsElapsed() / 1e6;
    const long afterKiB = peakKiB();

    std::vector<Coordinate> points;
    points.reserve(kQueries);
    for (int i = 0; i < kQueries; ++i)
        points.emplace_back(random.generateDouble() * side * 0.05,
                            random.generateDouble() * side * 0.05, 0);
    double sink = 0;
    timer.restart();
    for (const Coordinate &p : points)
        sink += map.getDistanceToMap(p);
    const double distanceMs = timer.nsecsElapsed() / 1e6;
    timer.restart();
    for (const Coordinate &p : points)
        sink += map.getClosestPointOnMap(p).x;
    const double closestMs = timer.nsecsElapsed() / 1e6;
    timer.restart();
    for (const Coordinate &p : points)
        sink += map.isInsideMap(p) ? 1 : 0;
    const double insideMs = timer.nsecsElapsed() / 1e6;

    std::printf("%5d^2: build %8.1f ms  peak RSS %6ld MiB (image alone %4ld MiB)  10^5 queries: "
                "distance %6.1f ms, closest %6.1f ms, inside %5.1f ms  (%g)\n",
                side, buildMs, afterKiB / 1024, beforeKiB / 1024, distanceMs, closestMs, insideMs,
                sink > 0 ? 1.0 : 0.0);
    std::fflush(stdout);
}

void scipyBaseline(int side)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 { QStringLiteral("-c"), QStringLiteral(R"(
import sys, time, numpy as np
from scipy.ndimage import distance_transform_cdt
side, density = int(sys.argv[1]), float(sys.argv[2])
rng = np.random.default_rng(42)
unmapped = np.ones((side, side), dtype=bool)
n = max(1, int(side * side * density))
unmapped[rng.integers(0, side, n), rng.integers(0, side, n)] = False
t = time.perf_counter()
distance_transform_cdt(unmapped, metric='chessboard')
print('%5d^2: scipy distance_transform_cdt(chessboard) %8.1f ms' % (side, (time.perf_counter() - t) * 1000))
)"),
                   QString::number(side), QString::number(kDensity) });
    if (!python.waitForFinished(600000) || python.exitCode() != 0) {
        std::printf("%5d^2: scipy baseline unavailable\n", side);
        return;
    }
    std::printf("%s", python.readAllStandardOutput().constData());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    for (int side : { 1024, 4096 }) {
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            runSize(side);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        scipyBaseline(side);
    }
    return 0;
}
