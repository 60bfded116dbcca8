#pragma once

#include <QAbstractListModel>

// The device types the fuse-burning panel offers, with the roles "text" and "value".
class ManufacturingDeviceTypeList : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Roles { TextRole = Qt::UserRole + 1, ValueRole };

    explicit ManufacturingDeviceTypeList(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    QList<QPair<QString, int>> m_types;
};
