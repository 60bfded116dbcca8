#pragma once

#include "logfile/DataSection.h"
#include "logfile/LogFileExceptions.h"
#include "logfile/LogTypes.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>

namespace logfile {

// A device log file (".zlf"), legacy ("L33T") or current (`ZLF`). Reads the header, the
// metadata, the signal list and the data-section header at construction and throws UnknownMagic
// or FileFormatException when the file is not one; no partly read object is left then.
//
// The caller opens the stream (binary, read-only) and keeps it open while this object and its
// iterators are used. The stream is set to throw on eofbit and failbit and stays so, so a read
// error while walking the records reaches the caller as std::ios_base::failure.
class LogFile
{
public:
    explicit LogFile(std::istream &stream);

    int version() const { return m_version; }
    bool isLegacy() const { return m_legacy; }
    // Absent for a legacy file; users treat that as empty.
    const std::optional<Metadata> &metadata() const { return m_metadata; }
    const SharedSignalList &signalList() const { return m_signals; }
    const DataSection &dataSection() const { return *m_dataSection; }

    std::int64_t dataSectionOffset() const { return m_dataSectionOffset; }
    std::int64_t signalListOffset() const { return m_signalListOffset; }
    std::int64_t metadataOffset() const { return m_metadataOffset; }

private:
    void readFile();
    void readMetadata();
    void readSignalList();
    void readLegacySignalList();
    void readDataSectionHeader();
    std::size_t plausibleCount(std::size_t count, std::size_t minimumBytes) const;

    std::istream *m_stream;
    SharedSignalList m_signals;
    std::optional<Metadata> m_metadata;
    std::unique_ptr<DataSection> m_dataSection;
    int m_version = 0;
    std::int64_t m_dataSectionOffset = 0;
    std::int64_t m_signalListOffset = 0;
    std::int64_t m_metadataOffset = 0;
    bool m_legacy = false;
    std::int64_t m_fileEnd = 0;
};

} // namespace logfile
