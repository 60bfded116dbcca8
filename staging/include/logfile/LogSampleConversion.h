#pragma once

#include "logfile/LogTypes.h"

namespace logfile {

// Element size of a type id, 0 for an unknown one.
std::size_t elementSize(std::uint16_t typeId);

// The elements of one sample as doubles, in file order, with the signal's dimension sizes.
// Throws TypeConversionError for a complex signal or an unknown type id. A sample smaller than
// one element gives an empty value list.
SampleArray toDoubles(const Sample &sample);

} // namespace logfile
