#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

class ElfReader;

// The flash image a Pelto takes instead of an ELF file: a 52-byte header, one 16-byte record per
// program segment and the segments' memory images one after another, each guarded by a
// CRC-32/MPEG-2. All integers little-endian. No Qt; AppBinTools wraps these for the app files.
namespace flashimage {

constexpr std::size_t headerSize = 52;
constexpr std::size_t recordSize = 16;
constexpr std::uint32_t imageVersion = 1;
constexpr std::size_t nameSize = 16;
// An image is held in memory and sent over a link at a few hundred kB/s; anything larger than
// this is not an application for a controller, and keeping every offset far below 4 GiB means
// the 32-bit fields of the records can never wrap.
constexpr std::uint64_t maxImageSize = 64u * 1024u * 1024u;

// Position of the ELF in `bytes`: `start` when the ELF magic is there, otherwise the data of the
// following ar members (up to five tries), and when that finds nothing but an ar archive begins
// where the search stopped, the members behind the archive's first one. Every size field is read
// as decimal text and checked against the buffer.
std::optional<std::size_t> findElfInArchive(const std::uint8_t *bytes, std::size_t size,
                                            std::size_t start);

// The ".appinfo" trim: segment 0 then begins at that section's address (taken as an offset into
// it). Returns the offset, 0 without such a section, and nothing when the offset does not lie
// within segment 0's file and memory sizes (or there is no segment to trim).
std::optional<std::uint32_t> applyAppInfoOffset(ElfReader &elf);

// The whole image, or nothing when a segment's data is not in the file or the image would be
// larger than maxImageSize. `name` is cut to 16 bytes.
std::optional<std::vector<std::uint8_t>> buildFlashImage(ElfReader &elf, std::string_view name,
                                                         std::uint32_t flags);

} // namespace flashimage
