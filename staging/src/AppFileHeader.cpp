#include "AppFileHeader.h"

#include <algorithm>
#include <cstring>

namespace appheader {

namespace {

constexpr std::uint8_t elfMagic[4] = { 0x7F, 'E', 'L', 'F' };

std::uint32_t getU32(const std::uint8_t *at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16
        | std::uint32_t(at[3]) << 24;
}

void putU32(std::uint8_t *at, std::uint32_t value)
{
    at[0] = std::uint8_t(value);
    at[1] = std::uint8_t(value >> 8);
    at[2] = std::uint8_t(value >> 16);
    at[3] = std::uint8_t(value >> 24);
}

template<std::size_t N> void take(std::array<std::uint8_t, N> &field, const std::uint8_t *at)
{
    std::memcpy(field.data(), at, N);
}

// Offsets of the fields that every version has, from the version number to the tags.
struct Layout
{
    std::size_t versionNumber;
    std::size_t boardType; // 0: none (version 1)
    std::size_t tags;
};

void readCommon(AppFileHeader &h, const std::uint8_t *bytes, const Layout &at)
{
    take(h.versionNumber, bytes + at.versionNumber);
    h.firmwareNumber = std::int32_t(getU32(bytes + at.versionNumber + 32));
    h.flags = getU32(bytes + at.versionNumber + 36);
    h.flagNibble = getU32(bytes + at.versionNumber + 40);
    take(h.creationTime, bytes + at.versionNumber + 44);
    take(h.buildId, bytes + at.versionNumber + 172);
    h.boardType = at.boardType ? std::int32_t(getU32(bytes + at.boardType)) : 0;
    for (std::size_t i = 0; i < h.tags.size(); ++i)
        take(h.tags[i], bytes + at.tags + 32 * i);
}

} // namespace

std::optional<Extent> headerExtent(const std::uint8_t *probe, std::size_t length,
                                   std::uint64_t fileSize)
{
    if (probe == nullptr || length < probeSize || fileSize < 4)
        return std::nullopt;
    Extent extent;
    extent.version = std::int32_t(getU32(probe + 16));
    if (extent.version == 1)
        extent.headerSize = version1Size;
    else if (extent.version == 2)
        extent.headerSize = version2Size;
    else
        extent.headerSize = getU32(probe + 20);
    const bool fixed = extent.version == 1 || extent.version == 2;
    if ((!fixed && extent.headerSize < currentSize) || extent.headerSize > fileSize - 4)
        return std::nullopt;
    return extent;
}

std::optional<AppFileHeader> parseAppBinaryHeader(const std::uint8_t *bytes, std::size_t length)
{
    if (bytes == nullptr || length < currentSize)
        return std::nullopt;
    AppFileHeader h;
    take(h.magic, bytes);
    h.headerVersion = std::int32_t(getU32(bytes + 16));
    h.headerSize = std::int32_t(getU32(bytes + 20));
    readCommon(h, bytes, { 24, 228, 232 });
    h.versionText = fieldText(bytes + 360, longTextSize);
    h.applicationName = fieldText(bytes + 510, longTextSize);
    return h;
}

std::optional<AppFileHeader> decode(const std::uint8_t *bytes, std::size_t length,
                                    const Extent &extent)
{
    if (bytes == nullptr || extent.headerSize > length || length - extent.headerSize < 4
        || std::memcmp(bytes + extent.headerSize, elfMagic, 4) != 0)
        return std::nullopt;
    std::optional<AppFileHeader> header;
    if (extent.version == 1 || extent.version == 2) {
        AppFileHeader h;
        take(h.magic, bytes);
        h.headerVersion = extent.version;
        h.headerSize = std::int32_t(extent.headerSize);
        if (extent.version == 1)
            readCommon(h, bytes, { 20, 0, 224 });
        else
            readCommon(h, bytes, { 20, 224, 228 });
        h.versionText = fieldText(h.versionNumber.data(), h.versionNumber.size());
        header = std::move(h);
    } else {
        header = parseAppBinaryHeader(bytes, extent.headerSize);
    }
    if (!header || std::memcmp(header->magic.data(), magicText.data(), magicText.size()) != 0)
        return std::nullopt;
    return header;
}

std::vector<std::uint8_t> serializeAppHeader(const AppFileHeader &h)
{
    std::vector<std::uint8_t> out(currentSize, 0);
    std::uint8_t *b = out.data();
    std::memcpy(b, h.magic.data(), h.magic.size());
    putU32(b + 16, std::uint32_t(h.headerVersion));
    putU32(b + 20, std::uint32_t(h.headerSize));
    std::memcpy(b + 24, h.versionNumber.data(), h.versionNumber.size());
    putU32(b + 56, std::uint32_t(h.firmwareNumber));
    putU32(b + 60, h.flags);
    putU32(b + 64, h.flagNibble);
    std::memcpy(b + 68, h.creationTime.data(), h.creationTime.size());
    std::memcpy(b + 196, h.buildId.data(), h.buildId.size());
    putU32(b + 228, std::uint32_t(h.boardType));
    for (std::size_t i = 0; i < h.tags.size(); ++i)
        std::memcpy(b + 232 + 32 * i, h.tags[i].data(), 32);
    // Cut to 150 bytes; a cut may split a UTF-8 sequence, which the reader then shows replaced.
    std::memcpy(b + 360, h.versionText.data(), std::min(h.versionText.size(), longTextSize));
    std::memcpy(b + 510, h.applicationName.data(),
                std::min(h.applicationName.size(), longTextSize));
    return out;
}

std::string fieldText(const std::uint8_t *field, std::size_t size)
{
    const auto *end = std::find(field, field + size, std::uint8_t(0));
    return std::string(reinterpret_cast<const char *>(field), std::size_t(end - field));
}

bool isBlankBuildId(const std::array<std::uint8_t, 32> &buildId)
{
    return std::all_of(buildId.begin(), buildId.end(), [](std::uint8_t b) { return b == 0; })
        || std::all_of(buildId.begin(), buildId.end(), [](std::uint8_t b) { return b == '0'; });
}

} // namespace appheader
