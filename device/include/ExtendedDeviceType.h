#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

// The board variant a controller reports (in its heartbeat and its board information). The
// values are the device's own and travel as signed 32-bit numbers; the names are known to the
// meta-object system so QML can write them (OrvDevice.Torvik).
namespace orvdevice {
Q_NAMESPACE

enum ExtendedDeviceType : std::int32_t {
    ReadError = -1,
    NoShield = 0,
    ShieldJST = 1,
    ShieldTerm = 2,
    ShieldM8 = 3,
    ShieldX4 = 4,
    ShieldX5 = 5,
    ShieldX6 = 6,
    ShieldX7 = 7,
    ShieldX8 = 8,
    ShieldX9 = 9,
    Industrial = 10,
    NumShields = 10,
    EVK = 11,
    PeltoDevboard = 12,
    Torvik = 13,
    TestBoard = 14,
    Rugged = 15,
    Sorvyn = 16,
    Pelto_CES = 17,
    Torvik_v1_3 = 18,
    Torvik_v1_2 = 19,
    Torvik_v1_2_1 = 20,
    Torvik_v1_4 = 21,
    Quintar_v1_0 = 22,
    Torvik_v1_5 = 23,
    EchoTestExtension = 256,
};
Q_ENUM_NS(ExtendedDeviceType)

// The name shown to the user for a board variant; "Unknown device" for values without one.
QString extendedDeviceTypeName(std::int32_t type);

} // namespace orvdevice

using orvdevice::extendedDeviceTypeName;
