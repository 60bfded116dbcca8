// The frame of the monitoring page's four live plots, offscreen:
//   four plot containers, each with its four slots plotted (one signal element each, 1 kHz),
//   handed to a QML chart of four line series the way the plot panel does (setGuiPointers,
//   setSeries, setVisible) with ~4000 points per series in the shown 10 s window.
//   Per frame: 1/60 s of new samples into every buffer, then qSGUpdate() of each container (the
//   series replaced, the axes ranged; QtCharts lays the points out inside that call), then the
//   window rendered offscreen.
// Prints the update and render times per frame (mean and 95th percentile) against the goal of
// 4 ms for the update. Baseline in the same run: a frame with the series left as they are.
// Two configurations, each in a child process: the software scene graph, where QtCharts lays out
// and strokes each series with its painter, and, when xvfb-run is there, the scene graph on
// OpenGL (Mesa), where the panel has the series drawn by OpenGL.
// Run: build/release/bench/bench_plotFrame [frames]; --here [frames] runs one configuration in
// this process with the environment as it is.
#include "ActiveScalar.h"
#include "DataTypeFactory.h"
#include "NodeOwner.h"
#include "SimulinkSignal.h"
#include "StreamableNode.h"
#include "plotContainer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QStandardPaths>
#include <QXYSeries>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

using namespace monitoring;

namespace {

constexpr int Plots = 4;
constexpr int Slots = plotContainer::SlotCount;
constexpr int Rate = 1000; // samples per second and element
constexpr int Buckets = 1680; // the chart width in pixels, as the panel binds it
constexpr double StartSeconds = 10.5; // the first 10 s span complete

struct Owner : NodeOwner
{
    void sendParameter(const protocol::param_set_t &) override { }
    void requestRawData(protocol::rawdata_type_t) override { }
    void sendSignalSet(const protocol::signal_set_t &) override { }
    void addStreamingActivation(uint16_t, uint16_t, StreamableNode *) override { }
    void eraseStreamingActivation(uint16_t, uint16_t) override { }
    SampleStream *sampleStream() override { return nullptr; }
};

// The plot panel's chart, reduced to what a frame costs: chart view, axes, four line series.
const char *const PageQml = R"(
import QtQuick
import QtCharts

Window {
    id: page
    width: 1920; height: 1080
    // Each change of an axis range lays every series of its chart out again.
    property int rangeChanges: 0
    property bool openGL: false
    Column {
        Repeater {
            model: plots
            ChartView {
                id: chart
                width: 1920 - 240; height: 1080 / 4
                antialiasing: true
                legend.visible: false
                animationOptions: ChartView.NoAnimation
                backgroundColor: "transparent"
                // As the panel: the series are drawn by OpenGL when the scene graph runs on it.
                property bool openGL: GraphicsInfo.api === GraphicsInfo.OpenGL
                onOpenGLChanged: page.openGL = openGL
                ValueAxis {
                    id: yAxis; labelFormat: "%.4g"; minorTickCount: 1
                    onRangeChanged: page.rangeChanges++
                }
                ValueAxis {
                    id: xAxis; labelFormat: "%g"; labelsAngle: -30; minorTickCount: 1
                    tickType: ValueAxis.TicksDynamic; tickInterval: 1; tickCount: 11
                    onRangeChanged: page.rangeChanges++
                }
                LineSeries { id: s1; axisX: xAxis; axisY: yAxis; useOpenGL: chart.openGL; color: "#3DB199"; width: 2 }
                LineSeries { id: s2; axisX: xAxis; axisY: yAxis; useOpenGL: chart.openGL; color: "#FBAF37"; width: 2 }
                LineSeries { id: s3; axisX: xAxis; axisY: yAxis; useOpenGL: chart.openGL; color: "#E31F40"; width: 2 }
                LineSeries { id: s4; axisX: xAxis; axisY: yAxis; useOpenGL: chart.openGL; color: "#4B469D"; width: 2 }
                Component.onCompleted: {
                    modelData.setGuiPointers(chart, yAxis, xAxis)
                    modelData.setSeries(s1, s2, s3, s4)
                    modelData.setVisible(true)
                }
            }
        }
    }
}
)";

struct Stats
{
    double mean;
    double p95;
};

Stats stats(std::vector<double> ms)
{
    double sum = 0;
    for (double m : ms)
        sum += m;
    std::sort(ms.begin(), ms.end());
    return { sum / double(ms.size()), ms[size_t(double(ms.size() - 1) * 0.95)] };
}

