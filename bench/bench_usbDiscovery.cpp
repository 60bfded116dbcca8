#include "OrvFactory.h"
#include "PeltoSimProcess.h"
#include "UsbTestbed.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

// The device factory's USB discovery on the simulated USB bus of the test suite (umockdev, one
// pelto-sim per device), at the product's timings (a pass every second):
//  - idle CPU of the whole process over a fixed wall time with 0, 1 and 2 Peltos attached and
//    active, against a baseline measured in the same run: the same process and testbed with the
//    factory's USB half switched off;
//  - the time from plugging a Pelto in to DeviceListChanged.
// The figures include the testbed's own threads (umockdev's ioctl worker and the socket pump),
// which run in this process; the simulators are other processes and are not counted.
//
// Built when the tests are configured as well (it needs NimbrelUsbTestbed):
//   cmake -S . -B build/bench-usb -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBREL_BUILD_TESTS=ON
//         -DNIMBREL_BUILD_BENCH=ON
//   cmake --build build/bench-usb --target bench_usbDiscovery
//   build/bench-usb/bench/bench_usbDiscovery [seconds per row]
// It restarts itself under umockdev-wrapper when needed.

using namespace nimbrel::test;

namespace {

double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

void runFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        runFor(5);
    }
    return true;
}

struct Bus
{
    QTemporaryDir folder{ QDir::tempPath() + QStringLiteral("/bench-usb-XXXXXX") };
    std::unique_ptr<UsbTestbed> testbed = std::make_unique<UsbTestbed>();
    std::vector<std::unique_ptr<PeltoSimProcess>> sims;
    std::vector<int> ids;

    // Starts the simulator behind a device; empty when it did not start.
    QString prepare(const QString &serial)
    {
        const QString socket = folder.filePath(serial + QStringLiteral(".sock"));
        auto sim = std::make_unique<PeltoSimProcess>();
        if (!sim->start(
                { QStringLiteral("--usb-socket"), socket, QStringLiteral("--serial"), serial }))
            return {};
        sims.push_back(std::move(sim));
        return socket;
    }
    int attach(const QString &socket)
    {
        return socket.isEmpty() ? -1 : testbed->addDevice(UsbDeviceSpec::pelto(512), socket);
    }
    int plug(const QString &serial) { return attach(prepare(serial)); }
};

OrvFactorySettings settings(bool usb)
{
    OrvFactorySettings s;
    s.useUsb = usb;
    s.usbFirstPassDelayMs = 100; // the first pass at once; later passes at the product's second
    return s;
}

int connectedCount(const OrvFactory &factory)
{
    const QList<Pelto *> list = factory.deviceList();
    return int(std::count_if(list.begin(), list.end(),
                             [](const Pelto *p) { return p->getIsConnected(); }));
}

// Process CPU per wall second (ms/s) with `devices` Peltos attached and active.
bool idleRow(const char *label, bool usb, int devices, int seconds, double &msPerSecond,
             long &passes)
{
    Bus bus;
    if (!bus.testbed->isValid())
        return false;
    for (int i = 0; i < devices; ++i) {
        if (bus.plug(QStringLiteral("BENCH-%1").arg(i)) < 0)
            return false;
    }
    OrvFactory factory(nullptr, settings(usb));
    if (!runUntil([&] { return connectedCount(factory) == (usb ? devices : 0); }, 15000)) {
        std::fprintf(stderr, "%s: devices did not connect\n", label);
        return false;
    }
    runFor(1500); // past the connect sequence
    const long passesBefore = factory.usbDiscoveryPasses();
    const double before = cpuMs();
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    msPerSecond = (cpuMs() - before) * 1000.0 / double(wall.elapsed());
    passes = factory.usbDiscoveryPasses() - passesBefore;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (!UsbTestbed::underUmockdev()) {
        std::vector<char *> arguments{ const_cast<char *>("umockdev-wrapper") };
        for (int i = 0; i < argc; ++i)
            arguments.push_back(argv[i]);
        arguments.push_back(nullptr);
        execvp("umockdev-wrapper", arguments.data());
        std::perror("umockdev-wrapper");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("NIMBREL_SOURCE_DIR"))
        qputenv("NIMBREL_SOURCE_DIR", NIMBREL_SOURCE_DIR);
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.info=false;*.warning=false");
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    std::printf("== idle CPU, %d s per row (process CPU ms per wall second)\n", seconds);
    double baseline = 0;
    long passes = 0;
    if (!idleRow("baseline", false, 0, seconds, baseline, passes))
        return 1;
    std::printf("%-34s %8.2f ms/s\n", "baseline: no USB half, 0 devices", baseline);
    for (int devices : { 0, 1, 2 }) {
        double used = 0;
        const QByteArray label = QByteArray::number(devices) + " devices";
        if (!idleRow(label.constData(), true, devices, seconds, used, passes))
            return 1;
        std::printf("USB discovery, %d device(s)          %8.2f ms/s  (%ld passes, %+.2f ms/s "
                    "over baseline)\n",
                    devices, used, passes, used - baseline);
    }

    std::printf("== hot add to DeviceListChanged (passes every 1000 ms)\n");
    Bus bus;
    OrvFactory factory(nullptr, settings(true));
    runFor(500);
    std::vector<qint64> latencies;
    for (int round = 0; round < 8; ++round) {
        // Plug in at different phases of the pass.
        runFor(137 * (round + 1) % 1000);
        int listed = 0;
        const QMetaObject::Connection connection
            = QObject::connect(&factory, &OrvFactory::DeviceListChanged, [&listed] { ++listed; });
        const QString socket = bus.prepare(QStringLiteral("HOT-%1").arg(round));
        QElapsedTimer clock;
        clock.start();
        const int id = bus.attach(socket);
        if (id < 0 || !runUntil([&] { return listed > 0; }, 10000))
            return 1;
        latencies.push_back(clock.elapsed());
        QObject::disconnect(connection);
        bus.testbed->removeDevice(id);
        if (!runUntil(
                [&] { return factory.deviceList().isEmpty() && factory.usbDeviceCount() == 0; },
                10000))
            return 1;
        bus.sims.clear();
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("%zu plugs: min %lld ms, median %lld ms, max %lld ms\n", latencies.size(),
                static_cast<long long>(latencies.front()),
                static_cast<long long>(latencies[latencies.size() / 2]),
                static_cast<long long>(latencies.back()));
    return 0;
}
