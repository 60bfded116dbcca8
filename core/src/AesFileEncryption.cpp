#include "AesFileEncryption.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

using Table = std::array<std::uint8_t, 256>;
using Block = std::array<std::uint8_t, 16>;

constexpr std::uint8_t xtime(std::uint8_t a)
{
    return std::uint8_t((a << 1) ^ ((a & 0x80) ? 0x1B : 0x00));
}

constexpr std::uint8_t gfMultiply(std::uint8_t a, std::uint8_t b)
{
    std::uint8_t product = 0;
    while (b) {
        if (b & 1)
            product ^= a;
        a = xtime(a);
        b >>= 1;
    }
    return product;
}

constexpr std::uint8_t rotl8(std::uint8_t v, int n)
{
    return std::uint8_t((v << n) | (v >> (8 - n)));
}

// The S-box is the multiplicative inverse in GF(2^8) (a^254) followed by the affine map of
// FIPS 197; computing it removes any chance of a mistyped constant.
constexpr Table makeSbox()
{
    Table box{};
    for (int i = 0; i < 256; ++i) {
        std::uint8_t inverse = 1;
        std::uint8_t power = std::uint8_t(i);
        for (int e = 254; e; e >>= 1) {
            if (e & 1)
                inverse = gfMultiply(inverse, power);
            power = gfMultiply(power, power);
        }
        if (i == 0)
            inverse = 0;
        box[i] = std::uint8_t(inverse ^ rotl8(inverse, 1) ^ rotl8(inverse, 2) ^ rotl8(inverse, 3)
                              ^ rotl8(inverse, 4) ^ 0x63);
    }
    return box;
}

constexpr Table makeInverse(const Table &box)
{
    Table inverse{};
    for (int i = 0; i < 256; ++i)
        inverse[box[i]] = std::uint8_t(i);
    return inverse;
}

constexpr Table makeMultiple(std::uint8_t factor)
{
    Table table{};
    for (int i = 0; i < 256; ++i)
        table[i] = gfMultiply(std::uint8_t(i), factor);
    return table;
}

constexpr Table kSbox = makeSbox();
constexpr Table kInvSbox = makeInverse(kSbox);
constexpr std::array<std::uint8_t, 14> kRoundConstants
    = { 0x8D, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1B, 0x36, 0x6C, 0xD8, 0xAB };
constexpr Table kMul2 = makeMultiple(2);
constexpr Table kMul3 = makeMultiple(3);
constexpr Table kMul9 = makeMultiple(9);
constexpr Table kMul11 = makeMultiple(11);
constexpr Table kMul13 = makeMultiple(13);
constexpr Table kMul14 = makeMultiple(14);

static_assert(kSbox[0x00] == 0x63 && kSbox[0x01] == 0x7C && kSbox[0x53] == 0xED);

// State byte i is row i % 4, column i / 4, i.e. the block bytes in their natural order.
void addRoundKey(Block &s, const std::uint8_t *roundKey)
{
    for (int i = 0; i < 16; ++i)
        s[i] ^= roundKey[i];
}

void subShiftRows(Block &s)
{
    const Block in = s;
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r)
            s[c * 4 + r] = kSbox[in[((c + r) % 4) * 4 + r]];
    }
}

void invSubShiftRows(Block &s)
{
    const Block in = s;
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r)
            s[((c + r) % 4) * 4 + r] = kInvSbox[in[c * 4 + r]];
    }
}

void mixColumns(Block &s)
{
    for (int c = 0; c < 4; ++c) {
        std::uint8_t *col = s.data() + c * 4;
        const std::uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        col[0] = kMul2[a0] ^ kMul3[a1] ^ a2 ^ a3;
        col[1] = a0 ^ kMul2[a1] ^ kMul3[a2] ^ a3;
        col[2] = a0 ^ a1 ^ kMul2[a2] ^ kMul3[a3];
        col[3] = kMul3[a0] ^ a1 ^ a2 ^ kMul2[a3];
    }
}

void invMixColumns(Block &s)
{
    for (int c = 0; c < 4; ++c) {
        std::uint8_t *col = s.data() + c * 4;
        const std::uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        col[0] = kMul14[a0] ^ kMul11[a1] ^ kMul13[a2] ^ kMul9[a3];
        col[1] = kMul9[a0] ^ kMul14[a1] ^ kMul11[a2] ^ kMul13[a3];
        col[2] = kMul13[a0] ^ kMul9[a1] ^ kMul14[a2] ^ kMul11[a3];
        col[3] = kMul11[a0] ^ kMul13[a1] ^ kMul9[a2] ^ kMul14[a3];
    }
}

void encryptBlock(Block &s, const std::uint8_t *roundKeys, int rounds)
{
    addRoundKey(s, roundKeys);
    for (int round = 1; round < rounds; ++round) {
        subShiftRows(s);
        mixColumns(s);
        addRoundKey(s, roundKeys + 16 * round);
    }
    subShiftRows(s);
    addRoundKey(s, roundKeys + 16 * rounds);
}

