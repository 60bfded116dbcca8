#include "logfile/LogFile.h"

#include "Crc32.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

namespace logfile {

namespace {

constexpr std::uint32_t LegacyMagic = 0x5433334C; // "L33T" read as a little-endian word
constexpr std::uint32_t CurrentMagic = 0x5A4C46; // 'Z', 'L', 'F' in the three high bytes
constexpr std::uint32_t CrcStart = 0xFFFFFFFF;

std::uint16_t u16At(const std::uint8_t *p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}

std::uint32_t u32At(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
        | (std::uint32_t(p[3]) << 24);
}

float f32At(const std::uint8_t *p)
{
    return std::bit_cast<float>(u32At(p));
}

// Reads from the stream and carries a CRC through every byte read while `crc` is in use.
class SectionReader
{
public:
    SectionReader(std::istream &stream, std::int64_t fileEnd)
        : m_stream(stream)
        , m_fileEnd(fileEnd)
    { }

    void read(void *target, std::size_t length)
    {
        m_stream.read(static_cast<char *>(target), std::streamsize(length));
        m_crc = crc32Mpeg2(m_crc, target, length);
    }
    std::string readString(std::size_t length)
    {
        // Longer than the rest of the file: the read would fail at the end anyway, after
        // allocating and clearing room for it.
        if (std::int64_t(length) > m_fileEnd - std::int64_t(m_stream.tellg()))
            throw FileFormatException("Unexpected end of file");
        std::string text(length, '\0');
        read(text.data(), length);
        return text;
    }
    std::uint16_t u16()
    {
        std::uint8_t bytes[2];
        read(bytes, 2);
        return u16At(bytes);
    }
    std::uint32_t u32()
    {
        std::uint8_t bytes[4];
        read(bytes, 4);
        return u32At(bytes);
    }
    std::uint32_t crc() const { return m_crc; }

private:
    std::istream &m_stream;
    std::int64_t m_fileEnd;
    std::uint32_t m_crc = CrcStart;
};

// A section said to lie past the end of the file is a file cut short, whichever kind of stream
// holds it (a string stream fails the seek itself, a file stream only the read after it).
void seekTo(std::istream &stream, std::int64_t offset, std::int64_t fileEnd)
{
    if (offset > fileEnd)
        throw FileFormatException("Unexpected end of file");
    stream.seekg(std::streamoff(offset), std::ios::beg);
}

} // namespace

LogFile::LogFile(std::istream &stream)
    : m_stream(&stream)
{
    stream.exceptions(std::ios::eofbit | std::ios::failbit);
    try {
        readFile();
    } catch (const std::ios_base::failure &) {
        if (stream.eof())
            throw FileFormatException("Unexpected end of file");
        throw FileFormatException("Error while reading file");
    }
}

void LogFile::readFile()
{
    std::istream &stream = *m_stream;
    const std::streampos start = stream.tellg();
    std::uint8_t magic[4];
    stream.read(reinterpret_cast<char *>(magic), 4);
    stream.seekg(start);
    const std::uint32_t word = u32At(magic);

    if (word == LegacyMagic) {
        std::uint8_t header[8];
        stream.read(reinterpret_cast<char *>(header), 8);
        m_legacy = true;
        m_version = 2;
        m_dataSectionOffset = u32At(header + 4);
        m_signalListOffset = 8;
        m_metadataOffset = 0;
    } else if ((word >> 8) == CurrentMagic) {
        std::uint8_t header[20];
        stream.read(reinterpret_cast<char *>(header), 20);
        if (crc32Mpeg2(CrcStart, header, 16) != u32At(header + 16))
            throw FileFormatException("Fileheader CRC mismatch");
        m_version = header[0];
        m_dataSectionOffset = u32At(header + 4);
        m_signalListOffset = u32At(header + 8);
        m_metadataOffset = u32At(header + 12);
    } else {
        throw UnknownMagic("Unknown log file format");
    }

    stream.seekg(0, std::ios::end);
    m_fileEnd = std::int64_t(stream.tellg());

    if (!m_legacy) {
        seekTo(stream, m_metadataOffset, m_fileEnd);
        readMetadata();
    }
    seekTo(stream, m_signalListOffset, m_fileEnd);
    if (m_legacy)
        readLegacySignalList();
    else
        readSignalList();
    seekTo(stream, m_dataSectionOffset, m_fileEnd);
    readDataSectionHeader();
}

std::size_t LogFile::plausibleCount(std::size_t count, std::size_t minimumBytes) const
{
    // A count is only a claim: room for more signals than the rest of the file can hold would be
    // allocated for nothing before the reads run out.
    const auto remaining = std::size_t(std::max<std::int64_t>(0, m_fileEnd - m_stream->tellg()));
    return std::min(count, remaining / minimumBytes);
}

void LogFile::readMetadata()
{
    SectionReader reader(*m_stream, m_fileEnd);
    Metadata metadata;
    const std::uint16_t count = reader.u16();
    for (std::uint16_t i = 0; i < count; ++i) {
        std::string key = reader.readString(reader.u16());
        std::string value = reader.readString(reader.u16());
        metadata.insert_or_assign(std::move(key), std::move(value));
    }
    const std::uint32_t computed = reader.crc();
    if (reader.u32() != computed)
        throw FileFormatException("Metadata CRC error");
    m_metadata = std::move(metadata);
}

void LogFile::readSignalList()
{
    SectionReader reader(*m_stream, m_fileEnd);
    auto signalList = std::make_shared<SignalList>();
    const std::uint16_t count = reader.u16();
    signalList->reserve(plausibleCount(count, 23));
    for (std::uint16_t i = 0; i < count; ++i) {
        std::uint8_t fixed[23];
        reader.read(fixed, sizeof fixed);
        Signal signal;
        signal.typeId = u16At(fixed);
        signal.flags = u16At(fixed + 2);
        signal.startT = f32At(fixed + 4);
        signal.stopT = f32At(fixed + 8);
        signal.stepT = f32At(fixed + 12);
        signal.sampleTime = f32At(fixed + 16);
        signal.sampleSize = u16At(fixed + 20);
        signal.dims.resize(fixed[22]);
        for (auto &dim : signal.dims)
            dim = reader.u16();
        signal.name = reader.readString(reader.u16());
        signal.block_name = reader.readString(reader.u16());
        signal.label = reader.readString(reader.u16());
        signal.index = i;
        signalList->push_back(std::move(signal));
    }
    const std::uint32_t computed = reader.crc();
    if (reader.u32() != computed)
        throw FileFormatException("Metadata CRC error");
    m_signals = std::move(signalList);
}

void LogFile::readLegacySignalList()
{
    std::istream &stream = *m_stream;
    auto readTerminated = [&stream] {
        std::string text;
        char c;
        while (stream.get(c) && c != '\0')
            text.push_back(c);
        return text;
    };
    auto signalList = std::make_shared<SignalList>();
    std::uint8_t countBytes[4];
    stream.read(reinterpret_cast<char *>(countBytes), 4);
    // Only the low half of the word counts.
    const std::uint16_t count = u16At(countBytes);
    signalList->reserve(plausibleCount(count, 28));
    for (std::uint16_t i = 0; i < count; ++i) {
        std::uint8_t fixed[25];
        stream.read(reinterpret_cast<char *>(fixed), sizeof fixed);
        Signal signal;
        signal.typeId = u16At(fixed + 2);
        signal.flags = u16At(fixed + 4);
        signal.startT = f32At(fixed + 6);
        signal.stopT = f32At(fixed + 10);
        signal.stepT = f32At(fixed + 14);
        signal.sampleTime = f32At(fixed + 18);
        signal.sampleSize = u16At(fixed + 22);
        signal.dims.resize(fixed[24]);
        for (auto &dim : signal.dims) {
            std::uint8_t bytes[2];
            stream.read(reinterpret_cast<char *>(bytes), 2);
            dim = u16At(bytes);
        }
        signal.name = readTerminated();
        signal.block_name = readTerminated();
        signal.label = readTerminated();
        signal.index = i;
        signalList->push_back(std::move(signal));
    }
    m_signals = std::move(signalList);
}

void LogFile::readDataSectionHeader()
{
    std::istream &stream = *m_stream;
    std::uint8_t header[16];
    stream.read(reinterpret_cast<char *>(header), 16);
    const std::int64_t dataStart = std::int64_t(stream.tellg());
    std::uint32_t first = u32At(header);
    std::uint32_t stop = u32At(header + 4);
    std::uint32_t third = u32At(header + 8);
    if (m_legacy) {
        // Counted from the header itself, in 32-bit arithmetic as the device does.
        const auto base = std::uint32_t(dataStart - 16);
        first += base;
        stop += base;
        third += base;
    } else if (crc32Mpeg2(CrcStart, header, 12) != u32At(header + 12)) {
        throw FileFormatException("Data header CRC failed");
    }
    // Positions outside the data area have no meaning; taken as they stand they would send the
    // walk round the ring for ever or read before the area.
    const auto inArea
        = [&](std::int64_t position) { return position >= dataStart && position <= m_fileEnd; };
    if (!inArea(first) || !inArea(stop))
        throw FileFormatException("Data positions outside the data area");
    m_dataSection = std::make_unique<DataSection>(stream, dataStart, first, stop, third, m_signals,
                                                  m_fileEnd);
}

} // namespace logfile
