#pragma once

#include "logfile/LogTypes.h"

#include <cstdint>
#include <istream>
#include <vector>

namespace logfile {

// Walks the records of a data area, which is a ring: from first to the end of the file, then on
// from dataStart up to stop. Reads through one 4096-byte block buffer, one seek and one read per
// block visited. Forward only; must not outlive the stream.
//
// Positions the file makes up (a record or bitmap running past its block or the end of the file,
// a walk that comes round the ring a second time) raise FileFormatException: the walk never reads
// outside its buffer and always ends. Read errors of the stream come out as std::ios_base::failure.
class RecordIterator
{
public:
    static constexpr std::int64_t BlockSize = 4096;

    // An iterator at `position`; `isEnd` makes it the end marker of a walk (it never moves).
    RecordIterator(std::istream &stream, std::int64_t position, std::int64_t dataStart,
                   std::int64_t fileEnd, std::int64_t stop, bool ringWrapped,
                   SharedSignalList signalList, bool isEnd = false);

    Record operator*() const;
    RecordIterator &operator++();

    // With the end marker: whether the walk is over. Otherwise: equal positions.
    bool operator==(const RecordIterator &other) const;

    std::uint64_t bytesConsumed() const { return m_bytesConsumed; }
    std::int64_t position() const { return m_position; }

private:
    bool walkIsOver() const;
    void loadBlock(std::int64_t position);
    // Sets m_recordLength, or -1 when the bitmap or the record does not fit its block and the
    // file; checked only when the record is used, since the end marker's position need not hold
    // one.
    void computeRecordLength();
    void requireRecord() const;
    bool presenceBit(std::size_t offsetInBuffer, std::size_t bit) const;

    std::istream *m_stream;
    std::int64_t m_position;
    std::int64_t m_fileEnd;
    std::int64_t m_dataStart;
    std::int64_t m_stop;
    SharedSignalList m_signals;
    std::size_t m_bitmapSize;
    bool m_wrapped = false;
    bool m_ringWrapped;
    bool m_isEnd;
    std::vector<std::uint8_t> m_block;
    std::int64_t m_blockStart = -1;
    std::int64_t m_recordLength = 0;
    std::uint64_t m_bytesConsumed = 0;
};

} // namespace logfile
