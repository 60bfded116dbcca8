#include "CoordinateConverter.h"
#include "IRobotResource.h"
#include "SceneFunctions.h"

#include <QtQml/qqml.h>
#include <QtQml/qqmlextensionplugin.h>

extern void qml_register_types_orvane_SceneDescription();
Q_GHS_KEEP_REFERENCE(qml_register_types_orvane_SceneDescription)

// Made once per process, at the first import of orvane.SceneDescription.
class orvane_SceneDescriptionPlugin : public QQmlEngineExtensionPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QQmlEngineExtensionInterface_iid)

public:
    explicit orvane_SceneDescriptionPlugin(QObject *parent = nullptr)
        : QQmlEngineExtensionPlugin(parent)
    {
        volatile auto registration = &qml_register_types_orvane_SceneDescription;
        Q_UNUSED(registration)
        // Objects of the base classes reach QML through their meta objects.
        qRegisterMetaType<CoordinateConverter *>("CoordinateConverter*");
        qRegisterMetaType<IRobotResource *>("IRobotResource*");
        qRegisterMetaType<IRobotResourceOwner *>("IRobotResourceOwner*");
        qmlRegisterSingletonType<SceneFunctions>("orvane.SceneDescription", 1, 0, "Scene",
                                                 [](QQmlEngine *, QJSEngine *) -> QObject * {
                                                     return new SceneFunctions();
                                                 });
    }
};

#include "SceneDescriptionPlugin.moc"
