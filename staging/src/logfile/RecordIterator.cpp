#include "logfile/RecordIterator.h"

#include "logfile/LogFileExceptions.h"

#include <algorithm>
#include <cstring>

namespace logfile {

namespace {

// Filler for the part of the buffer past the end of the file: reads as "no record here".
constexpr std::uint8_t NoRecord = 0x01;

} // namespace

RecordIterator::RecordIterator(std::istream &stream, std::int64_t position, std::int64_t dataStart,
                               std::int64_t fileEnd, std::int64_t stop, bool ringWrapped,
                               SharedSignalList signalList, bool isEnd)
    : m_stream(&stream)
    , m_position(position)
    , m_fileEnd(fileEnd)
    , m_dataStart(dataStart)
    , m_stop(stop)
    , m_signals(std::move(signalList))
    , m_bitmapSize((m_signals->size() + 8) / 8)
    , m_ringWrapped(ringWrapped)
    , m_isEnd(isEnd)
{
    // The end marker is only compared with, never read.
    if (m_isEnd)
        return;
    m_block.assign(BlockSize, NoRecord);
    loadBlock(m_position);
    computeRecordLength();
}

bool RecordIterator::walkIsOver() const
{
    if (m_ringWrapped)
        return m_wrapped && m_position >= m_stop;
    return m_wrapped || m_position >= m_stop;
}

bool RecordIterator::operator==(const RecordIterator &other) const
{
    if (m_isEnd && other.m_isEnd)
        return true;
    if (m_isEnd)
        return other.walkIsOver();
    if (other.m_isEnd)
        return walkIsOver();
    return m_position == other.m_position;
}

void RecordIterator::loadBlock(std::int64_t position)
{
    const std::int64_t blockStart = position - position % BlockSize;
    if (blockStart == m_blockStart)
        return;
    const std::int64_t available = std::clamp<std::int64_t>(m_fileEnd - blockStart, 0, BlockSize);
    // Forget the old block first: should the read fail, the buffer no longer claims to hold it.
    m_blockStart = -1;
    if (available > 0) {
        m_stream->seekg(std::streamoff(blockStart), std::ios::beg);
        m_stream->read(reinterpret_cast<char *>(m_block.data()), std::streamsize(available));
    }
    std::fill(m_block.begin() + available, m_block.end(), NoRecord);
    m_blockStart = blockStart;
}

bool RecordIterator::presenceBit(std::size_t offsetInBuffer, std::size_t bit) const
{
    return (m_block[offsetInBuffer + bit / 8] >> (bit % 8)) & 1;
}

void RecordIterator::computeRecordLength()
{
    m_recordLength = -1;
    const std::int64_t limit = std::min(m_blockStart + BlockSize, m_fileEnd);
    const auto offset = std::size_t(m_position - m_blockStart);
    if (m_position < m_blockStart || m_position + std::int64_t(m_bitmapSize) > limit)
        return;
    std::int64_t length = std::int64_t(m_bitmapSize);
    const SignalList &signalList = *m_signals;
    for (std::size_t byte = 0; byte < m_bitmapSize; ++byte) {
        const std::uint8_t bits = m_block[offset + byte];
        if (bits == 0)
            continue;
        for (std::size_t bit = 0; bit < 8; ++bit) {
            const std::size_t k = byte * 8 + bit;
            if (k == 0 || k > signalList.size() || !((bits >> bit) & 1))
                continue;
            length += signalList[k - 1].sampleSize;
        }
    }
    if (m_position + length > limit)
        return;
    m_recordLength = length;
}

void RecordIterator::requireRecord() const
{
    if (m_isEnd || m_recordLength < 0)
        throw FileFormatException("Record runs past its block");
}

RecordIterator &RecordIterator::operator++()
{
    if (m_isEnd || m_position == m_stop)
        return *this;
    requireRecord();
    m_bytesConsumed += std::uint64_t(m_recordLength);
    m_position += m_recordLength;
    for (;;) {
        if (m_position >= m_fileEnd) {
            // A ring is walked once; coming round again means the positions never meet stop.
            if (m_wrapped)
                throw FileFormatException("Record walk passed the ring twice");
            m_position = m_dataStart;
            m_wrapped = true;
        }
        if (walkIsOver())
            break;
        loadBlock(m_position);
        if (!(m_block[std::size_t(m_position - m_blockStart)] & NoRecord))
            break;
        // The last block of a file may be cut short: the bytes skipped end with the file, so
        // the bytes consumed never exceed the ring's size.
        const std::int64_t next
            = std::min(m_position - m_position % BlockSize + BlockSize, m_fileEnd);
        m_bytesConsumed += std::uint64_t(next - m_position);
        m_position = next;
    }
    loadBlock(m_position);
    computeRecordLength();
    return *this;
}

Record RecordIterator::operator*() const
{
    requireRecord();
    Record record;
    record.signalList = m_signals;
    record.bytesConsumed = m_bytesConsumed;
    const auto offset = std::size_t(m_position - m_blockStart);
    record.bytes.assign(m_block.begin() + std::ptrdiff_t(offset),
                        m_block.begin() + std::ptrdiff_t(offset + std::size_t(m_recordLength)));
    const SignalList &signalList = *m_signals;
    const std::span<const std::uint8_t> bytes(record.bytes);
    std::size_t sampleOffset = m_bitmapSize;
    for (std::size_t i = 0; i < signalList.size(); ++i) {
        if (!presenceBit(offset, i + 1))
            continue;
        // With several time-base signalList present the last one in list order wins.
        if (signalList[i].flags & TimeBaseFlag)
            record.timeIndex = int(record.samples.size());
        record.samples.push_back(Sample{ &signalList[i], bytes, sampleOffset });
        sampleOffset += std::size_t(signalList[i].sampleSize);
    }
    return record;
}

} // namespace logfile
