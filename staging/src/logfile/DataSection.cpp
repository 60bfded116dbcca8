#include "logfile/DataSection.h"

namespace logfile {

DataSection::DataSection(std::istream &stream, std::int64_t dataStart, std::int64_t first,
                         std::int64_t stop, std::uint32_t thirdPosition,
                         SharedSignalList signalList, std::int64_t fileEnd)
    : m_stream(&stream)
    , m_dataStart(dataStart)
    , m_first(first)
    , m_stop(stop)
    , m_thirdPosition(thirdPosition)
    , m_signals(std::move(signalList))
    , m_fileEnd(fileEnd)
{ }

RecordIterator DataSection::begin() const
{
    return RecordIterator(*m_stream, m_first, m_dataStart, m_fileEnd, m_stop, m_stop < m_first,
                          m_signals);
}

RecordIterator DataSection::end() const
{
    return RecordIterator(*m_stream, m_stop, m_dataStart, m_fileEnd, m_stop, m_stop < m_first,
                          m_signals, true);
}

std::uint64_t DataSection::size() const
{
    if (m_stop >= m_first)
        return std::uint64_t(m_stop - m_first);
    return std::uint64_t((m_fileEnd - m_dataStart) - m_first + m_stop);
}

} // namespace logfile
