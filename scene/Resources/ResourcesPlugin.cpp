#include "RobotResourceId.h"

#include <QtQml/qqmlextensionplugin.h>

extern void qml_register_types_orvane_Resources();
Q_GHS_KEEP_REFERENCE(qml_register_types_orvane_Resources)

// Made once per process, at the first import of orvane.Resources.
class orvane_ResourcesPlugin : public QQmlEngineExtensionPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QQmlEngineExtensionInterface_iid)

public:
    explicit orvane_ResourcesPlugin(QObject *parent = nullptr)
        : QQmlEngineExtensionPlugin(parent)
    {
        volatile auto registration = &qml_register_types_orvane_Resources;
        Q_UNUSED(registration)
        qRegisterMetaType<RobotResourceId>("RobotResourceId");
        qRegisterMetaType<QList<RobotResourceId>>();
    }
};

#include "ResourcesPlugin.moc"
