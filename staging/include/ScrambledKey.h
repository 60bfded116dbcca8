#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>

// Key material that is never stored as such: a constant block of the wanted length scrambled in
// place by scrambleThreePass with three seed words. The six words of one file kind (three for the
// key, three for the IV) come from the environment variable, "a,b,c,d,e,f" as decimal or 0x-hex
// 32-bit values; without a valid setting the given defaults are used.
QByteArray scrambledKeyBlock(int length, const char *seedVariable, int firstWord,
                             const std::array<std::int32_t, 6> &defaults);
