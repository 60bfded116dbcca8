// Model download and build of a large model (2700 signals, 2000 block parameters) served by the
// simulated Pelto's monitored model: wall time from the first request to the built tree, and the
// process's peak resident memory before and after.
#include "Interface.h"
#include "SimModelPeer.h"
#include "SimulinkVariable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

namespace {

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("NIMBREL_SOURCE_DIR"))
        qputenv("NIMBREL_SOURCE_DIR", NIMBREL_SOURCE_DIR);
    QCoreApplication app(argc, argv);
    const int signalCount = argc > 1 ? std::atoi(argv[1]) : 2700;
    const int parameterCount = argc > 2 ? std::atoi(argv[2]) : 2000;
    QTemporaryDir dir;
    const QString model = dir.filePath(QStringLiteral("big.json"));
    QProcess maker;
    maker.start(nimbrel::test::python(),
                { nimbrel::test::sourceDir() + QStringLiteral("/bench/big_monitored_model.py"),
                  model, QString::number(signalCount), QString::number(parameterCount) });
    if (!maker.waitForFinished(60000) || maker.exitCode() != 0) {
        std::fprintf(stderr, "could not write the model\n");
        return 1;
    }
    const long rssBefore = peakRssKb();
    monitoring::Interface iface(nullptr, nullptr);
    SimModelPeer peer(&iface, model);
    if (!peer.started) {
        std::fprintf(stderr, "model peer did not start\n");
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    iface.startModelDownload();
    const int requests = peer.pump();
    const qint64 ns = clock.nsecsElapsed();
    if (iface.state() != 15) {
        std::fprintf(stderr, "download ended in state %d\n", iface.state());
        return 1;
    }
    std::printf("model download: %d signals, %d parameters, %d requests, %zu variables: %.1f ms "
                "(the simulator's Python side included), peak RSS %ld kB -> %ld kB\n",
                signalCount, parameterCount, requests, size_t(iface.simulinkVariables().size()),
                double(ns) / 1e6, rssBefore, peakRssKb());
    return 0;
}
