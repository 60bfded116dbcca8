#include "monitorContents.h"

monitorContents::monitorContents(QObject *parent)
    : QAbstractListModel(parent)
    , view(new viewProxyList(this))
{ }

// The items are QObject children and go with the model.
monitorContents::~monitorContents() = default;

int monitorContents::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(list.size());
}

QVariant monitorContents::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= list.size() || role != viewProxyList::SampleRole)
        return {};
    return QVariant::fromValue(list.at(index.row()));
}

QHash<int, QByteArray> monitorContents::roleNames() const
{
    return { { viewProxyList::SampleRole, "sample" } };
}

void monitorContents::setViewProxyList(viewProxyList *l)
{
    if (view == l)
        return;
    view = l;
    emit viewProxyListChanged();
}

void monitorContents::appendItem(QObject *item)
{
    if (!item)
        return;
    item->setParent(this);
    const int row = int(list.size());
    beginInsertRows(QModelIndex(), row, row);
    list.append(item);
    endInsertRows();
}

void monitorContents::toggleItem(uint index, bool state)
{
    if (!view || index >= uint(list.size()))
        return;
    QObject *item = list.at(qsizetype(index));
    if (state)
        view->append(item);
    else
        view->remove(item);
}
