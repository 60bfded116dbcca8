// The QML bridge and library at run time:
// - promise round trips per second: a ready future through makeQmlPromise to a resolved
//   JavaScript callback, against a plain JavaScript Promise.resolve().then() in the same engine
//   (the promise job queue both pay);
// - memory per 10 000 pending promises, against 10 000 pending plain JavaScript promises;
// - the first import of orvane.Branding (it registers the brand fonts), against QtQuick's;
// - with a display (run under xvfb-run): the mean frame time of a page of the controls.
// Run: build/release/bench/bench_qmlPromise (or under `xvfb-run -a` for the frame time).

#include "QmlFuture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFuture>
#include <QPromise>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickView>
#include <QtPlugin>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

Q_IMPORT_QML_PLUGIN(orvane_BrandingPlugin)
Q_IMPORT_QML_PLUGIN(orvane_ControlsPlugin)

namespace {

long residentBytes()
{
    long pages = 0;
    long resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

void drainUntil(QJSEngine &engine, int expected)
{
    while (engine.globalObject().property("count").toInt() < expected)
        QCoreApplication::processEvents();
}

double roundTripsPerSecond(QJSEngine &engine, int rounds, bool bridged)
{
    engine.globalObject().setProperty("count", 0);
    const QJSValue onResolved = engine.evaluate("(p) => p.then(v => { count += v })");
    const QJSValue plain = engine.evaluate("() => Promise.resolve(1)");
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i) {
        const QJSValue promise
            = bridged ? makeQmlPromise(&engine, QtFuture::makeReadyFuture(1)) : plain.call();
        onResolved.call({ promise });
        if (i % 256 == 255)
            drainUntil(engine, i + 1);
    }
    drainUntil(engine, rounds);
    return rounds / (timer.nsecsElapsed() / 1e9);
}

long bytesPerTenThousandPending(QJSEngine &engine, bool bridged)
{
    std::vector<std::unique_ptr<QPromise<int>>> sources;
    std::vector<QJSValue> promises;
    engine.collectGarbage();
    const long before = residentBytes();
    const QJSValue plain = engine.evaluate("() => new Promise(() => {})");
    for (int i = 0; i < 10000; ++i) {
        if (bridged) {
            sources.push_back(std::make_unique<QPromise<int>>());
            sources.back()->start();
            promises.push_back(makeQmlPromise(&engine, sources.back()->future()));
        } else {
            promises.push_back(plain.call());
        }
    }
    engine.collectGarbage();
    const long grown = residentBytes() - before;
    for (auto &source : sources) {
        source->addResult(0);
        source->finish();
    }
    QCoreApplication::processEvents();
    return grown;
}

double importMs(const QByteArray &import)
{
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    QElapsedTimer timer;
    timer.start();
    QQmlComponent component(&engine);
    component.setData("import QtQml\n" + import + "\nQtObject {}\n", QUrl());
    std::unique_ptr<QObject> object(component.create());
    if (!object)
        std::printf("import failed: %s\n", qPrintable(component.errorString()));
    return timer.nsecsElapsed() / 1e6;
}

const char page[] = R"(
import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Material
import orvane.Controls
GridLayout {
    width: 1200; height: 800; columns: 4
    Repeater { model: 8; Button { text: "Button " + index; Layout.preferredHeight: 50 } }
    Repeater { model: 8; CheckBox { checked: index % 2 } }
    Repeater { model: 4; TextField { placeholderText: "Field"; text: index ? "text" : "" } }
    Repeater { model: 4; SpinBox { value: index } }
}
)";

double meanFrameMs(int frames)
{
    QQuickView view;
    view.engine()->addImportPath(QStringLiteral("qrc:/qt/qml"));
    view.setResizeMode(QQuickView::SizeRootObjectToView);
    view.resize(1200, 800);
    QQmlComponent component(view.engine());
    component.setData(page, QUrl());
    std::unique_ptr<QObject> root(component.create());
    if (!root) {
        std::printf("page failed: %s\n", qPrintable(component.errorString()));
        return -1;
    }
    view.setContent(QUrl(), &component, root.release());
    view.show();
    int swapped = 0;
    QObject::connect(&view, &QQuickWindow::frameSwapped, &view, [&] {
        ++swapped;
        view.update();
    });
    while (swapped < 10)
        QCoreApplication::processEvents();
    const int start = swapped;
    QElapsedTimer timer;
    timer.start();
    while (swapped < start + frames)
        QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e6 / frames;
}

} // namespace

int main(int argc, char **argv)
{
    const bool display = qEnvironmentVariableIsSet("DISPLAY");
    if (!display)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const double brandingMs = importMs("import orvane.Branding");
    const double quickMs = importMs("import QtQuick");
    // The second import finds the plugin made: no fonts are registered again.
    const double brandingAgainMs = importMs("import orvane.Branding");
    std::printf("first import: orvane.Branding %.1f ms (again in a new engine: %.1f ms), "
                "QtQuick (baseline) %.1f ms\n",
                brandingMs, brandingAgainMs, quickMs);

    QJSEngine engine;
    constexpr int rounds = 50000;
    const double bridged = roundTripsPerSecond(engine, rounds, true);
    const double plain = roundTripsPerSecond(engine, rounds, false);
    std::printf("promise round trips: %.0f/s bridged, %.0f/s plain JavaScript (baseline), "
                "ratio %.2f\n",
                bridged, plain, plain / bridged);

    const long bridgedBytes = bytesPerTenThousandPending(engine, true);
    const long plainBytes = bytesPerTenThousandPending(engine, false);
    std::printf("10 000 pending promises: %.1f KiB bridged, %.1f KiB plain JavaScript "
                "(baseline)\n",
                bridgedBytes / 1024.0, plainBytes / 1024.0);

    if (display)
        std::printf("controls page frame time: %.2f ms mean over 300 frames\n", meanFrameMs(300));
    else
        std::printf("controls page frame time: skipped (no display; run under xvfb-run -a)\n");
    return 0;
}
