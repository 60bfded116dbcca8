#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One program-header entry as the file states it, in host byte order and widened to 64 bits.
struct ElfSegment
{
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t virtualAddress = 0;
    std::uint64_t fileSize = 0;
    std::uint64_t memorySize = 0;
};

struct ElfSection
{
    std::string name;
    std::uint64_t address = 0;
};

// Reads the program headers and section names of an ELF file held in memory (32 or 64 bit,
// either byte order) through libelf. Every offset and size the file states is checked against the
// file before it is used: a table or a segment that reaches beyond the end refuses the whole file.
//
// libelf hands out no segment data, so the bytes of a segment come from the reader's own copy of
// the file (segmentBytes). No Qt; one object per thread.
class ElfReader
{
public:
    ElfReader();
    ~ElfReader();
    ElfReader(const ElfReader &) = delete;
    ElfReader &operator=(const ElfReader &) = delete;

    // Replaces what was loaded before. False (and nothing loaded) for anything but a well-formed
    // ELF file whose tables and segments all lie inside the given bytes.
    bool load(const std::uint8_t *data, std::size_t size);
    bool isLoaded() const { return m_loaded; }

    // All program-header entries in file order, whatever their type. Changes made through the
    // non-const overload stay in this object.
    const std::vector<ElfSegment> &segments() const { return m_segments; }
    std::vector<ElfSegment> &segments() { return m_segments; }

    const std::vector<ElfSection> &sections() const { return m_sections; }
    // Address of the first section named exactly `name`.
    std::optional<std::uint64_t> sectionAddress(std::string_view name) const;

    // The file's bytes [offset, offset + length), or null when that range is not inside the file.
    const std::uint8_t *fileBytes(std::uint64_t offset, std::uint64_t length) const;
    std::size_t fileSize() const { return m_bytes.size(); }

private:
    void clear();
    bool readTables(struct Elf *elf);

    bool m_loaded = false;
    std::vector<std::uint8_t> m_bytes;
    std::vector<ElfSegment> m_segments;
    std::vector<ElfSection> m_sections;
};
