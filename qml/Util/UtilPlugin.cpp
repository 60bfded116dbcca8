#include "QObjectPointers.h"

#include <QtQml/qqmlextensionplugin.h>

extern void qml_register_types_orvane_Util();
Q_GHS_KEEP_REFERENCE(qml_register_types_orvane_Util)

// Made once per process, at the first import of orvane.Util.
class orvane_UtilPlugin : public QQmlEngineExtensionPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QQmlEngineExtensionInterface_iid)

public:
    explicit orvane_UtilPlugin(QObject *parent = nullptr)
        : QQmlEngineExtensionPlugin(parent)
    {
        volatile auto registration = &qml_register_types_orvane_Util;
        Q_UNUSED(registration)
        orvane::registerPointerMetaTypes();
    }
};

#include "UtilPlugin.moc"
