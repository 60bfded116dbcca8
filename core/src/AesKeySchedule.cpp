#include "AesKeySchedule.h"

#include "AesTables.h"

#include <bit>
#include <cstring>
#include <string.h> // explicit_bzero

namespace {

using aestables::kSbox;

// Column arithmetic on four bytes at once (byte i of the column in bits 8i..8i+7); no table and no
// branch on the key.
std::uint32_t xtime4(std::uint32_t x)
{
    return ((x & 0x7F7F7F7Fu) << 1) ^ (((x >> 7) & 0x01010101u) * 0x1Bu);
}

std::uint32_t rotr(std::uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

std::uint32_t invMixColumn(std::uint32_t column)
{
    // InvMixColumns is MixColumns after adding 4 * (a[i] ^ a[i + 2]) to every byte a[i].
    column ^= xtime4(xtime4(column ^ rotr(column, 16)));
    const std::uint32_t next = rotr(column, 8);
    return xtime4(column ^ next) ^ next ^ rotr(column, 16) ^ rotr(column, 24);
}

std::uint32_t loadColumn(const std::uint8_t *p)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t column;
        std::memcpy(&column, p, 4);
        return column;
    }
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
        | std::uint32_t(p[3]) << 24;
}

void storeColumn(std::uint8_t *p, std::uint32_t column)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &column, 4);
        return;
    }
    p[0] = std::uint8_t(column);
    p[1] = std::uint8_t(column >> 8);
    p[2] = std::uint8_t(column >> 16);
    p[3] = std::uint8_t(column >> 24);
}

std::uint32_t subWord(std::uint32_t word)
{
    return std::uint32_t(kSbox[word & 0xFFu]) | std::uint32_t(kSbox[(word >> 8) & 0xFFu]) << 8
        | std::uint32_t(kSbox[(word >> 16) & 0xFFu]) << 16 | std::uint32_t(kSbox[word >> 24]) << 24;
}

} // namespace

AesKeySchedule::AesKeySchedule(const QByteArray &key)
{
    const int keyWords = int(key.size() / 4);
    if (key.size() % 4 != 0 || (keyWords != 4 && keyWords != 6 && keyWords != 8))
        return;
    m_rounds = keyWords + 6;

    // Words hold their bytes from the lowest bits up, so RotWord is a rotation right by 8.
    const int totalWords = (m_rounds + 1) * 4;
    std::uint32_t words[(MaxRounds + 1) * 4];
    for (int i = 0; i < keyWords; ++i)
        words[i] = loadColumn(reinterpret_cast<const std::uint8_t *>(key.constData()) + 4 * i);
    std::uint32_t roundConstant = 0x01;
    for (int i = keyWords, position = 0; i < totalWords; ++i) {
        std::uint32_t temp = words[i - 1];
        if (position == 0) {
            temp = subWord(rotr(temp, 8)) ^ roundConstant;
            roundConstant = xtime4(roundConstant);
        } else if (keyWords == 8 && position == 4) {
            temp = subWord(temp);
        }
        words[i] = words[i - keyWords] ^ temp;
        if (++position == keyWords)
            position = 0;
    }
    for (int i = 0; i < totalWords; ++i) {
        storeColumn(m_encrypt.data() + 4 * i, words[i]);
        // Round r of decryption uses round key rounds - r; all but the outer two go through
        // InvMixColumns.
        const int round = m_rounds - i / 4;
        const bool inner = round != 0 && round != m_rounds;
        storeColumn(m_decrypt.data() + 16 * round + 4 * (i % 4),
                    inner ? invMixColumn(words[i]) : words[i]);
    }
    explicit_bzero(words, sizeof words);
}

AesKeySchedule &AesKeySchedule::operator=(const AesKeySchedule &other)
{
    if (this != &other) {
        clear();
        m_encrypt = other.m_encrypt;
        m_decrypt = other.m_decrypt;
        m_rounds = other.m_rounds;
    }
    return *this;
}

AesKeySchedule::~AesKeySchedule()
{
    clear();
}

void AesKeySchedule::clear()
{
    explicit_bzero(m_encrypt.data(), m_encrypt.size());
    explicit_bzero(m_decrypt.data(), m_decrypt.size());
    m_rounds = 0;
}
