// The Qt Quick Test runner of orvane.SceneDescription and orvane.Resources: the static module
// plugins and the resource import path the default engine lacks.
#include <QGuiApplication>
#include <QQmlEngine>
#include <QtPlugin>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

Q_IMPORT_QML_PLUGIN(orvane_UtilPlugin)
Q_IMPORT_QML_PLUGIN(orvane_ResourcesPlugin)
Q_IMPORT_QML_PLUGIN(orvane_SceneDescriptionPlugin)

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "scene", nullptr, &setup);
}

#include "qmlSceneTestMain.moc"
