#include "ExternalMonitor.h"

#include "Interface.h"
#include "Pelto.h"
#include "SimulinkParameter.h"
#include "SimulinkSignal.h"
#include "SimulinkVariableFilterProxyModel.h"
#include "SimulinkVariableModel.h"
#include "plotContainer.h"

#include <QLoggingCategory>
#include <QQmlEngine>
#include <QSettings>

Q_LOGGING_CATEGORY(lcExternalMonitor, "Monitoring.ExternalMonitor")

namespace {

const char *const LastBuildKey = "lastMonitoredBuildID";

} // namespace

ExternalMonitor::ExternalMonitor(QObject *parent, DatalinkManager *manager,
                                 const QByteArray &buildId, QSettings *settings)
    : PeltoMonitor(parent)
    , buildId(buildId)
    , settings(settings ? settings : new QSettings(this))
    , iface(new monitoring::Interface(this, manager))
{
    qRegisterMetaType<SimulinkDataTypes::VariableType>("VariableType");
    // The names are the ones queued connections and QML were written against, blank included.
    qRegisterMetaType<QMap<quint16, SimulinkDataTypes::SimulinkSignal *>>("SimulinkSignalMap");
    qRegisterMetaType<QMap<quint16, SimulinkDataTypes::SimulinkParameter *>>(
        " SimulinkParameterMap");
    qRegisterMetaType<QVector<SimulinkDataTypes::SimulinkParameter *>>(
        "QVector<SimulinkDataTypes::SimulinkParameter *>");
    qRegisterMetaType<QVector<SimulinkDataTypes::SimulinkSignalSet>>(
        "QVector<SimulinkDataTypes::SimulinkSignalSet>");
    qRegisterMetaType<QVector<uint16_t>>("QVector<uint16_t>");
    qRegisterMetaType<SimulinkVariableFilterProxyModel *>("SimulinkVariableFilterProxyModel");
    connect(iface, &monitoring::Interface::initializedChanged, this,
            &ExternalMonitor::initializedChanged);
    connect(iface, &monitoring::Interface::simulinkVariablesChanged, this,
            &ExternalMonitor::initializePlotContainers);
    connect(iface, &monitoring::Interface::simulinkVariablesChanged, this,
            &ExternalMonitor::simulinkVariablesChanged);
    model = new SimulinkVariableModel(this, iface, 1);
    proxy = new SimulinkVariableFilterProxyModel(this);
    proxy->setFilterType(SimulinkVariableFilterProxyModel::Important);
    proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy->setFilterRole(SimulinkVariableModel::PathNameRole);
    proxy->setSourceModel(model);
}

ExternalMonitor::~ExternalMonitor()
{
    // The containers hand their handles back while the wrappers still exist.
    qDeleteAll(findChildren<plotContainer *>(Qt::FindDirectChildrenOnly));
}

void ExternalMonitor::install()
{
    Pelto::setMonitorFactory([](QObject *parent, DatalinkManager *manager, QByteArray id) {
        return new ExternalMonitor(parent, manager, id);
    });
}

void ExternalMonitor::start()
{
    iface->startModelDownload();
    // The device starts the same monitor again whenever its service reopens.
    connect(this, &ExternalMonitor::signalToRestore, this, &ExternalMonitor::restoreSignalPlot,
            Qt::UniqueConnection);
    emit filteredModelReady();
}

void ExternalMonitor::dropPlotContainers()
{
    // A container holds its plotted history; one that leaves the list is no longer reachable.
    for (plotContainer *c : std::as_const(containers))
        c->deleteLater();
    containers.clear();
}

void ExternalMonitor::reset()
{
    dropPlotContainers();
    iface->clearModel();
    emit plotContainersChanged();
}

QList<SimulinkDataTypes::SimulinkVariable *> ExternalMonitor::simulinkVariables() const
{
    return iface->simulinkVariables();
}

void ExternalMonitor::setPlotContainers(const QList<plotContainer *> &list)
{
    if (list == containers)
        return;
    containers = list;
    emit plotContainersChanged();
}

bool ExternalMonitor::isInitialized() const
{
    return iface->isInitialized();
}

void ExternalMonitor::setCurrentBuildID(QByteArray id)
{
    buildId = id;
    emit buildIDChanged();
}

void ExternalMonitor::initializePlotContainers()
{
    dropPlotContainers();
    emit plotContainersChanged();
    for (int i = 0; i < PlotContainerCount; ++i)
        containers.append(new plotContainer(this));
    restoreFromSettings();
    emit plotContainersChanged();
}

void ExternalMonitor::restoreFromSettings()
{
    settings->beginGroup(settingsCategory());
    const QVariant stored = settings->value(LastBuildKey);
    if (stored == QVariant(buildId)) {
        for (int p = 0; p < PlotContainerCount; ++p) {
            for (int s = 0; s < 4; ++s) {
                const QString key = QStringLiteral("%1-%2").arg(p).arg(s);
                const QVariant path = settings->value("SigPath" + key);
                if (!path.isValid() || path.toString().isEmpty())
                    continue;
                const QPoint element = settings->value("ElementIndex" + key).toPoint();
                settings->endGroup();
                emit signalToRestore(p, path, element, s);
                settings->beginGroup(settingsCategory());
            }
        }
        settings->endGroup();
        return;
    }
    settings->endGroup();
    settings->remove(settingsCategory());
    qCDebug(lcExternalMonitor) << "clearing stored signal selection";
    if (!buildId.isEmpty()) {
        settings->beginGroup(settingsCategory());
        settings->setValue(LastBuildKey, buildId);
        settings->endGroup();
        // The id is raw bytes from the device: shown as hexadecimal digits, readable and greppable.
        qCDebug(lcExternalMonitor).noquote()
            << "reset last monitored buildID" << QString::fromLatin1(buildId.toHex());
    }
}

void ExternalMonitor::restoreSignalPlot(int plotContainerIndex, QVariant path, QPoint elementIndex,
                                        int slotIndex)
{
    SimulinkDataTypes::SimulinkSignal *signal = signalFromPath(path);
    if (!signal || plotContainerIndex < 0 || plotContainerIndex >= containers.size())
        return;
    containers[plotContainerIndex]->addSignal(signal, elementIndex, slotIndex);
}

void ExternalMonitor::getListLength() const
{
    qCDebug(lcExternalMonitor) << "amount of simulinkVariables = "
                               << iface->simulinkVariables().size();
}

void ExternalMonitor::changeVisibleType(uint type)
{
    model->setVisibleType(type == 1 ? 3 : type == 2 ? 2 : 1);
}

SimulinkDataTypes::SimulinkSignal *ExternalMonitor::signalFromPath(const QVariant &path) const
{
    SimulinkDataTypes::SimulinkVariable *match = nullptr;
    for (SimulinkDataTypes::SimulinkVariable *v : iface->simulinkVariables()) {
        if (v && QVariant(v->getPath()) == path)
            match = v;
    }
    auto *signal = qobject_cast<SimulinkDataTypes::SimulinkSignal *>(match);
    if (signal)
        QQmlEngine::setObjectOwnership(signal, QQmlEngine::CppOwnership);
    return signal;
}
