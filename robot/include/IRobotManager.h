#pragma once

#include "IRobotConnection.h"

#include <QAbstractListModel>
#include <QFuture>
#include <QJSValue>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <memory>

#include "QmlSharedPointer.h"

// The list of open robot connections (one row each, from its connection until it closes) and the
// active one.
class IRobotManager : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("IRobotManager is an abstract class")
    Q_PROPERTY(int size READ size NOTIFY sizeChanged)
    Q_PROPERTY(
        QmlSharedPointer *activeConnection READ activeConnection NOTIFY activeConnectionChanged)

public:
    enum Roles { ConnectionRole = Qt::UserRole + 1, NameRole, SerialRole };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    QmlSharedPointer *activeConnection() const;

    Q_INVOKABLE QJSValue connect(QUrl url);
    Q_INVOKABLE QmlSharedPointer *getConnection(QString serial);
    Q_INVOKABLE QmlSharedPointer *getConnectionAt(int index);
    Q_INVOKABLE int indexOf(QString serial) const { return indexOfSerial(serial); }
    Q_INVOKABLE void makeActiveConnection(QString serial);

    virtual QFuture<std::shared_ptr<IRobotConnection>> connectCpp(const QUrl &url) = 0;
    virtual std::shared_ptr<IRobotConnection> connectionAt(int index) const = 0;
    virtual int size() const = 0;
    virtual int indexOfSerial(const QString &serial) const = 0;

signals:
    void sizeChanged();
    void connectionAdded(QString serial, std::shared_ptr<IRobotConnection> connection);
    void connectionRemoved(QString serial);
    void activeConnectionChanged();

protected:
    QmlSharedPointer *handle(const std::shared_ptr<IRobotConnection> &connection) const;
    void setActiveIndex(int index);

    int m_activeIndex = -1;
};
