#pragma once

#include <cstddef>
#include <cstdint>

class AesKeySchedule;

// The AES block function in two builds: the processor's AES instructions, and 32-bit table rounds
// for processors without them. AesFileEncryption runs its modes on the best one present; both are
// reachable here so the same inputs can be run through each.
//
// Each function transforms `blocks` whole 16-byte blocks independently (in and out may be the same
// buffer). Stateless; any thread.
struct AesEngine
{
    const char *name;
    void (*encrypt)(const AesKeySchedule &keys, const std::uint8_t *in, std::uint8_t *out,
                    std::size_t blocks);
    void (*decrypt)(const AesKeySchedule &keys, const std::uint8_t *in, std::uint8_t *out,
                    std::size_t blocks);
};

// Runs anywhere. Its lookups depend on key and data, so it is only the fallback.
const AesEngine &aesTableEngine();
// Null when the processor has no AES instructions.
const AesEngine *aesInstructionEngine();
// The instructions where present, else the tables; chosen once.
const AesEngine &aesBestEngine();
