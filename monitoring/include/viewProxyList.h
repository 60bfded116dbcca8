#pragma once

#include <QAbstractListModel>
#include <QList>

// A list model of QObject items under the role "sample". It owns the items handed to it without
// a parent; items that another owner lends it (see monitorContents) stay with that owner, and an
// item that is destroyed leaves the list.
// Threading: GUI thread only.
class viewProxyList : public QAbstractListModel
{
    Q_OBJECT

public:
    static constexpr int SampleRole = Qt::UserRole; // 256

    explicit viewProxyList(QObject *parent = nullptr);
    ~viewProxyList() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Appends `item` as the last row; an item without a parent becomes the list's.
    void append(QObject *item);
    // Removes the first row that shows `item`; false when there is none.
    bool remove(QObject *item);
    const QList<QObject *> &items() const { return list; }

private slots:
    void itemDestroyed(QObject *item);

private:
    QList<QObject *> list;
};
