// libFuzzer target: the ELF reader and the flash image built from whatever it accepts, plus the
// search for an ELF inside an ar archive. Qt-free; links ElfReader, FlashImage, the CRC and libelf.
// By hand, from the source tree:
//   clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Istaging/include \
//     -Icore/include tests/fuzz/fuzz_elfReader.cpp staging/src/ElfReader.cpp \
//     staging/src/FlashImage.cpp core/src/Crc32.cpp core/src/Crc32Clmul.cpp -lelf -o fuzz_elfReader
//   /usr/bin/python3 tests/fuzz/make_appbin_seeds.py seeds
//   ./fuzz_elfReader -max_len=8192 -max_total_time=60 seeds/elfReader
#include "ElfReader.h"
#include "FlashImage.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {
constexpr std::uint64_t fuzzImageBudget = 1024 * 1024;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 0) {
        const std::size_t start = data[0] % 128;
        const auto found = flashimage::findElfInArchive(data, size, start);
        if (found && (*found > size || size - *found < 4))
            __builtin_trap();
    }

    ElfReader reader;
    if (!reader.load(data, size))
        return 0;
    for (const ElfSegment &segment : reader.segments()) {
        if (reader.fileBytes(segment.offset, segment.fileSize) == nullptr)
            __builtin_trap(); // load promised every segment lies inside the file
    }
    // Images of many megabytes are sound but zero-filling them would take most of each run; the
    // size limit itself is plain arithmetic the unit tests cover.
    std::uint64_t memory = 0;
    for (const ElfSegment &segment : reader.segments())
        memory += segment.memorySize > fuzzImageBudget ? fuzzImageBudget + 1 : segment.memorySize;
    if (memory > fuzzImageBudget) {
        flashimage::applyAppInfoOffset(reader);
        return 0;
    }
    const auto image = flashimage::buildFlashImage(reader, "fuzz.1.2.3", 0x5A5A5A5A);
    if (image) {
        std::uint32_t count = 0;
        std::memcpy(&count, image->data() + 44, 4);
        if (image->size() > flashimage::maxImageSize
            || image->size() < flashimage::headerSize + flashimage::recordSize * count)
            __builtin_trap();
    }
    return 0;
}
