// libFuzzer target: the app-binary header reader (every header version) on a whole file's bytes,
// and the round trip of whatever it accepts through the version-3 writer. Qt-free; links
// AppFileHeader only.
// By hand, from the source tree:
//   clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Istaging/include \
//     tests/fuzz/fuzz_appBinaryHeader.cpp staging/src/AppFileHeader.cpp -o fuzz_appBinaryHeader
//   /usr/bin/python3 tests/fuzz/make_appbin_seeds.py seeds
//   ./fuzz_appBinaryHeader -max_len=2048 -max_total_time=60 seeds/appBinaryHeader
#include "AppFileHeader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto extent = appheader::headerExtent(data, size, size);
    if (!extent)
        return 0;
    if (extent->headerSize > size - 4)
        __builtin_trap(); // the reader must never be asked for more than the file holds
    const auto header = appheader::decode(data, extent->headerSize + 4, *extent);
    if (!header)
        return 0;

    const std::vector<std::uint8_t> bytes = appheader::serializeAppHeader(*header);
    const auto again = appheader::parseAppBinaryHeader(bytes.data(), bytes.size());
    if (!again || again->magic != header->magic || again->headerVersion != header->headerVersion
        || again->headerSize != header->headerSize || again->versionNumber != header->versionNumber
        || again->firmwareNumber != header->firmwareNumber || again->flags != header->flags
        || again->flagNibble != header->flagNibble || again->creationTime != header->creationTime
        || again->buildId != header->buildId || again->boardType != header->boardType
        || again->tags != header->tags || again->versionText != header->versionText
        || again->applicationName != header->applicationName)
        __builtin_trap();
    return 0;
}
