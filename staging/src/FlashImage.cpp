#include "FlashImage.h"

#include "Crc32.h"
#include "ElfReader.h"

#include <algorithm>
#include <cstring>

namespace flashimage {

namespace {

constexpr std::uint8_t elfMagic[4] = { 0x7F, 'E', 'L', 'F' };
constexpr int maxArchiveTries = 5;
constexpr std::size_t arMemberHeaderSize = 60;
// Distance from a member's data back to its header's 10-character size field.
constexpr std::size_t arSizeFieldBack = 12;
constexpr std::size_t arSizeFieldLength = 10;
// "!<arch>\n" and the first member's header: that member's size field and its data.
constexpr std::size_t arFirstSizeField = 56;
constexpr std::size_t arFirstData = 68;

void putU32(std::uint8_t *at, std::uint32_t value)
{
    at[0] = std::uint8_t(value);
    at[1] = std::uint8_t(value >> 8);
    at[2] = std::uint8_t(value >> 16);
    at[3] = std::uint8_t(value >> 24);
}

bool hasElfMagic(const std::uint8_t *bytes, std::size_t size, std::size_t at)
{
    return at <= size && size - at >= 4 && std::memcmp(bytes + at, elfMagic, 4) == 0;
}

// The decimal size of an ar member header, rounded up to even as the format pads odd members.
std::optional<std::uint64_t> arSize(const std::uint8_t *bytes, std::size_t size, std::size_t field)
{
    if (field > size || size - field < arSizeFieldLength)
        return std::nullopt;
    std::uint64_t value = 0;
    std::size_t i = 0;
    for (; i < arSizeFieldLength && bytes[field + i] >= '0' && bytes[field + i] <= '9'; ++i)
        value = value * 10 + (bytes[field + i] - '0');
    if (i == 0)
        return std::nullopt;
    for (; i < arSizeFieldLength; ++i) {
        if (bytes[field + i] != ' ')
            return std::nullopt;
    }
    return value + (value & 1);
}

struct Search
{
    std::optional<std::size_t> found;
    std::uint64_t stoppedAt = 0;
};

Search searchMembers(const std::uint8_t *bytes, std::size_t size, std::uint64_t position)
{
    for (int attempt = 0; attempt < maxArchiveTries; ++attempt) {
        if (position <= size && hasElfMagic(bytes, size, std::size_t(position)))
            return { std::size_t(position), position };
        if (position < arSizeFieldBack || position > size)
            return { std::nullopt, position };
        const auto member = arSize(bytes, size, std::size_t(position - arSizeFieldBack));
        if (!member)
            return { std::nullopt, position };
        position += *member + arMemberHeaderSize; // both below 2^34: no overflow
    }
    return { std::nullopt, position };
}

} // namespace

std::optional<std::size_t> findElfInArchive(const std::uint8_t *bytes, std::size_t size,
                                            std::size_t start)
{
    const Search first = searchMembers(bytes, size, start);
    if (first.found)
        return first.found;
    if (first.stoppedAt >= size || bytes[first.stoppedAt] != '!')
        return std::nullopt;
    const auto firstMember = arSize(bytes, size, arFirstSizeField);
    if (!firstMember)
        return std::nullopt;
    return searchMembers(bytes, size, *firstMember + arFirstData + arMemberHeaderSize).found;
}

std::optional<std::uint32_t> applyAppInfoOffset(ElfReader &elf)
{
    const auto address = elf.sectionAddress(".appinfo");
    if (!address)
        return 0u;
    const std::uint32_t offset = std::uint32_t(*address);
    auto &segments = elf.segments();
    if (segments.empty())
        return std::nullopt;
    ElfSegment &first = segments.front();
    if (offset > first.fileSize || offset > first.memorySize)
        return std::nullopt;
    first.virtualAddress += offset;
    first.offset += offset;
    first.fileSize -= offset;
    first.memorySize -= offset;
    return offset;
}

std::optional<std::vector<std::uint8_t>> buildFlashImage(ElfReader &elf, std::string_view name,
                                                         std::uint32_t flags)
{
    if (!elf.isLoaded())
        return std::nullopt;
    const auto appInfoOffset = applyAppInfoOffset(elf);
    if (!appInfoOffset)
        return std::nullopt;

    const auto &segments = elf.segments();
    std::uint64_t total = headerSize + recordSize * std::uint64_t(segments.size());
    for (const ElfSegment &segment : segments) {
        if (segment.memorySize > maxImageSize)
            return std::nullopt;
        total += segment.memorySize;
        if (total > maxImageSize)
            return std::nullopt;
    }

    std::vector<std::uint8_t> image(std::size_t(total), 0);
    std::uint8_t *header = image.data();
    putU32(header, imageVersion);
    if (!name.empty())
        std::memcpy(header + 4, name.data(), std::min(name.size(), nameSize));
    putU32(header + 20, flags);
    putU32(header + 24, *appInfoOffset);
    putU32(header + 44, std::uint32_t(segments.size()));

    std::uint8_t *table = header + headerSize;
    std::size_t dataOffset = headerSize + recordSize * segments.size();
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const ElfSegment &segment = segments[i];
        const std::uint64_t copied = std::min(segment.fileSize, segment.memorySize);
        const std::uint8_t *source = elf.fileBytes(segment.offset, copied);
        if (source == nullptr)
            return std::nullopt;
        std::uint8_t *data = image.data() + dataOffset;
        std::memcpy(data, source, std::size_t(copied)); // the rest stays zero
        std::uint8_t *record = table + recordSize * i;
        putU32(record, std::uint32_t(dataOffset));
        putU32(record + 4, std::uint32_t(segment.virtualAddress));
        putU32(record + 8, std::uint32_t(segment.memorySize));
        putU32(record + 12, crc32Update(0xFFFFFFFFu, data, segment.memorySize));
        dataOffset += std::size_t(segment.memorySize);
    }
    putU32(header + 48, crc32Update(0xFFFFFFFFu, table, recordSize * segments.size()));
    return image;
}

} // namespace flashimage
