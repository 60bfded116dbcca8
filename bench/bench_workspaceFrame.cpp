// The frame of the real Workspace page (qrc:/Modules/Monitoring/GUI/WidgetWorkspace.qml) with live
// plots, under Xvfb with Mesa:
//   the simulated Pelto (tools/pelto-sim) streams its sine vector "vec" (4 elements, 500 Hz) over
//   the Wi-Fi link on loopback; once the page has started monitoring and made its four plot
//   panels, every slot of every panel is given one element of "vec" (16 live series), as a drop
//   onto the slot does. The page's own frame clock then updates the plots on every frame.
// Measured over the same number of frames, in the same run:
//   baseline: the page monitoring with no signal plotted;
//   live: the 16 series plotted and streaming.
// Printed per configuration: the frame interval (frameSwapped to frameSwapped, mean and 95th
// percentile), and per frame the GUI thread's time from the end of the animation step (where the
// page's frame clock calls the four qSGUpdate()) to the start of the scene-graph sync, together
// with the sync and render times.
// Run under a virtual display:
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/<preset>/bench/bench_workspaceFrame [frames]
#include "ExternalMonitor.h"
#include "Pelto.h"
#include "PeltoSimProcess.h"
#include "SimulinkSignal.h"
#include "SimulinkVariable.h"
#include "WifiPeltoHost.h"
#include "plotContainer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

Q_IMPORT_QML_PLUGIN(orvane_BrandingPlugin)

using namespace nimbrel::test;

namespace {

// What the page needs of the device factory: the selected device and its change signal.
class DeviceSelection : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QObject *selectedDevice READ selectedDevice NOTIFY SelectedDeviceChanged)

public:
    QObject *selectedDevice() const { return m_device; }
    void select(QObject *device)
    {
        m_device = device;
        emit SelectedDeviceChanged(device);
    }

signals:
    void SelectedDeviceChanged(QObject *device);

private:
    QPointer<QObject> m_device;
};

// The page at the size of a 1920 x 1080 window's page area, with the main window's units.
const char *const WindowQml = R"(
import QtQuick
import "qrc:/Modules/Monitoring/GUI"

Window {
    width: 1920
    height: 1080 - 83
    visible: true
    readonly property int hRef: 1080
    readonly property real uScale: hRef / 1080.01
    WidgetWorkspace { objectName: "workspace"; anchors.fill: parent }
}
)";

struct Stats
{
    double mean = 0;
    double p95 = 0;
};

Stats stats(std::vector<double> ms)
{
    if (ms.empty())
        return {};
    double sum = 0;
    for (double m : ms)
        sum += m;
    std::sort(ms.begin(), ms.end());
    return { sum / double(ms.size()), ms[size_t(double(ms.size() - 1) * 0.95)] };
}

// Frame timings of one window, taken from its own signals (some on the render thread).
class FrameClock
{
public:
    explicit FrameClock(QQuickWindow *window)
    {
        m_clock.start();
        QObject::connect(window, &QQuickWindow::afterAnimating, window,
                         [this] { m_animated = m_clock.nsecsElapsed(); }, Qt::DirectConnection);
        QObject::connect(
            window, &QQuickWindow::beforeSynchronizing, window,
            [this] {
                m_syncStart = m_clock.nsecsElapsed();
                if (m_animated > 0)
                    record(m_gui, double(m_syncStart - m_animated) / 1e6);
            },
            Qt::DirectConnection);
        QObject::connect(
            window, &QQuickWindow::afterSynchronizing, window,
            [this] { record(m_sync, double(m_clock.nsecsElapsed() - m_syncStart) / 1e6); },
            Qt::DirectConnection);
        QObject::connect(
            window, &QQuickWindow::beforeRendering, window,
            [this] { m_renderStart = m_clock.nsecsElapsed(); }, Qt::DirectConnection);
        QObject::connect(
            window, &QQuickWindow::afterRendering, window,
            [this] { record(m_render, double(m_clock.nsecsElapsed() - m_renderStart) / 1e6); },
            Qt::DirectConnection);
        QObject::connect(
            window, &QQuickWindow::frameSwapped, window,
            [this] {
                const qint64 now = m_clock.nsecsElapsed();
                if (m_swapped > 0)
                    record(m_interval, double(now - m_swapped) / 1e6);
                m_swapped = now;
                ++m_frames;
            },
            Qt::DirectConnection);
    }

    void reset()
    {
        std::lock_guard lock(m_mutex);
        m_gui.clear();
        m_sync.clear();
        m_render.clear();
        m_interval.clear();
        m_swapped = 0;
        m_animated = 0;
        m_frames = 0;
    }
    int frames() const { return m_frames; }
    void print(const char *name)
    {
        std::lock_guard lock(m_mutex);
        const Stats i = stats(m_interval);
        const Stats g = stats(m_gui);
        const Stats s = stats(m_sync);
        const Stats r = stats(m_render);
        std::printf("  %-9s frame interval %6.2f ms mean, %6.2f ms p95 (%5.1f frames/s); "
                    "GUI thread after animating %5.2f ms mean, %5.2f ms p95; sync %5.2f ms; "
                    "render %5.2f ms mean\n",
                    name, i.mean, i.p95, i.mean > 0 ? 1000 / i.mean : 0, g.mean, g.p95, s.mean,
                    r.mean);
    }

private:
    void record(std::vector<double> &into, double ms)
    {
        std::lock_guard lock(m_mutex);
        into.push_back(ms);
    }

