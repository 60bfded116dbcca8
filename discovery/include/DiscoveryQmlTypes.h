#pragma once

// Registers the robot-discovery types with QML under orvane.RobotCommunication 1.0:
// NetworkDeviceManager (creatable), NetworkDevice (only through the manager) and the page Ssh,
// so the page loader can create "Ssh" of that module. Call once, before the engine loads QML.
void registerDiscoveryQmlTypes();
