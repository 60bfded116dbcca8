#include "AesFileEncryption.h"

#include "AesEngine.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

using Block = std::array<std::uint8_t, 16>;

void xorInto(std::uint8_t *target, const std::uint8_t *other, std::size_t length)
{
    for (; length >= 8; length -= 8, target += 8, other += 8) {
        std::uint64_t a;
        std::uint64_t b;
        std::memcpy(&a, target, 8);
        std::memcpy(&b, other, 8);
        a ^= b;
        std::memcpy(target, &a, 8);
    }
    for (; length > 0; --length)
        *target++ ^= *other++;
}

} // namespace

AesFileEncryption::AesFileEncryption(int level, int mode, int padding)
    : AesFileEncryption(level, mode, padding, aesBestEngine())
{ }

AesFileEncryption::AesFileEncryption(int level, int mode, int padding, const AesEngine &engine)
    : m_engine(engine)
    , m_level(level == Aes192 || level == Aes256 ? level : Aes128)
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
    const AesKeySchedule keys(key);
    return QByteArray(reinterpret_cast<const char *>(keys.encryptionKeys()),
                      (m_rounds + 1) * m_wordsPerBlock * 4);
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

QByteArray AesFileEncryption::transform(const QByteArray &text, const AesKeySchedule &keys,
                                        const QByteArray &iv, bool encrypting) const
{
    if (m_mode < Cbc || m_mode > Ofb || iv.size() != m_blockLength)
        return {};
    if (m_mode == Cbc && text.size() % m_blockLength != 0)
        return {};
    if (!keys.isValid() || keys.keyLength() != m_keyLength)
        return {};

    const qsizetype size = text.size();
    QByteArray out(size, Qt::Uninitialized);
    const auto *in = reinterpret_cast<const std::uint8_t *>(text.constData());
    auto *result = reinterpret_cast<std::uint8_t *>(out.data());
    const auto *ivBytes = reinterpret_cast<const std::uint8_t *>(iv.constData());
    const std::size_t whole = std::size_t(size / m_blockLength);
    const std::size_t tail = std::size_t(size % m_blockLength);

    // Decryption in CBC and CFB needs only ciphertext to feed back, all known in advance, so the
    // blocks go through the cipher together and the chaining is one XOR afterwards.
    if (m_mode == Cbc && !encrypting) {
        m_engine.decrypt(keys, in, result, whole);
        if (whole > 0) {
            xorInto(result, ivBytes, m_blockLength);
            xorInto(result + m_blockLength, in, (whole - 1) * m_blockLength);
        }
        return out;
    }
    if (m_mode == Cfb && !encrypting) {
        if (whole > 0) {
            std::memcpy(result, ivBytes, m_blockLength);
            std::memcpy(result + m_blockLength, in, (whole - 1) * m_blockLength);
            m_engine.encrypt(keys, result, result, whole);
            xorInto(result, in, whole * m_blockLength);
        }
        if (tail > 0) {
            // A partial last block uses the first bytes of its key-stream block.
            Block stream;
            std::memcpy(stream.data(), whole > 0 ? in + (whole - 1) * m_blockLength : ivBytes,
                        m_blockLength);
            m_engine.encrypt(keys, stream.data(), stream.data(), 1);
            std::memcpy(result + whole * m_blockLength, in + whole * m_blockLength, tail);
            xorInto(result + whole * m_blockLength, stream.data(), tail);
        }
        return out;
    }

    // The rest chains block by block: CBC and CFB encryption through the previous ciphertext,
    // OFB through its key stream.
    Block feedback;
    std::memcpy(feedback.data(), ivBytes, m_blockLength);
    for (qsizetype offset = 0; offset < size; offset += m_blockLength) {
        const std::size_t length = std::size_t(qMin<qsizetype>(m_blockLength, size - offset));
        Block block{};
        std::memcpy(block.data(), in + offset, length);
        if (m_mode == Cbc) {
            xorInto(block.data(), feedback.data(), m_blockLength);
            m_engine.encrypt(keys, block.data(), block.data(), 1);
            feedback = block;
        } else {
            Block stream = feedback;
            m_engine.encrypt(keys, stream.data(), stream.data(), 1);
            xorInto(block.data(), stream.data(), m_blockLength);
            feedback = m_mode == Ofb ? stream : block;
        }
        std::memcpy(result + offset, block.data(), length);
    }
    return out;
}

QByteArray AesFileEncryption::encode(const QByteArray &rawText, const QByteArray &key,
                                     const QByteArray &iv) const
{
    return encode(rawText, AesKeySchedule(key), iv);
}

QByteArray AesFileEncryption::decode(const QByteArray &rawText, const QByteArray &key,
                                     const QByteArray &iv) const
{
    return decode(rawText, AesKeySchedule(key), iv);
}

QByteArray AesFileEncryption::encode(const QByteArray &rawText, const AesKeySchedule &keys,
                                     const QByteArray &iv) const
{
    return transform(pad(rawText), keys, iv, true);
}

QByteArray AesFileEncryption::decode(const QByteArray &rawText, const AesKeySchedule &keys,
                                     const QByteArray &iv) const
{
    return transform(rawText, keys, iv, false);
}
