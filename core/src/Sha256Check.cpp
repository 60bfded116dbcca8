#include "Sha256Check.h"

#include <QFile>

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace {

constexpr qsizetype kDigestLength = 32;

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

} // namespace

ChecksumTrailerSplit stripChecksumTrailer(const QString &path)
{
    ChecksumTrailerSplit split;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return split;
    const QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError || contents.size() < kDigestLength)
        return split;
    split.payload = contents.first(contents.size() - kDigestLength);
    split.trailer = contents.last(kDigestLength);
    return split;
}

int verifySha256(const QByteArray &expected, const QByteArray &data)
{
    if (expected.size() < kDigestLength)
        return -1;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_Digest(data.constData(), size_t(data.size()), digest, &digestLength, EVP_sha256(),
                   nullptr)
            != 1
        || digestLength != kDigestLength)
        return -1;
    return CRYPTO_memcmp(expected.constData(), digest, kDigestLength) == 0 ? 0 : -1;
}

int verifySha256String(const QString &expected, const QByteArray &data)
{
    if (expected.size() == 2 * kDigestLength) {
        // QByteArray::fromHex skips foreign characters, so "z" followed by 63 digits would decode
        // to 32 bytes and could match a digest that starts with a 0 nibble.
        for (QChar c : expected) {
            if (!isHexDigit(c))
                return -1;
        }
        return verifySha256(QByteArray::fromHex(expected.toLatin1()), data);
    }
    return verifySha256(expected.toLocal8Bit(), data);
}