void decryptBlock(Block &s, const std::uint8_t *roundKeys, int rounds)
{
    addRoundKey(s, roundKeys + 16 * rounds);
    for (int round = rounds - 1; round > 0; --round) {
        invSubShiftRows(s);
        addRoundKey(s, roundKeys + 16 * round);
        invMixColumns(s);
    }
    invSubShiftRows(s);
    addRoundKey(s, roundKeys);
}

Block loadBlock(const char *data, qsizetype length = 16)
{
    Block block{};
    std::memcpy(block.data(), data, size_t(length));
    return block;
}

} // namespace

AesFileEncryption::AesFileEncryption(int level, int mode, int padding)
    : m_level(level == Aes192 || level == Aes256 ? level : Aes128)
    , m_mode(mode)
    , m_keyWords(4 + 2 * m_level)
    , m_keyLength(4 * m_keyWords)
    , m_rounds(m_keyWords + 6)
    , m_padding(padding)
{ }

QByteArray AesFileEncryption::expandKey(const QByteArray &key) const
{
    // A short key would make the expansion read past it; a long one would silently be cut.
    if (key.size() != m_keyLength)
        return {};
    const int totalWords = (m_rounds + 1) * m_wordsPerBlock;
    QByteArray expanded(totalWords * 4, Qt::Uninitialized);
    auto *w = reinterpret_cast<std::uint8_t *>(expanded.data());
    std::memcpy(w, key.constData(), size_t(m_keyLength));
    for (int i = m_keyWords; i < totalWords; ++i) {
        std::uint8_t temp[4];
        std::memcpy(temp, w + 4 * (i - 1), 4);
        if (i % m_keyWords == 0) {
            const std::uint8_t first = temp[0];
            temp[0] = kSbox[temp[1]] ^ kRoundConstants[i / m_keyWords];
            temp[1] = kSbox[temp[2]];
            temp[2] = kSbox[temp[3]];
            temp[3] = kSbox[first];
        } else if (m_keyWords == 8 && i % 8 == 4) {
            for (std::uint8_t &b : temp)
                b = kSbox[b];
        }
        for (int b = 0; b < 4; ++b)
            w[4 * i + b] = w[4 * (i - m_keyWords) + b] ^ temp[b];
    }
    return expanded;
}

QByteArray AesFileEncryption::pad(const QByteArray &text) const
{
    const qsizetype remainder = text.size() % m_blockLength;
    qsizetype n = (m_blockLength - remainder) % m_blockLength;
    QByteArray padded = text;
    switch (m_padding) {
    case Pkcs7:
        if (n == 0)
            n = m_blockLength;
        padded.append(n, char(n));
        break;
    case Iso7816:
        if (n > 0) {
            padded.append(char(0x80));
            padded.append(n - 1, '\0');
        }
        break;
    default:
        padded.append(n, '\0');
        break;
    }
    return padded;
}

QByteArray AesFileEncryption::transform(const QByteArray &text, const QByteArray &key,
                                        const QByteArray &iv, bool encrypting) const
{
    if (m_mode < Cbc || m_mode > Ofb || iv.size() != m_blockLength)
        return {};
    if (m_mode == Cbc && text.size() % m_blockLength != 0)
        return {};
    const QByteArray roundKeyBytes = expandKey(key);
    if (roundKeyBytes.isEmpty())
        return {};
    const auto *roundKeys = reinterpret_cast<const std::uint8_t *>(roundKeyBytes.constData());

    QByteArray out(text.size(), Qt::Uninitialized);
    Block feedback = loadBlock(iv.constData());
    for (qsizetype offset = 0; offset < text.size(); offset += m_blockLength) {
        const qsizetype length = qMin<qsizetype>(m_blockLength, text.size() - offset);
        const Block in = loadBlock(text.constData() + offset, length);
        Block result{};
        if (m_mode == Cbc) {
            if (encrypting) {
                for (int i = 0; i < 16; ++i)
                    result[i] = in[i] ^ feedback[i];
                encryptBlock(result, roundKeys, m_rounds);
                feedback = result;
            } else {
                result = in;
                decryptBlock(result, roundKeys, m_rounds);
                for (int i = 0; i < 16; ++i)
                    result[i] ^= feedback[i];
                feedback = in;
            }
        } else {
            // CFB and OFB only ever run the cipher forwards; a partial last block uses the first
            // bytes of its key-stream block.
            Block stream = feedback;
            encryptBlock(stream, roundKeys, m_rounds);
            for (int i = 0; i < 16; ++i)
                result[i] = in[i] ^ stream[i];
            if (m_mode == Ofb)
                feedback = stream;
            else
                feedback = encrypting ? result : in;
        }
        std::memcpy(out.data() + offset, result.data(), size_t(length));
    }
    return out;
}

QByteArray AesFileEncryption::encode(const QByteArray &rawText, const QByteArray &key,
                                     const QByteArray &iv) const
{
    return transform(pad(rawText), key, iv, true);
}

QByteArray AesFileEncryption::decode(const QByteArray &rawText, const QByteArray &key,
                                     const QByteArray &iv) const
{
    return transform(rawText, key, iv, false);
}
