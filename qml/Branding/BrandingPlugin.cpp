#include "ApplicationFonts.h"

#include <QtQml/qqmlextensionplugin.h>

extern void qml_register_types_orvane_Branding();
Q_GHS_KEEP_REFERENCE(qml_register_types_orvane_Branding)

// Made once per process, at the first import of orvane.Branding: the fonts are registered then,
// before the importing component is created.
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
        loadApplicationFonts();
    }
};

#include "BrandingPlugin.moc"
