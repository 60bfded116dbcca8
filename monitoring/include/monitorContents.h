#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QPointer>

#include "viewProxyList.h"

// A list model of QObject items it owns, and the view list of those the user switched on.
// Threading: GUI thread only.
class monitorContents : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(viewProxyList *viewProxyList READ getViewProxyList WRITE setViewProxyList NOTIFY
                   viewProxyListChanged)

public:
    explicit monitorContents(QObject *parent = nullptr);
    ~monitorContents() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    viewProxyList *getViewProxyList() const { return view; }
    void setViewProxyList(viewProxyList *list);

    // Appends `item` as the last row and takes it over.
    void appendItem(QObject *item);
    const QList<QObject *> &items() const { return list; }

    // Shows (true) or hides (false) item `index` in the view list; the item stays ours.
    Q_INVOKABLE void toggleItem(uint index, bool state);

signals:
    void viewProxyListChanged();

private:
    QList<QObject *> list;
    QPointer<viewProxyList> view;
};
