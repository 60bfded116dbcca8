#pragma once

#include "PeltoMonitor.h"

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QVariant>

#include "SimulinkSignal.h"
#include "SimulinkVariable.h"
#include "SimulinkVariableFilterProxyModel.h"
#include "plotContainer.h"

class DatalinkManager;
class QSettings;
class SimulinkVariableModel;

namespace monitoring {
class Interface;
}

// The monitoring front end of one Pelto: the model interface, the variable list, four plot
// containers, and the memory of what was plotted for the same build of the model.
// Threading: GUI thread only.
class ExternalMonitor : public PeltoMonitor
{
    Q_OBJECT
    Q_PROPERTY(QList<SimulinkDataTypes::SimulinkVariable *> simulinkVariables READ simulinkVariables
                   NOTIFY simulinkVariablesChanged)
    Q_PROPERTY(SimulinkVariableFilterProxyModel *filteredModel READ filteredModel CONSTANT)
    Q_PROPERTY(QList<plotContainer *> plotContainers READ plotContainers WRITE setPlotContainers
                   NOTIFY plotContainersChanged)
    Q_PROPERTY(bool initialized READ isInitialized NOTIFY initializedChanged)
    Q_PROPERTY(QString settingsCategory READ settingsCategory CONSTANT)

public:
    static constexpr int PlotContainerCount = 4;

    ExternalMonitor(QObject *parent, DatalinkManager *manager, const QByteArray &buildId = {},
                    QSettings *settings = nullptr);
    ~ExternalMonitor() override;

    // Lets every Pelto make one of these when its monitoring service opens.
    static void install();

    void start() override;
    void reset() override;

    QList<SimulinkDataTypes::SimulinkVariable *> simulinkVariables() const;
    SimulinkVariableFilterProxyModel *filteredModel() const { return proxy; }
    QList<plotContainer *> plotContainers() const { return containers; }
    void setPlotContainers(const QList<plotContainer *> &list);
    bool isInitialized() const;
    QString settingsCategory() const { return QStringLiteral("Monitoring_Signal_Selections"); }
    monitoring::Interface *interface() const { return iface; }
    QByteArray currentBuildID() const { return buildId; }

    Q_INVOKABLE void getListLength() const;
    Q_INVOKABLE void changeVisibleType(uint type);
    Q_INVOKABLE void restoreFromSettings();
    Q_INVOKABLE SimulinkDataTypes::SimulinkSignal *signalFromPath(const QVariant &path) const;

signals:
    void simulinkVariablesChanged();
    void initializedChanged();
    void plotContainersChanged();
    void filteredModelReady();
    void buildIDChanged();
    void signalToRestore(int plotContainerIndex, QVariant path, QPoint elementIndex, int slotIndex);

public slots:
    void setCurrentBuildID(QByteArray buildID) override;
    void initializePlotContainers();
    void restoreSignalPlot(int plotContainerIndex, QVariant path, QPoint elementIndex,
                           int slotIndex);

private:
    void dropPlotContainers();

    QByteArray buildId;
    QSettings *settings;
    monitoring::Interface *iface;
    SimulinkVariableModel *model;
    SimulinkVariableFilterProxyModel *proxy;
    QList<plotContainer *> containers;
};
