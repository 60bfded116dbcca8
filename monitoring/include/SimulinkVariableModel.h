#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QPointer>

namespace monitoring {
class Interface;
}

// The monitoring interface's variables of one kind at a time, for QML: signals (1), block
// parameters (2) or model parameters (3).
// Threading: GUI thread only.
class SimulinkVariableModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Roles { PathNameRole = 0, VariableRole = Qt::UserRole, ParentPathRole };

    SimulinkVariableModel(QObject *parent, monitoring::Interface *iface, int kind);
    ~SimulinkVariableModel() override;

    bool setVisibleType(int kind);
    int visibleType() const { return kind; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

public slots:
    void reloadModel();

private:
    const QList<int> *visibleRows() const;

    QPointer<monitoring::Interface> iface;
    int kind;
    bool loaded = false;
    QList<int> signalRows;
    QList<int> modelParameterRows;
    QList<int> blockParameterRows;
};
