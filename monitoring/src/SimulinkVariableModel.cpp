#include "SimulinkVariableModel.h"

#include "Interface.h"
#include "SimulinkVariable.h"

namespace {

constexpr int SignalKind = 1;
constexpr int BlockParameterKind = 2;
constexpr int ModelParameterKind = 3;

} // namespace

SimulinkVariableModel::SimulinkVariableModel(QObject *parent, monitoring::Interface *iface,
                                             int kind)
    : QAbstractListModel(parent)
    , iface(iface)
    , kind(kind)
{
    if (!iface)
        return;
    connect(iface, &monitoring::Interface::simulinkVariablesChanged, this,
            &SimulinkVariableModel::reloadModel);
    if (iface->isInitialized())
        reloadModel();
}

SimulinkVariableModel::~SimulinkVariableModel() = default;

const QList<int> *SimulinkVariableModel::visibleRows() const
{
    switch (kind) {
    case SignalKind:
        return &signalRows;
    case BlockParameterKind:
        return &blockParameterRows;
    case ModelParameterKind:
        return &modelParameterRows;
    default:
        return nullptr;
    }
}

void SimulinkVariableModel::reloadModel()
{
    beginResetModel();
    signalRows.clear();
    modelParameterRows.clear();
    blockParameterRows.clear();
    if (visibleRows() && iface) {
        const auto &variables = iface->simulinkVariables();
        for (int i = 0; i < variables.size(); ++i) {
            const SimulinkDataTypes::SimulinkVariable *v = variables[i];
            if (!v)
                continue;
            const QString type = v->getType();
            if (type.contains(QLatin1String("signal"))) {
                signalRows << i;
            } else if (type.contains(QLatin1String("parameter"))) {
                if (v->getVariableType() == SimulinkDataTypes::ModelParameter)
                    modelParameterRows << i;
                else if (v->getVariableType() == SimulinkDataTypes::BlockParameter)
                    blockParameterRows << i;
            }
        }
        loaded = true;
    }
    endResetModel();
}

bool SimulinkVariableModel::setVisibleType(int newKind)
{
    if (newKind == kind)
        return false;
    beginResetModel();
    kind = newKind;
    endResetModel();
    return true;
}

int SimulinkVariableModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !loaded || !visibleRows())
        return 0;
    return int(visibleRows()->size());
}

QVariant SimulinkVariableModel::data(const QModelIndex &index, int role) const
{
    const QList<int> *rows = visibleRows();
    if (!rows || !iface || index.row() < 0 || index.row() >= rows->size())
        return {};
    const int at = rows->at(index.row());
    const auto &variables = iface->simulinkVariables();
    if (at >= variables.size() || !variables[at])
        return {};
    SimulinkDataTypes::SimulinkVariable *v = variables[at];
    switch (role) {
    case PathNameRole:
        return v->getPath() + QLatin1Char('/') + v->getName();
    case VariableRole:
        return QVariant::fromValue(static_cast<QObject *>(v));
    case ParentPathRole:
        return v->getParentPath();
    default:
        return {};
    }
}

QHash<int, QByteArray> SimulinkVariableModel::roleNames() const
{
    return { { PathNameRole, "pathname" },
             { VariableRole, "simulinkVariable" },
             { ParentPathRole, "parentPath" } };
}
