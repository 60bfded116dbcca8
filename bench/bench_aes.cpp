// Decoding 1040-byte Wi-Fi datagrams (AES-256-CBC) with the own AES against OpenSSL's EVP
// AES-256-CBC in the same run. Both schedule the key for every datagram, as the link does, and
// both leave the padding in place.
#include "CryptoBenchReporter.h"

#include "Aes256Cbc.h"
#include "AesFileEncryption.h"

#include <openssl/evp.h>

#include <random>

namespace {

constexpr int kDatagram = 1040;

struct Fixture
{
    QByteArray key;
    QByteArray iv;
    QByteArray cipher;
};

const Fixture &fixture()
{
    static const Fixture f = [] {
        std::mt19937 random(2);
        auto bytes = [&](int n) {
            QByteArray b(n, Qt::Uninitialized);
            for (char &c : b)
                c = char(random());
            return b;
        };
        Fixture x{ bytes(32), bytes(16), {} };
        // 1024 bytes of payload plus a full PKCS#7 block: a whole datagram.
        x.cipher = AesFileEncryption(2, 0, 1).encode(bytes(kDatagram - 16), x.key, x.iv);
        return x;
    }();
    return f;
}

void BM_OwnAes256CbcDecode(benchmark::State &state)
{
    const Fixture &f = fixture();
    const AesFileEncryption aes(AesFileEncryption::Aes256, AesFileEncryption::Cbc,
                                AesFileEncryption::Pkcs7);
    for (auto _ : state) {
        QByteArray plain = aes.decode(f.cipher, f.key, f.iv);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kDatagram);
}

void BM_OpensslEvpAes256CbcDecrypt(benchmark::State &state)
{
    const Fixture &f = fixture();
    EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
    QByteArray plain(kDatagram + 16, Qt::Uninitialized);
    for (auto _ : state) {
        int length = 0;
        int finalLength = 0;
        EVP_DecryptInit_ex(context, EVP_aes_256_cbc(), nullptr,
                           reinterpret_cast<const unsigned char *>(f.key.constData()),
                           reinterpret_cast<const unsigned char *>(f.iv.constData()));
        EVP_CIPHER_CTX_set_padding(context, 0);
        EVP_DecryptUpdate(context, reinterpret_cast<unsigned char *>(plain.data()), &length,
                          reinterpret_cast<const unsigned char *>(f.cipher.constData()),
                          int(f.cipher.size()));
        EVP_DecryptFinal_ex(context, reinterpret_cast<unsigned char *>(plain.data()) + length,
                            &finalLength);
        benchmark::DoNotOptimize(plain.data());
    }
    EVP_CIPHER_CTX_free(context);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kDatagram);
}

// The one-call helper used for downloaded files: new context and padding check per call.
void BM_DecryptAes256CbcHelper(benchmark::State &state)
{
    const Fixture &f = fixture();
    for (auto _ : state) {
        QByteArray plain = decryptAes256Cbc(f.cipher, f.key, f.iv);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kDatagram);
}

} // namespace

BENCHMARK(BM_OwnAes256CbcDecode);
BENCHMARK(BM_OpensslEvpAes256CbcDecrypt);
BENCHMARK(BM_DecryptAes256CbcHelper);

int main(int argc, char **argv)
{
    return runCryptoBenchmarks(
        argc, argv,
        { { "BM_OwnAes256CbcDecode", "BM_OpensslEvpAes256CbcDecrypt" },
          { "BM_DecryptAes256CbcHelper", "BM_OpensslEvpAes256CbcDecrypt" } });
}
