#include "SimulinkParameter.h"

#include "ParameterNode.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSimulinkParameter, "Monitoring.SimulinkParameter")

namespace SimulinkDataTypes {

SimulinkParameter::SimulinkParameter(QObject *parent, monitoring::ParameterNode *node)
    : SimulinkVariable(parent, node)
{
    if (node)
        node->setValueChangedCallback([this] { valueUpdated(); });
}

SimulinkParameter::~SimulinkParameter()
{
    detach();
}

monitoring::ParameterNode *SimulinkParameter::parameter() const
{
    return static_cast<monitoring::ParameterNode *>(wrapped);
}

double SimulinkParameter::currentValue() const
{
    return parameter() ? parameter()->valueAt(0) : 0.0;
}

bool SimulinkParameter::isSynced() const
{
    return !parameter() || parameter()->pendingWrites().empty();
}

void SimulinkParameter::setValue(QString, double real)
{
    if (!parameter())
        return;
    parameter()->setValue(0, real);
    qCDebug(lcSimulinkParameter) << "new parameter value set for parameter: " << getName()
                                 << " value = " << real;
}

void SimulinkParameter::setValue(QString, double real, double imag)
{
    if (!parameter())
        return;
    // Both parts go out: a complex parameter written with its real part alone would lose the
    // imaginary one.
    parameter()->setComplexValue(0, real, imag);
    qCDebug(lcSimulinkParameter) << "new parameter value set for parameter: " << getName()
                                 << " value = " << real << "+" << imag << "i";
}

uint16_t SimulinkParameter::nodeIndex() const
{
    return parameter() ? parameter()->getNodeIndex() : 0;
}

uint16_t SimulinkParameter::modelRefIndex() const
{
    return parameter() ? parameter()->getModelRefIndex() : 0;
}

uint32_t SimulinkParameter::valueSize() const
{
    return parameter() ? parameter()->getCodec()->byteSize() : 0;
}

void SimulinkParameter::detach()
{
    if (parameter())
        parameter()->setValueChangedCallback({});
    SimulinkVariable::detach();
}

void SimulinkParameter::valueUpdated()
{
    emit currentDataChanged(currentValue());
    emit syncStatusChanged();
}

} // namespace SimulinkDataTypes
