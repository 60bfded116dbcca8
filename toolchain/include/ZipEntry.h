#pragma once

#include <cstdint>
#include <ctime>
#include <string>

class ZipArchive;

// The description of one entry of a ZipArchive, as libzip reports it. A value; it stays tied to
// the archive it came from, which must outlive its use.
class ZipEntry
{
public:
    virtual ~ZipEntry() = default;

    const ZipArchive *archive = nullptr;
    std::string name;
    std::uint64_t index = 0;
    std::time_t modificationTime = 0;
    std::uint16_t compressionMethod = 0;
    std::uint16_t encryptionMethod = 0;
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;
    std::uint32_t crc = 0;

    bool isDirectory() const { return !name.empty() && name.back() == '/'; }
};
