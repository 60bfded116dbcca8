// Baseline of the start-up benchmark: an empty Material ApplicationWindow in a QApplication, as
// the program runs it.
#include "FirstFrameReporter.h"

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Material"));
    QQmlApplicationEngine engine;
    engine.loadData("import QtQuick\nimport QtQuick.Controls.Material\n"
                    "ApplicationWindow { width: 1280; height: 800; visible: true }");
    if (engine.rootObjects().isEmpty())
        return 1;
    reportFirstFrame(qobject_cast<QQuickWindow *>(engine.rootObjects().first()));
    return app.exec();
}
