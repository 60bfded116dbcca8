#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The header in front of the ELF of a ".napbf" app-binary file: version 3 (660 bytes) is what
// every file gets written with; versions 1 (352 bytes) and 2 (356) are still read. Integers are
// 32-bit little-endian; text fields are UTF-8 padded with zero bytes. No Qt, so the fuzz target
// can take it alone; AppFile turns the fields into its properties.
struct AppFileHeader
{
    std::array<std::uint8_t, 16> magic{};
    std::int32_t headerVersion = 3;
    std::int32_t headerSize = 660;
    std::array<std::uint8_t, 32> versionNumber{};
    std::int32_t firmwareNumber = 0;
    std::uint32_t flags = 0;
    std::uint32_t flagNibble = 0;
    std::array<std::uint8_t, 128> creationTime{};
    std::array<std::uint8_t, 32> buildId{};
    std::int32_t boardType = 0;
    std::array<std::array<std::uint8_t, 32>, 4> tags{};
    // Versions 1 and 2 have neither; the text field up to its first zero byte.
    std::string versionText;
    std::string applicationName;
};

namespace appheader {

constexpr std::int32_t currentVersion = 3;
constexpr std::size_t currentSize = 660;
constexpr std::size_t version1Size = 352;
constexpr std::size_t version2Size = 356;
// Magic, header version and (from version 3 on) header size.
constexpr std::size_t probeSize = 24;
constexpr std::size_t longTextSize = 150;
constexpr std::string_view magicText = ".AppFile";

struct Extent
{
    std::int32_t version = 0;
    // Offset of the ELF, which must be followed by at least its 4-byte magic.
    std::size_t headerSize = 0;
};

// From the first probeSize bytes of a file of fileSize bytes: the header version and where the
// ELF starts. Nothing when the stated header size does not lie in [660, fileSize - 4] (for a
// version 1 or 2 header, its fixed size must leave those 4 bytes too), so a bad size is refused
// before anything of that size is read.
std::optional<Extent> headerExtent(const std::uint8_t *probe, std::size_t length,
                                   std::uint64_t fileSize);

// Decodes the headerSize + 4 bytes of `extent`: the ELF magic must follow the header, the header
// must start with ".AppFile", and the layout follows the version. Version 3 and every unknown
// version read as version 3.
std::optional<AppFileHeader> decode(const std::uint8_t *bytes, std::size_t length,
                                    const Extent &extent);

// The version-3 layout alone; nothing below 660 bytes.
std::optional<AppFileHeader> parseAppBinaryHeader(const std::uint8_t *bytes, std::size_t length);

// The 660 bytes of a version-3 header with the header's own version and size fields.
std::vector<std::uint8_t> serializeAppHeader(const AppFileHeader &header);

// Text of a zero-padded field: up to its first zero byte or its end.
std::string fieldText(const std::uint8_t *field, std::size_t size);

// Writes `text` into a field only when it fits whole (else the field stays zero): the rule for
// version number, creation time, build ID and tags.
template<std::size_t N> void putIfFits(std::array<std::uint8_t, N> &field, std::string_view text)
{
    field.fill(0);
    if (text.size() <= N) {
        for (std::size_t i = 0; i < text.size(); ++i)
            field[i] = std::uint8_t(text[i]);
    }
}

// True for a build ID of 32 zero bytes or 32 ASCII "0": such a file has no build ID.
bool isBlankBuildId(const std::array<std::uint8_t, 32> &buildId);

} // namespace appheader
