#include "ZipArchive.h"

#include <zip.h>

#include <cstdio>
#include <vector>

ZipArchive::~ZipArchive()
{
    if (m_archive)
        zip_discard(m_archive);
}

std::unique_ptr<ZipArchive> ZipArchive::fromBuffer(const void *data, std::uint64_t size,
                                                   OpenMode mode)
{
    if (mode != ReadOnly && mode != Write && mode != New)
        return nullptr;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(data, size, 0, &error);
    if (!source) {
        std::fprintf(stderr, "can't open zip from source: %s\n", zip_error_strerror(&error));
        zip_error_fini(&error);
        return nullptr;
    }
    zip_t *archive = zip_open_from_source(source, mode == ReadOnly ? ZIP_RDONLY : 0, &error);
    if (!archive) {
        std::fprintf(stderr, "can't open zip from source: %s\n", zip_error_strerror(&error));
        zip_source_free(source);
        zip_error_fini(&error);
        return nullptr;
    }
    zip_error_fini(&error);
    std::unique_ptr<ZipArchive> result(new ZipArchive);
    result->m_archive = archive;
    result->m_source = source;
    result->m_mode = mode;
    return result;
}

std::vector<ZipEntry> ZipArchive::getEntries(State state) const
{
    std::vector<ZipEntry> entries;
    const zip_flags_t flags = state == Original ? ZIP_FL_UNCHANGED : 0;
    const zip_int64_t count = zip_get_num_entries(m_archive, flags);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(m_archive, zip_uint64_t(i), flags, &stat) != 0)
            continue;
        ZipEntry entry;
        entry.archive = this;
        entry.name = stat.name ? stat.name : "";
        entry.index = stat.index;
        entry.modificationTime = stat.mtime;
        entry.compressionMethod = stat.comp_method;
        entry.encryptionMethod = stat.encryption_method;
        entry.size = stat.size;
        entry.compressedSize = stat.comp_size;
        entry.crc = stat.crc;
        entries.push_back(std::move(entry));
    }
    return entries;
}

int ZipArchive::readEntry(const ZipEntry &entry, std::ostream &output, State state,
                          std::uint64_t chunkSize) const
{
    if (!output.good())
        return -1;
    if (!m_archive)
        return -2;
    if (entry.archive != this)
        return -3;
    if (chunkSize == 0)
        return -4;
    zip_file_t *file
        = zip_fopen_index(m_archive, entry.index, state == Original ? ZIP_FL_UNCHANGED : 0);
    if (!file)
        return -5;
    std::vector<char> buffer(
        std::size_t(std::min(chunkSize, std::max<std::uint64_t>(entry.size, 1))));
    std::uint64_t remaining = entry.size;
    int result = 0;
    while (remaining > 0) {
        const std::uint64_t want = std::min<std::uint64_t>(remaining, buffer.size());
        const zip_int64_t got = zip_fread(file, buffer.data(), want);
        if (got < 0 || std::uint64_t(got) != want) {
            result = -6;
            break;
        }
        output.write(buffer.data(), std::streamsize(got));
        if (!output.good()) {
            result = -7;
            break;
        }
        remaining -= want;
    }
    // A stored size that is too small would leave data unread: the entry must end here, and
    // libzip checks the CRC only when it reads to the end.
    if (result == 0) {
        char probe;
        if (zip_fread(file, &probe, 1) != 0)
            result = -6;
    }
    if (zip_fclose(file) != 0 && result == 0)
        result = -8;
    return result;
}