int runConfigurations(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString frames = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("240");
    auto run = [&](const QString &program, QStringList args, const QString &backend) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QT_QUICK_BACKEND", backend);
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(program, args);
        return child.waitForFinished(-1) && child.exitStatus() == QProcess::NormalExit
            && child.exitCode() == 0;
    };
    const QString self = QCoreApplication::applicationFilePath();
    bool ok = run(self, { "--here", frames }, "software");
    const QString xvfb = QStandardPaths::findExecutable("xvfb-run");
    if (xvfb.isEmpty())
        std::printf("OpenGL scene graph: skipped (no xvfb-run)\n");
    else
        ok = run(xvfb, { "-a", self, "--here", frames }, "rhi") && ok;
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--here") != 0)
        return runConfigurations(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv); // the chart needs a QApplication
    const int frames = argc > 2 ? std::max(10, std::atoi(argv[2])) : 240;

    ModelTables tables;
    protocol::datatype_t type{};
    type.dataSize = 8;
    tables.dataTypes = { type };
    tables.fixedPointInfo = { protocol::fxp_info_t{} };
    tables.strings[12] = { "double" };
    tables.strings[13] = { "double" };
    Owner owner;
    std::vector<std::unique_ptr<BasicStreamableNode>> nodes;
    std::vector<std::unique_ptr<SimulinkDataTypes::SimulinkSignal>> signalWrappers;
    QList<QObject *> containers;
    for (int p = 0; p < Plots; ++p) {
        nodes.push_back(std::make_unique<BasicStreamableNode>(
            3, 1, &owner, nullptr, uint16_t(p + 1), 0, makeDataType(tables, 0, 0),
            Dimensions({ Slots }, 1), Rate, "v", "0"));
        signalWrappers.push_back(
            std::make_unique<SimulinkDataTypes::SimulinkSignal>(nullptr, nodes.back().get()));
        auto *c = new plotContainer(&app);
        c->setNumberOfBuckets(Buckets);
        containers.append(c);
    }

    QQmlEngine engine;
    engine.rootContext()->setContextProperty("plots", QVariant::fromValue(containers));
    QQmlComponent component(&engine);
    component.setData(PageQml, QUrl::fromLocalFile(QStringLiteral("/bench/plotFrame.qml")));
    if (component.isError()) {
        std::fprintf(stderr, "page: %s\n", qPrintable(component.errorString()));
        return 1;
    }
    std::unique_ptr<QObject> root(component.create());
    auto *window = qobject_cast<QQuickWindow *>(root.get());
    if (!window) {
        std::fprintf(stderr, "page: %s\n", qPrintable(component.errorString()));
        return 1;
    }
    window->show();

    // Every slot plotted (the series are there now, as after the panel's completion) and
    // acknowledged by the device.
    for (int p = 0; p < Plots; ++p) {
        auto *c = static_cast<plotContainer *>(containers[p]);
        for (int s = 0; s < Slots; ++s) {
            c->addSignal(signalWrappers[size_t(p)].get(), QPoint(0, s), s);
            nodes[size_t(p)]->onStreamAcknowledged(uint16_t(s * 8));
            if (!c->slotBuffer(s)) {
                std::fprintf(stderr, "slot %d of plot %d not plotted\n", s, p);
                return 1;
            }
        }
    }
    uint64_t sampleIndex = 0;
    auto feed = [&](double untilSeconds) {
        for (; double(sampleIndex) / Rate < untilSeconds; ++sampleIndex) {
            const uint64_t ns = (sampleIndex + 1) * (1000000000ull / Rate);
            for (int p = 0; p < Plots; ++p) {
                for (int s = 0; s < Slots; ++s) {
                    const double v
                        = std::sin(double(sampleIndex) * 0.002 * (s + 1) + p) * (10.0 + p)
                        + 0.5 * std::sin(double(sampleIndex) * 1.7 * (s + 1));
                    nodes[size_t(p)]->onValue(uint16_t(s * 8), std::as_bytes(std::span(&v, 1)), ns);
                }
            }
        }
    };
    feed(StartSeconds);

    const int changesBefore = root->property("rangeChanges").toInt();
    QElapsedTimer timer;
    std::vector<double> updateMs, renderMs, baselineMs;
    size_t points = 0;
    size_t pointSamples = 0;
    for (int f = 0; f < frames; ++f) {
        feed(StartSeconds + double(f + 1) / 60);
        timer.start();
        for (QObject *c : containers)
            static_cast<plotContainer *>(c)->qSGUpdate();
        updateMs.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        // The chart redraws its scene from the event loop.
        QCoreApplication::processEvents();
        const QImage image = window->grabWindow();
        renderMs.push_back(timer.nsecsElapsed() / 1e6);
        if (image.isNull()) {
            std::fprintf(stderr, "nothing rendered\n");
            return 1;
        }
        for (QObject *c : containers) {
            for (int s = 0; s < Slots; ++s) {
                const auto *b = static_cast<plotContainer *>(c)->slotBuffer(s);
                points += b->window(1).points.size();
                ++pointSamples;
            }
        }
    }
    const int rangeChanges = root->property("rangeChanges").toInt() - changesBefore;
    // Baseline: the same frame rendered with the series as they are.
    for (int f = 0; f < std::min(frames, 60); ++f) {
        timer.start();
        QCoreApplication::processEvents();
        const QImage image = window->grabWindow();
        baselineMs.push_back(timer.nsecsElapsed() / 1e6);
    }

    const Stats u = stats(updateMs);
    const Stats r = stats(renderMs);
    const Stats b = stats(baselineMs);
    std::printf("plot frame: %d plots x %d series, %.0f points per series (mean), %d frames, "
                "%s, series drawn by %s, %.2f axis range changes per plot and frame\n",
                Plots, Slots, double(points) / double(pointSamples), frames,
                qPrintable(QGuiApplication::platformName()),
                root->property("openGL").toBool() ? "OpenGL" : "the chart's painter",
                double(rangeChanges) / Plots / frames);
    std::printf(
        "  update (4 x qSGUpdate): %.3f ms mean, %.3f ms p95 per frame (goal <= 4 ms: %s)\n",
        u.mean, u.p95, u.mean <= 4 ? "met" : "NOT met");
    const bool software
        = window->rendererInterface()->graphicsApi() == QSGRendererInterface::Software;
    std::printf("  render (%s scene graph): %.2f ms mean, %.2f ms p95; unchanged series "
                "%.2f ms mean (baseline)\n",
                software ? "software" : "OpenGL", r.mean, r.p95, b.mean);
    return 0;
}