    QElapsedTimer m_clock;
    std::mutex m_mutex;
    std::vector<double> m_gui, m_sync, m_render, m_interval;
    std::atomic<qint64> m_animated = 0;
    std::atomic<qint64> m_syncStart = 0;
    std::atomic<qint64> m_renderStart = 0;
    std::atomic<qint64> m_swapped = 0;
    std::atomic<int> m_frames = 0;
};

bool waitFrames(FrameClock &clock, int frames)
{
    return waitFor([&] { return clock.frames() >= frames; }, 120000);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("NIMBREL_SOURCE_DIR"))
        qputenv("NIMBREL_SOURCE_DIR", NIMBREL_SOURCE_DIR);
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.info=false;*.warning=false");
    if (qEnvironmentVariableIsEmpty("QT_QUICK_CONTROLS_STYLE"))
        qputenv("QT_QUICK_CONTROLS_STYLE", "Material");
    QApplication app(argc, argv); // the charts need a QApplication
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Nimbrel Lab Bench"));
    const int frames = argc > 1 ? std::max(30, std::atoi(argv[1])) : 600;

    ExternalMonitor::install();
    PeltoSimProcess sim;
    if (!sim.start({ QStringLiteral("--monitor-model"),
                     sourceDir() + QStringLiteral("/tools/pelto-sim/models/monitored_model.json") })) {
        std::fprintf(stderr, "the simulated Pelto did not start\n");
        return 1;
    }
    WifiPeltoHost host(sim);
    DeviceSelection selection;
    if (!waitFor([&] { return host.connected(); }, 30000)) {
        std::fprintf(stderr, "no connection to the simulated Pelto\n");
        return 1;
    }

    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    engine.rootContext()->setContextProperty(QStringLiteral("orvFactory"), &selection);
    QQmlComponent component(&engine);
    component.setData(WindowQml, QUrl(QStringLiteral("qrc:/bench/workspaceFrame.qml")));
    std::unique_ptr<QObject> root(component.create());
    auto *window = qobject_cast<QQuickWindow *>(root.get());
    if (!window) {
        std::fprintf(stderr, "page: %s\n", qPrintable(component.errorString()));
        return 1;
    }
    selection.select(host.pelto.get());

    ExternalMonitor *monitor = nullptr;
    const bool ready = waitFor(
        [&] {
            monitor = qobject_cast<ExternalMonitor *>(host.pelto->externalMonitor());
            if (!monitor || !monitor->isInitialized() || monitor->plotContainers().size() != 4)
                return false;
            // Each panel binds its container's bucket count to its chart's width once made.
            for (plotContainer *c : monitor->plotContainers())
                if (c->getNumberOfBuckets() <= 1)
                    return false;
            return true;
        },
        60000);
    if (!ready) {
        std::fprintf(stderr, "the page did not start monitoring\n");
        return 1;
    }
    QString vecPath;
    for (SimulinkDataTypes::SimulinkVariable *v : monitor->simulinkVariables())
        if (v->getName() == QLatin1String("vec"))
            vecPath = v->getPath();
    SimulinkDataTypes::SimulinkSignal *vec = monitor->signalFromPath(vecPath);
    if (!vec) {
        std::fprintf(stderr, "no signal \"vec\" in the model\n");
        return 1;
    }

    FrameClock clock(window);
    // Baseline: the page monitoring, nothing plotted.
    waitFrames(clock, 30);
    clock.reset();
    if (!waitFrames(clock, frames)) {
        std::fprintf(stderr, "the window stopped drawing\n");
        return 1;
    }
    std::printf("workspace frame: real page %dx%d, %s, %s scene graph, %d frames each\n",
                window->width(), window->height(), qPrintable(QGuiApplication::platformName()),
                window->rendererInterface()->graphicsApi() == QSGRendererInterface::Software
                    ? "software"
                    : "OpenGL",
                frames);
    clock.print("baseline");

    // Every slot of every panel: one element of "vec".
    const QList<plotContainer *> containers = monitor->plotContainers();
    for (int p = 0; p < containers.size(); ++p)
        for (int s = 0; s < 4; ++s)
            containers[p]->addSignal(vec, QPoint(s, 0), s);
    const bool streaming = waitFor(
        [&] {
            for (plotContainer *c : containers)
                for (int s = 0; s < 4; ++s)
                    if (!c->slotBuffer(s) || c->slotBuffer(s)->window(1).points.empty())
                        return false;
            return true;
        },
        30000);
    if (!streaming) {
        std::fprintf(stderr, "the plotted elements do not stream\n");
        return 1;
    }
    waitFrames(clock, 30);
    clock.reset();
    if (!waitFrames(clock, frames)) {
        std::fprintf(stderr, "the window stopped drawing\n");
        return 1;
    }
    clock.print("16 live");
    size_t points = 0;
    for (plotContainer *c : containers)
        for (int s = 0; s < 4; ++s)
            points += c->slotBuffer(s)->window(1).points.size();
    std::printf("  %.0f points per series (mean) in the shown window\n", double(points) / 16);

    selection.select(nullptr);
    root.reset();
    return 0;
}

#include "bench_workspaceFrame.moc"
