#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>

class DatalinkManager;

// What the Pelto needs of its model monitor. The monitor itself lives in the monitoring library,
// above this one: that library installs a factory (Pelto::setMonitorFactory), so the device never
// sees its headers.
class PeltoMonitor : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~PeltoMonitor() override;

    virtual void start() = 0;
    virtual void reset() = 0;

public slots:
    virtual void setCurrentBuildID(QByteArray buildID) = 0;
};

// Makes the monitor of a device: parent, the device's link manager, its current build id.
using PeltoMonitorFactory
    = std::function<PeltoMonitor *(QObject *parent, DatalinkManager *manager, QByteArray buildId)>;
