#pragma once

#include <QSortFilterProxyModel>

// The variable list as the list panel shows it: highlighted items, named items, or all, and a
// case-insensitive wildcard on the full path.
class SimulinkVariableFilterProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    enum FilterType { Important = 0, Normal = 1, AllSignals = 2 };
    Q_ENUM(FilterType)

    explicit SimulinkVariableFilterProxyModel(QObject *parent = nullptr);

    Q_INVOKABLE void setFilterType(const QString &filter);
    void setFilterType(FilterType filter);
    FilterType filterType() const { return type; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    FilterType type = Important;
};
