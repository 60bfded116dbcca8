#pragma once

#include <cstdint>

// CRC-32/MPEG-2: polynomial 0x04C11DB7, most significant bit first, no reflection and no final
// inversion. The caller passes the start value (0xFFFFFFFF for a new checksum) and continues a
// checksum over several pieces by passing the previous result back in; the returned value is
// stored as it is.
//
// Both names are the same computation: the link, control, upload and flash-image code calls
// crc32Update, the log-file reader calls crc32Mpeg2. Reentrant; no allocation.
std::uint32_t crc32Update(std::uint32_t crc, const void *data, std::uint64_t length);
std::uint32_t crc32Mpeg2(std::uint32_t crc, const void *data, std::uint64_t length);
