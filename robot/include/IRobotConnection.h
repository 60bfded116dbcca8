#pragma once

#include "IRobotMapResourceInterface.h"
#include "IRobotResourceInterface.h"
#include "RobotConnectionStatus.h"
#include "RobotJobInterface.h"
#include "RobotPathRecordingInterface.h"
#include "RobotResourceType.h"
#include "RobotTelemetryInterface.h"

#include <QFuture>
#include <QJSValue>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <utility>

// The QML-facing object of one robot: its status, identity and service interfaces.
class IRobotConnection : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("IRobotConnection is an abstract base class")
    Q_PROPERTY(RobotConnectionStatus::Status status READ status NOTIFY connectionStatusChanged)
    Q_PROPERTY(QString name READ name NOTIFY robotNameChanged)
    Q_PROPERTY(QString serial READ serial NOTIFY robotSerialChanged)
    Q_PROPERTY(QString location READ location NOTIFY robotSerialChanged)
    Q_PROPERTY(IRobotResourceInterface *pathResourceInterface READ pathResourceInterface CONSTANT)
    Q_PROPERTY(IRobotResourceInterface *jobResourceInterface READ jobResourceInterface CONSTANT)
    Q_PROPERTY(IRobotResourceInterface *areaResourceInterface READ areaResourceInterface CONSTANT)
    Q_PROPERTY(
        IRobotResourceInterface *artifactResourceInterface READ artifactResourceInterface CONSTANT)
    Q_PROPERTY(
        IRobotResourceInterface *scheduleResourceInterface READ scheduleResourceInterface CONSTANT)
    Q_PROPERTY(IRobotMapResourceInterface *mapResourceInterface READ mapResourceInterface CONSTANT)
    Q_PROPERTY(RobotJobInterface *jobInterface READ jobInterface CONSTANT)
    Q_PROPERTY(
        RobotPathRecordingInterface *pathRecordingInterface READ pathRecordingInterface CONSTANT)
    Q_PROPERTY(RobotTelemetryInterface *telemetryInterface READ telemetryInterface CONSTANT)

public:
    using QObject::QObject;

    QString location() const { return QStringLiteral("robot/") + serial(); }

    Q_INVOKABLE QJSValue connect(QUrl url);
    Q_INVOKABLE IRobotResourceInterface *
    resourceInterface(RobotResourceType::ResourceType type) const
    {
        return resourceInterfaceOf(type);
    }

    virtual QFuture<bool> connectCpp(const QUrl &url) = 0;
    Q_INVOKABLE virtual void disconnect() = 0;
    virtual RobotConnectionStatus::Status status() const = 0;
    virtual QString name() const = 0;
    virtual QString serial() const = 0;
    virtual std::pair<bool, double> batteryLevel() const = 0;
    virtual IRobotResourceInterface *pathResourceInterface() const = 0;
    virtual IRobotResourceInterface *jobResourceInterface() const = 0;
    virtual IRobotResourceInterface *areaResourceInterface() const = 0;
    virtual IRobotResourceInterface *artifactResourceInterface() const = 0;
    virtual IRobotResourceInterface *scheduleResourceInterface() const = 0;
    virtual IRobotMapResourceInterface *mapResourceInterface() const = 0;
    virtual IRobotResourceInterface *
    resourceInterfaceOf(RobotResourceType::ResourceType type) const = 0;
    virtual RobotJobInterface *jobInterface() const = 0;
    virtual RobotPathRecordingInterface *pathRecordingInterface() const = 0;
    virtual RobotTelemetryInterface *telemetryInterface() const = 0;

signals:
    void connectionStatusChanged();
    void robotNameChanged();
    void robotSerialChanged();
};
