#include "Startup.h"

#include <QtPlugin>
#include <QtQml/qqmlextensionplugin.h>

// The orvane QML modules are static plugins: their registration is pulled into the program here.
Q_IMPORT_QML_PLUGIN(orvane_BrandingPlugin)
Q_IMPORT_QML_PLUGIN(orvane_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(orvane_UtilPlugin)
Q_IMPORT_QML_PLUGIN(orvane_ResourcesPlugin)
Q_IMPORT_QML_PLUGIN(orvane_SceneDescriptionPlugin)
Q_IMPORT_QML_PLUGIN(MatLab_GUIPlugin)
Q_IMPORT_QML_PLUGIN(orvane_RobotCommunicationPlugin)

int main(int argc, char *argv[])
{
    return runNimbrelLab(argc, argv);
}
