#pragma once

#include "SimulinkDataTypes.h"

#include <QObject>
#include <QString>

namespace monitoring {
class IModelNode;
}

namespace SimulinkDataTypes {

// A model node as QML reads it. The wrapper does not own its node: the monitoring interface
// detaches every wrapper before it deletes the tree, and a detached wrapper keeps what it showed.
class SimulinkVariable : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ getName CONSTANT)
    Q_PROPERTY(QString path READ getPath CONSTANT)
    Q_PROPERTY(QString parentPath READ getParentPath CONSTANT)
    Q_PROPERTY(QString collapsedState READ getCollapsedState WRITE setCollapsedState NOTIFY
                   collapsedStateChanged)
    Q_PROPERTY(QString type READ getType CONSTANT)
    Q_PROPERTY(SimulinkDataTypes::VariableType variableType READ getVariableType CONSTANT)
    Q_PROPERTY(bool generatedName READ hasGeneratedName CONSTANT)
    Q_PROPERTY(bool impSignal READ isHighlighted CONSTANT)

public:
    SimulinkVariable(QObject *parent, monitoring::IModelNode *node);
    ~SimulinkVariable() override;

    QString getName() const { return name; }
    QString getPath() const { return path; }
    QString getParentPath() const { return parentPath; }
    QString getCollapsedState() const { return collapsedState; }
    void setCollapsedState(const QString &state) { collapsedState = state; }
    QString getType() const { return type; }
    VariableType getVariableType() const { return variableType; }
    bool hasGeneratedName() const { return generatedName; }
    bool isHighlighted() const { return highlighted; }

    virtual bool isSpecial() const { return false; }
    virtual uint16_t nodeIndex() const = 0;
    virtual uint16_t modelRefIndex() const = 0;
    virtual uint32_t valueSize() const = 0;

    // Called before the node is deleted: the wrapper lets go of it and its callbacks.
    virtual void detach();
    monitoring::IModelNode *node() const { return wrapped; }

signals:
    void QSG_sync();
    void collapsedStateChanged();

protected:
    monitoring::IModelNode *wrapped;

private:
    // Fixed at construction: nodes never change their names or places.
    QString name;
    QString path;
    QString parentPath;
    QString collapsedState = QStringLiteral("collapsed");
    QString type;
    VariableType variableType = None;
    bool generatedName = false;
    bool highlighted = false;
};

} // namespace SimulinkDataTypes
