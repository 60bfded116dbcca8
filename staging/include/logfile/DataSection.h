#pragma once

#include "logfile/LogTypes.h"
#include "logfile/RecordIterator.h"

#include <cstdint>
#include <istream>

namespace logfile {

// The ring of records: dataStart is the byte after the data-section header, fileEnd the end of
// the file; first and stop lie in [dataStart, fileEnd] (the file object checks that).
class DataSection
{
public:
    DataSection(std::istream &stream, std::int64_t dataStart, std::int64_t first, std::int64_t stop,
                std::uint32_t thirdPosition, SharedSignalList signalList, std::int64_t fileEnd);

    RecordIterator begin() const;
    RecordIterator end() const;
    // Ring bytes from first to stop.
    std::uint64_t size() const;

    std::int64_t dataStart() const { return m_dataStart; }
    std::int64_t first() const { return m_first; }
    std::int64_t stop() const { return m_stop; }
    std::uint32_t thirdPosition() const { return m_thirdPosition; }
    std::int64_t fileEnd() const { return m_fileEnd; }

private:
    std::istream *m_stream;
    std::int64_t m_dataStart;
    std::int64_t m_first;
    std::int64_t m_stop;
    std::uint32_t m_thirdPosition;
    SharedSignalList m_signals;
    std::int64_t m_fileEnd;
};

} // namespace logfile
