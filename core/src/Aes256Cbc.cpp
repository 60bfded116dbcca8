#include "Aes256Cbc.h"

#include <openssl/evp.h>

#include <climits>
#include <memory>

namespace {

constexpr qsizetype kKeyLength = 32;
constexpr qsizetype kBlockLength = 16;

struct CipherContextDeleter
{
    void operator()(EVP_CIPHER_CTX *context) const { EVP_CIPHER_CTX_free(context); }
};

} // namespace

QByteArray decryptAes256Cbc(const QByteArray &data, const QByteArray &key, const QByteArray &iv)
{
    if (key.size() != kKeyLength || iv.size() != kBlockLength)
        return {};
    // EVP counts in int and may write up to one block more than it is given.
    if (data.size() > INT_MAX - kBlockLength)
        return {};

    std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter> context(EVP_CIPHER_CTX_new());
    if (!context || EVP_CIPHER_CTX_reset(context.get()) != 1)
        return {};
    if (EVP_DecryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr,
                           reinterpret_cast<const unsigned char *>(key.constData()),
                           reinterpret_cast<const unsigned char *>(iv.constData()))
        != 1)
        return {};

    QByteArray plain(data.size() + kBlockLength, Qt::Uninitialized);
    auto *out = reinterpret_cast<unsigned char *>(plain.data());
    int updateLength = 0;
    if (EVP_DecryptUpdate(context.get(), out, &updateLength,
                          reinterpret_cast<const unsigned char *>(data.constData()),
                          int(data.size()))
        != 1)
        return {};
    int finalLength = 0;
    if (EVP_DecryptFinal_ex(context.get(), out + updateLength, &finalLength) != 1)
        return {};
    plain.truncate(qsizetype(updateLength) + finalLength);
    return plain;
}
