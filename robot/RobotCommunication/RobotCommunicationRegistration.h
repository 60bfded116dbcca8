#pragma once

// The types of orvane.RobotCommunication that live in the robot and discovery libraries. The
// robot library's classes carry their own QML names; the discovery library stays free of QML
// registration macros, so its two types are named here.

#include "IRobotConnection.h"
#include "IRobotManager.h"
#include "IRobotMapResourceInterface.h"
#include "IRobotResourceInterface.h"
#include "NetworkDevice.h"
#include "NetworkDeviceManager.h"
#include "PositionAccuracy.h"
#include "RobotConnection.h"
#include "RobotConnectionStatus.h"
#include "RobotJobInterface.h"
#include "RobotManager.h"
#include "RobotMapResourceInterface.h"
#include "RobotPathRecordingInterface.h"
#include "RobotResourceInterface.h"
#include "RobotSubscription.h"
#include "RobotTelemetryInterface.h"

#include <QtQml/qqml.h>
#include <QtQml/qqmlregistration.h>

struct IRobotConnectionRegistration
{
    Q_GADGET
    QML_FOREIGN(IRobotConnection)
    QML_NAMED_ELEMENT(IRobotConnection)
    QML_UNCREATABLE("IRobotConnection is an abstract base class")
};

struct IRobotManagerRegistration
{
    Q_GADGET
    QML_FOREIGN(IRobotManager)
    QML_NAMED_ELEMENT(IRobotManager)
    QML_UNCREATABLE("IRobotManager is an abstract class")
};

struct IRobotMapResourceInterfaceRegistration
{
    Q_GADGET
    QML_FOREIGN(IRobotMapResourceInterface)
    QML_NAMED_ELEMENT(IRobotMapResourceInterface)
    QML_UNCREATABLE("IRobotMapResourceInterface must be accessed through IRobotConnection")
};

struct IRobotResourceInterfaceRegistration
{
    Q_GADGET
    QML_FOREIGN(IRobotResourceInterface)
    QML_NAMED_ELEMENT(IRobotResourceInterface)
    QML_UNCREATABLE("IRobotResourceInterface must be accessed through IRobotConnection")
};

struct NetworkDeviceRegistration
{
    Q_GADGET
    QML_FOREIGN(NetworkDevice)
    QML_NAMED_ELEMENT(NetworkDevice)
    QML_UNCREATABLE("Access only through manager")
};

struct NetworkDeviceManagerRegistration
{
    Q_GADGET
    QML_FOREIGN(NetworkDeviceManager)
    QML_NAMED_ELEMENT(NetworkDeviceManager)
};

struct RobotConnectionRegistration
{
    Q_GADGET
    QML_FOREIGN(RobotConnection)
    QML_NAMED_ELEMENT(RobotConnection)
};

struct RobotConnectionStatusRegistration
{
    Q_GADGET
    QML_FOREIGN(RobotConnectionStatus)
    QML_NAMED_ELEMENT(RobotConnectionStatus)
    QML_SINGLETON
};

struct RobotJobInterfaceRegistration
{
    Q_GADGET
    QML_FOREIGN(RobotJobInterface)
    QML_NAMED_ELEMENT(RobotJobInterface)
    QML_UNCREATABLE("RobotJobInterface must be accessed through RobotConnection")
};

struct RobotManagerRegistration
{
    Q_GADGET
    QML_FOREIGN(RobotManager)
    QML_NAMED_ELEMENT(RobotManager)
    QML_SINGLETON
};

struct RobotMapResourceInterfaceRegistration
{
    Q_GADGET
    QML_FOREIGN(RobotMapResourceInterface)
    QML_NAMED_ELEMENT(RobotMapResourceInterface)
    QML_UNCREATABLE("RobotMapResourceInterface must be accessed through RobotConnection")
};

struct PositionAccuracyRegistration
{
    Q_GADGET
    QML_FOREIGN(PositionAccuracy)
    QML_NAMED_ELEMENT(PositionAccuracy)
    QML_UNCREATABLE("Wrapper for PositionAccuracy enum to expose it to QML")
};

struct RobotPathRecordingInterfaceRegistration
{
    Q_GADGET
    QML_FOREIGN(RobotPathRecordingInterface)
    QML_NAMED_ELEMENT(RobotPathRecordingInterface)
    QML_UNCREATABLE("RobotPathRecordingInterface must be accessed through RobotConnection")
};

struct RobotResourceInterfaceRegistration
{
    Q_GADGET
    QML_FOREIGN(RobotResourceInterface)
    QML_NAMED_ELEMENT(RobotResourceInterface)
    QML_UNCREATABLE("RobotResourceInterface must be accessed through RobotConnection")
};

struct RobotSubscriptionRegistration
{
    Q_GADGET
    QML_FOREIGN(RobotSubscription)
    QML_NAMED_ELEMENT(RobotSubscription)
    QML_UNCREATABLE("RobotSubscription is not creatable from QML")
};

struct RobotTelemetryInterfaceRegistration
{
    Q_GADGET
    QML_FOREIGN(RobotTelemetryInterface)
    QML_NAMED_ELEMENT(RobotTelemetryInterface)
    QML_UNCREATABLE("RobotTelemetryInterface must be accessed through RobotConnection")
};
