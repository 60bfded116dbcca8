#pragma once

#include "MonitoringRecords.h"

#include <QObject>

// The kinds of variables in a model running on the device, as QML sees them.
namespace SimulinkDataTypes {
Q_NAMESPACE

enum VariableType : int {
    None = 0,
    Signal = 1,
    BlockParameter = 2,
    ModelParameter = 3,
    State = 4,
    RootInput = 5,
    RootOutput = 6,
    StructElement = 7
};
Q_ENUM_NS(VariableType)

// What a list of handled references from the device answers: a streaming request, a parameter
// write, or the device's own report of streams it started or stopped.
enum VariableDataType : int { SignalData = 0, ParameterData = 1, StreamingData = 2 };
Q_ENUM_NS(VariableDataType)

// One streaming request as it travels to the device, for queued signals that carry a batch.
using SimulinkSignalSet = monitoring::protocol::signal_set_t;

} // namespace SimulinkDataTypes
