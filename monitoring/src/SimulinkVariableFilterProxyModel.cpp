#include "SimulinkVariableFilterProxyModel.h"

#include "SimulinkVariable.h"
#include "SimulinkVariableModel.h"

SimulinkVariableFilterProxyModel::SimulinkVariableFilterProxyModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{ }

void SimulinkVariableFilterProxyModel::setFilterType(const QString &filter)
{
    if (filter == QLatin1String("important"))
        setFilterType(Important);
    else if (filter == QLatin1String("normal"))
        setFilterType(Normal);
    else
        setFilterType(AllSignals);
}

void SimulinkVariableFilterProxyModel::setFilterType(FilterType filter)
{
    type = filter;
    invalidateFilter();
}

bool SimulinkVariableFilterProxyModel::filterAcceptsRow(int sourceRow,
                                                        const QModelIndex &sourceParent) const
{
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    const auto *v = qobject_cast<SimulinkDataTypes::SimulinkVariable *>(
        index.data(SimulinkVariableModel::VariableRole).value<QObject *>());
    if (!v)
        return false;
    if (type == Important && !v->isHighlighted())
        return false;
    if (type == Normal && v->hasGeneratedName())
        return false;
    return QSortFilterProxyModel::filterAcceptsRow(sourceRow, sourceParent);
}
