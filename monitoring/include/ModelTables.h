#pragma once

#include "MonitoringRecords.h"

#include <array>
#include <string>
#include <vector>

namespace monitoring {

// The tables of a downloaded model that items refer to by index: the string tables 0 to 14,
// the data types with their struct elements, and the fixed-point scalings.
struct ModelTables
{
    static constexpr int StringTableCount = 15;
    std::array<std::vector<std::string>, StringTableCount> strings;
    std::vector<protocol::datatype_t> dataTypes;
    std::vector<protocol::struct_element_t> structElements;
    std::vector<protocol::fxp_info_t> fixedPointInfo;

    void clear() { *this = ModelTables(); }
};

} // namespace monitoring
