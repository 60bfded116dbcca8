#include "ApplicationFonts.h"

#include <QtQml/qqmlextensionplugin.h>

#include <mutex>

extern void qml_register_types_orvane_Branding();
Q_GHS_KEEP_REFERENCE(qml_register_types_orvane_Branding)

// Made once per process. Qt 6.4 makes every static QML plugin at the first import of any module
// with a plugin (QtQuick included), so the constructor runs at start-up whatever the screens
// import. The fonts are registered at the first import of orvane.Branding instead, which is the
// one call that comes only from a component that uses them, before that component is created.
class orvane_BrandingPlugin : public QQmlEngineExtensionPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QQmlEngineExtensionInterface_iid)

public:
    explicit orvane_BrandingPlugin(QObject *parent = nullptr)
        : QQmlEngineExtensionPlugin(parent)
    {
        // Keeps the registration function in the program.
        volatile auto registration = &qml_register_types_orvane_Branding;
        Q_UNUSED(registration)
    }

    void initializeEngine(QQmlEngine *engine, const char *uri) override
    {
        QQmlEngineExtensionPlugin::initializeEngine(engine, uri);
        // Once per process: a second engine or import registers nothing again.
        static std::once_flag fontsLoaded;
        std::call_once(fontsLoaded, loadApplicationFonts);
    }
};

#include "BrandingPlugin.moc"
