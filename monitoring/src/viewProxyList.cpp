#include "viewProxyList.h"

viewProxyList::viewProxyList(QObject *parent)
    : QAbstractListModel(parent)
{ }

// The items it owns are its QObject children and go with it.
viewProxyList::~viewProxyList() = default;

int viewProxyList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(list.size());
}

QVariant viewProxyList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= list.size() || role != SampleRole)
        return {};
    return QVariant::fromValue(list.at(index.row()));
}

QHash<int, QByteArray> viewProxyList::roleNames() const
{
    return { { SampleRole, "sample" } };
}

void viewProxyList::append(QObject *item)
{
    if (!item)
        return;
    if (!item->parent())
        item->setParent(this);
    const int row = int(list.size());
    beginInsertRows(QModelIndex(), row, row);
    list.append(item);
    endInsertRows();
    // A lent item deleted by its owner must not stay behind as a dangling row.
    connect(item, &QObject::destroyed, this, &viewProxyList::itemDestroyed, Qt::UniqueConnection);
}

void viewProxyList::itemDestroyed(QObject *item)
{
    while (remove(item)) { }
}

bool viewProxyList::remove(QObject *item)
{
    const qsizetype row = list.indexOf(item);
    if (row < 0)
        return false;
    beginRemoveRows(QModelIndex(), int(row), int(row));
    list.removeAt(row);
    endRemoveRows();
    return true;
}
