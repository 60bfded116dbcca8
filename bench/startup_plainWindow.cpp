// Baseline of the start-up benchmark: a plain Qt Quick window with nothing in it.
#include "FirstFrameReporter.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.loadData("import QtQuick\nWindow { width: 1280; height: 800; visible: true }");
    if (engine.rootObjects().isEmpty())
        return 1;
    reportFirstFrame(qobject_cast<QQuickWindow *>(engine.rootObjects().first()));
    return app.exec();
}
