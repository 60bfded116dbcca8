#pragma once

#include "IDataType.h"
#include "ModelTables.h"

#include <memory>
#include <string_view>

namespace monitoring {

// Builds the codec of one typed model item from the model's data-type and fixed-point tables;
// empty (with a warning, except for complex or scaled enumerations) when the tables describe no
// codec. Every call makes a new codec.
std::shared_ptr<IDataType> makeDataType(const ModelTables &tables, uint16_t dataTypeIndex,
                                        int32_t fixedPointIndex);

// Entry `index` of string table `table`; empty, with a warning, when there is no such entry.
std::string_view typeString(const ModelTables &tables, uint8_t table, int32_t index);

} // namespace monitoring
