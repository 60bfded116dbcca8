#include "ManufacturingDeviceTypeList.h"

#include "ExtendedDeviceType.h"

ManufacturingDeviceTypeList::ManufacturingDeviceTypeList(QObject *parent)
    : QAbstractListModel(parent)
{
}

int ManufacturingDeviceTypeList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_types.size());
}

QVariant ManufacturingDeviceTypeList::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const auto &entry = m_types.at(index.row());
    if (role == TextRole || role == Qt::DisplayRole)
        return entry.first;
    if (role == ValueRole)
        return entry.second;
    return {};
}

QHash<int, QByteArray> ManufacturingDeviceTypeList::roleNames() const
{
    return { { TextRole, "text" }, { ValueRole, "value" } };
}
