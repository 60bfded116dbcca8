#include "ExtendedDeviceType.h"

namespace orvdevice {

QString extendedDeviceTypeName(std::int32_t type)
{
    switch (type) {
    case NoShield:
    case ShieldJST:
    case ShieldTerm:
    case ShieldM8:
    case ShieldX4:
    case ShieldX5:
    case ShieldX6:
    case ShieldX7:
    case ShieldX8:
    case ShieldX9:
        return QStringLiteral("Pelto Exploration");
    case Industrial:
        return QStringLiteral("Pelto Industrial");
    case EVK:
        return QStringLiteral("NXP evaluation kit");
    case PeltoDevboard:
        return QStringLiteral("Pelto Development board");
    case Torvik:
        return QStringLiteral("Torvik");
    case Rugged:
        return QStringLiteral("Pelto Rugged");
    case Sorvyn:
        return QStringLiteral("Sorvyn");
    case Pelto_CES:
        return QStringLiteral("Pelto CES");
    case Torvik_v1_3:
        return QStringLiteral("Torvik v1.3");
    case Torvik_v1_2:
        return QStringLiteral("Torvik v1.2");
    case Torvik_v1_2_1:
        return QStringLiteral("Torvik v1.2.1");
    case Torvik_v1_4:
        return QStringLiteral("Torvik v1.4");
    case Quintar_v1_0:
        return QStringLiteral("Quintar v1.0");
    case Torvik_v1_5:
        return QStringLiteral("Torvik v1.5");
    case EchoTestExtension:
        return QStringLiteral("Echo test extension");
    default: // ReadError, TestBoard and values the device family has not defined
        return QStringLiteral("Unknown device");
    }
}

} // namespace orvdevice
