#include "ElfReader.h"

#include <gelf.h>
#include <libelf.h>

#include <algorithm>
#include <cstring>

namespace {

// True when [offset, offset + count * entrySize) lies inside a file of `size` bytes, without any
// of the products or sums overflowing.
bool tableFits(std::uint64_t offset, std::uint64_t count, std::uint64_t entrySize,
               std::uint64_t size)
{
    if (count == 0)
        return true;
    if (entrySize == 0 || offset > size)
        return false;
    return count <= (size - offset) / entrySize;
}

bool rangeFits(std::uint64_t offset, std::uint64_t length, std::uint64_t size)
{
    return length <= size && offset <= size - length;
}

bool libelfReady()
{
    static const bool ready = elf_version(EV_CURRENT) != EV_NONE;
    return ready;
}

} // namespace

ElfReader::ElfReader() = default;
ElfReader::~ElfReader() = default;

void ElfReader::clear()
{
    m_loaded = false;
    m_bytes.clear();
    m_segments.clear();
    m_sections.clear();
}

bool ElfReader::load(const std::uint8_t *data, std::size_t size)
{
    clear();
    if (!libelfReady() || data == nullptr || size == 0)
        return false;
    m_bytes.assign(data, data + size);

    // libelf opens memory as a private mapping and may convert headers of the other byte order
    // in place; segment 0 usually covers those headers, so libelf works on a copy of its own and
    // segment bytes are always taken from the untouched m_bytes.
    std::vector<std::uint8_t> scratch(m_bytes);
    Elf *elf = elf_memory(reinterpret_cast<char *>(scratch.data()), scratch.size());
    if (elf == nullptr)
        return clear(), false;
    const bool ok = elf_kind(elf) == ELF_K_ELF && readTables(elf);
    elf_end(elf);
    if (!ok)
        return clear(), false;
    m_loaded = true;
    return true;
}

bool ElfReader::readTables(Elf *elf)
{
    const std::uint64_t size = m_bytes.size();
    GElf_Ehdr ehdr;
    if (gelf_getehdr(elf, &ehdr) == nullptr)
        return false;

    // libelf quietly lowers the counts to what fits in the file, so a cut-off table would read as
    // a shorter one: the counts the header states must be the counts libelf reports.
    std::size_t phnum = 0;
    if (elf_getphdrnum(elf, &phnum) != 0)
        return false;
    if (ehdr.e_phnum != PN_XNUM && phnum != ehdr.e_phnum)
        return false;
    if (ehdr.e_phnum == PN_XNUM) {
        GElf_Shdr first;
        Elf_Scn *zero = elf_getscn(elf, 0);
        if (zero == nullptr || gelf_getshdr(zero, &first) == nullptr || first.sh_info != phnum)
            return false;
    }
    if (phnum > 0
        && (ehdr.e_phentsize != gelf_fsize(elf, ELF_T_PHDR, 1, EV_CURRENT)
            || !tableFits(ehdr.e_phoff, phnum, ehdr.e_phentsize, size)))
        return false;
    m_segments.reserve(phnum);
    for (std::size_t i = 0; i < phnum; ++i) {
        GElf_Phdr phdr;
        if (gelf_getphdr(elf, int(i), &phdr) == nullptr)
            return false;
        if (!rangeFits(phdr.p_offset, phdr.p_filesz, size))
            return false;
        m_segments.push_back(
            { phdr.p_type, phdr.p_offset, phdr.p_vaddr, phdr.p_filesz, phdr.p_memsz });
    }

    std::size_t shnum = 0;
    if (elf_getshdrnum(elf, &shnum) != 0 || (ehdr.e_shnum != 0 && shnum != ehdr.e_shnum))
        return false;
    if (shnum == 0)
        return true;
    if (ehdr.e_shentsize != gelf_fsize(elf, ELF_T_SHDR, 1, EV_CURRENT)
        || !tableFits(ehdr.e_shoff, shnum, ehdr.e_shentsize, size))
        return false;

    std::size_t nameIndex = 0;
    if (elf_getshdrstrndx(elf, &nameIndex) != 0)
        return false;
    std::uint64_t namesOffset = 0;
    std::uint64_t namesSize = 0;
    if (nameIndex != SHN_UNDEF) {
        GElf_Shdr names;
        Elf_Scn *scn = nameIndex < shnum ? elf_getscn(elf, nameIndex) : nullptr;
        if (scn == nullptr || gelf_getshdr(scn, &names) == nullptr || names.sh_type == SHT_NOBITS
            || !rangeFits(names.sh_offset, names.sh_size, size))
            return false;
        namesOffset = names.sh_offset;
        namesSize = names.sh_size;
    }

    m_sections.reserve(shnum);
    for (std::size_t i = 0; i < shnum; ++i) {
        Elf_Scn *scn = elf_getscn(elf, i);
        GElf_Shdr shdr;
        if (scn == nullptr || gelf_getshdr(scn, &shdr) == nullptr)
            return false;
        ElfSection section;
        section.address = shdr.sh_addr;
        if (namesSize > 0) {
            if (shdr.sh_name >= namesSize)
                return false;
            const auto *begin = m_bytes.data() + namesOffset + shdr.sh_name;
            const auto *end = m_bytes.data() + namesOffset + namesSize;
            const auto *zero = std::find(begin, end, std::uint8_t(0));
            if (zero == end)
                return false;
            section.name.assign(reinterpret_cast<const char *>(begin), std::size_t(zero - begin));
        }
        m_sections.push_back(std::move(section));
    }
    return true;
}

std::optional<std::uint64_t> ElfReader::sectionAddress(std::string_view name) const
{
    for (const ElfSection &section : m_sections) {
        if (section.name == name)
            return section.address;
    }
    return std::nullopt;
}

const std::uint8_t *ElfReader::fileBytes(std::uint64_t offset, std::uint64_t length) const
{
    if (!rangeFits(offset, length, m_bytes.size()))
        return nullptr;
    return m_bytes.data() + offset;
}
