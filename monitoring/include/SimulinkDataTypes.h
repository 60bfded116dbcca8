#pragma once

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

} // namespace SimulinkDataTypes
