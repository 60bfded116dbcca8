#pragma once

#include "SimulinkVariable.h"

namespace monitoring {
class ParameterNode;
}

namespace SimulinkDataTypes {

// A tunable parameter for QML: element 0's value and whether every write is confirmed.
class SimulinkParameter : public SimulinkVariable
{
    Q_OBJECT
    Q_PROPERTY(SimulinkDataTypes::SimulinkParameter *self READ self CONSTANT)
    Q_PROPERTY(double currentValue READ currentValue NOTIFY currentDataChanged)
    Q_PROPERTY(bool sync READ isSynced NOTIFY syncStatusChanged)

public:
    SimulinkParameter(QObject *parent, monitoring::ParameterNode *node);
    ~SimulinkParameter() override;

    SimulinkParameter *self() { return this; }
    double currentValue() const;
    bool isSynced() const;

    Q_INVOKABLE void setValue(QString memLocString, double real);
    Q_INVOKABLE void setValue(QString memLocString, double real, double imag);

    uint16_t nodeIndex() const override;
    uint16_t modelRefIndex() const override;
    uint32_t valueSize() const override;
    void detach() override;

signals:
    void syncStatusChanged();
    void currentDataChanged(double real);

private:
    monitoring::ParameterNode *parameter() const;
    void valueUpdated();
};

} // namespace SimulinkDataTypes
