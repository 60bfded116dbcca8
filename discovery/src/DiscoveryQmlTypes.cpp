#include "DiscoveryQmlTypes.h"

#include "NetworkDevice.h"
#include "NetworkDeviceManager.h"

#include <QQmlEngine>
#include <QUrl>

void registerDiscoveryQmlTypes()
{
    Q_INIT_RESOURCE(discovery_qml);
    const char *uri = "orvane.RobotCommunication";
    qmlRegisterType<NetworkDeviceManager>(uri, 1, 0, "NetworkDeviceManager");
    qmlRegisterUncreatableType<NetworkDevice>(uri, 1, 0, "NetworkDevice",
                                              QStringLiteral("Access only through manager"));
    qmlRegisterType(QUrl(QStringLiteral("qrc:/orvane/discovery/Ssh.qml")), uri, 1, 0, "Ssh");
}
