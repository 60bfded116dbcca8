#include "MtScrambler.h"

#include <bit>

namespace {

constexpr int kM = 397;
constexpr std::uint32_t kMatrix = 0x9908B0DFu;
constexpr std::uint32_t kUpperMask = 0x80000000u;
constexpr std::uint32_t kLowerMask = 0x7FFFFFFFu;
constexpr std::uint32_t kSeedMultiplier = 6069u;
constexpr std::uint32_t kDefaultSeed = 4357u;

constexpr std::uint32_t twist(std::uint32_t upper, std::uint32_t lower, std::uint32_t far)
{
    const std::uint32_t y = (upper & kUpperMask) | (lower & kLowerMask);
    return far ^ (y >> 1) ^ ((y & 1u) ? kMatrix : 0u);
}

} // namespace

void MtScrambler::Generator::seed(std::uint32_t s)
{
    m_state[0] = s;
    for (int i = 1; i < N; ++i)
        m_state[i] = m_state[i - 1] * kSeedMultiplier;
    m_index = N;
}

void MtScrambler::Generator::regenerate()
{
    int k = 0;
    for (; k < N - kM; ++k)
        m_state[k] = twist(m_state[k], m_state[k + 1], m_state[k + kM]);
    for (; k < N - 1; ++k)
        m_state[k] = twist(m_state[k], m_state[k + 1], m_state[k + kM - N]);
    m_state[N - 1] = twist(m_state[N - 1], m_state[0], m_state[kM - 1]);
    m_index = 0;
}

std::uint32_t MtScrambler::Generator::next()
{
    if (m_index >= N || m_index < 0) {
        if (m_index != N)
            seed(kDefaultSeed);
        regenerate();
    }
    std::uint32_t y = m_state[m_index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

int MtScrambler::seed(std::int32_t s)
{
    if (m_mode != 1)
        return -1;
    m_a.seed(std::uint32_t(s));
    m_b.seed(m_a.next());
    return 0;
}

int MtScrambler::apply(void *buffer, std::uint32_t length, int mode)
{
    if (mode != 1)
        return -1;
    if (length % 4 != 0)
        return -22;
    auto *bytes = static_cast<std::uint8_t *>(buffer);
    const std::uint32_t words = length / 4;
    for (std::uint32_t i = 0; i < words; ++i) {
        std::uint8_t *p = bytes + 4 * std::size_t(i);
        std::uint32_t w = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
            | std::uint32_t(p[3]) << 24;
        const std::uint32_t k = m_a.next();
        const std::uint32_t c = m_b.next();
        switch (c % 4) {
        case 0:
            w ^= k;
            break;
        case 1:
            w = std::rotl(w, int(k % 32)); // rotl by 0 is defined, unlike w >> 32
            break;
        case 2:
            w += k;
            break;
        default:
            break;
        }
        p[0] = std::uint8_t(w);
        p[1] = std::uint8_t(w >> 8);
        p[2] = std::uint8_t(w >> 16);
        p[3] = std::uint8_t(w >> 24);
    }
    return 0;
}

void scrambleThreePass(void *buffer, std::uint32_t length, std::int32_t seedA, std::int32_t seedB,
                       std::int32_t seedC)
{
    MtScrambler scrambler;
    scrambler.setMode(1);
    for (const std::int32_t s : { seedA, seedB, seedC }) {
        if (scrambler.seed(s) < 0 || scrambler.apply(buffer, length, 1) < 0)
            return;
    }
}
