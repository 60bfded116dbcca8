#pragma once

#include <array>
#include <cstdint>

// Reversible word scrambler driven by two MT19937 generators. The device sends a seed for the
// software upload; key material for the file decryptions is built with scrambleThreePass.
//
// The generators use the device's own seeding (multiplier 6069, not the usual 69069), so their
// output matches the firmware's; the core and the tempering are standard MT19937.
class MtScrambler
{
public:
    class Generator
    {
    public:
        // state[0] = s, state[i] = state[i - 1] * 6069 (mod 2^32); the next draw regenerates.
        void seed(std::uint32_t s);
        // A generator that was never seeded seeds itself with 4357 on its first draw.
        std::uint32_t next();

    private:
        void regenerate();

        static constexpr int N = 624;
        std::array<std::uint32_t, N> m_state{};
        int m_index = N + 1;
    };

    // 1 is the only mode; any other value makes seed fail.
    void setMode(int mode) { m_mode = mode; }
    int mode() const { return m_mode; }

    // Seeds generator A with s and generator B with A's first output. 0, or -1 (generators left
    // as they were) when the mode is not 1.
    int seed(std::int32_t s);

    // Scrambles length bytes in place as little-endian 32-bit words; buffer needs no alignment.
    // 0 on success, -1 when mode is not 1, -22 when length is not a multiple of 4 (buffer
    // untouched in both cases).
    int apply(void *buffer, std::uint32_t length, int mode);

private:
    Generator m_a;
    Generator m_b;
    int m_mode = 0;
};

// Three scrambles with seedA, seedB and seedC on a fresh scrambler in mode 1; stops at the first
// failure, so a length that is not a multiple of 4 leaves buffer unchanged.
void scrambleThreePass(void *buffer, std::uint32_t length, std::int32_t seedA, std::int32_t seedB,
                       std::int32_t seedC);
