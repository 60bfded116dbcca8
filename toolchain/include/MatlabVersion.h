#pragma once

#include <string>

// Conversions between a MATLAB release name ("R2021a") and its version key ("9.10"), the key every
// toolchain map is ordered by. Both follow MATLAB's own numbering, computed in single precision
// like the toolchain's MATLAB code does, so keys match the version files it writes. They are not
// each other's inverse for 2012 to 2015; callers use them as they are.

// Throws std::invalid_argument("Unkown readable MATLAB type") for text without "R20", shorter
// than six characters, or naming a year before 2006.
std::string matlabReleaseToVersion(const std::string &release);

// Throws std::invalid_argument("Unkown MATLAB version") for an empty key, one longer than five
// characters or below 7.02; std::invalid_argument("invalid stof argument") when the key is no
// number and std::out_of_range("stof argument out of range") when it is out of range.
std::string matlabVersionToRelease(const std::string &version);
