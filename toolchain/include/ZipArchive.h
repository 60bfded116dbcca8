#pragma once

#include "ZipEntry.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

struct zip;
struct zip_source;

// A zip archive read through libzip. Only in-memory archives opened read-only are needed here.
class ZipArchive
{
public:
    enum OpenMode : int { ReadOnly = 1, Write = 2, New = 3 };
    enum State : int { Original = 0, Current = 1 };

    virtual ~ZipArchive();

    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    // Opens data (which must outlive the archive) without a consistency check. Null, with
    // "can't open zip from source: <reason>" on standard error, when it is no zip archive.
    static std::unique_ptr<ZipArchive> fromBuffer(const void *data, std::uint64_t size,
                                                  OpenMode mode);

    std::vector<ZipEntry> getEntries(State state) const;

    // Copies the entry's uncompressed bytes to output in chunks of chunkSize. 0 on success;
    // negative when output is not good, the entry is not of this archive or opening, reading or
    // writing fails (a short entry, a method libzip cannot decode, a bad CRC).
    int readEntry(const ZipEntry &entry, std::ostream &output, State state,
                  std::uint64_t chunkSize) const;

private:
    ZipArchive() = default;

    std::string m_path;
    zip *m_archive = nullptr;
    zip_source *m_source = nullptr;
    OpenMode m_mode = ReadOnly;
    std::string m_password;
};
