// Decoding 1040-byte Wi-Fi datagrams (AES-256-CBC) with the own AES against OpenSSL's EVP
// AES-256-CBC in the same run; all leave the padding in place. Each is measured twice: with the
// key scheduled for every datagram (the one-call API), and with the key scheduled once and only
// the IV set per datagram (what the link does: the key stays the same for a connection). The own
// AES runs on the best block function present and, for the figure of the fallback, on its table
// rounds.
#include "CryptoBenchReporter.h"

#include "Aes256Cbc.h"
#include "AesEngine.h"
#include "AesFileEncryption.h"
#include "AesKeySchedule.h"

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

void ownScheduledDecode(benchmark::State &state, const AesEngine &engine)
{
    const Fixture &f = fixture();
    const AesFileEncryption aes(AesFileEncryption::Aes256, AesFileEncryption::Cbc,
                                AesFileEncryption::Pkcs7, engine);
    const AesKeySchedule keys(f.key);
    for (auto _ : state) {
        QByteArray plain = aes.decode(f.cipher, keys, f.iv);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kDatagram);
}

void BM_OwnAes256CbcDecodeKeyOnce(benchmark::State &state)
{
    ownScheduledDecode(state, aesBestEngine());
}

void BM_OwnAes256CbcDecodeKeyOnceTables(benchmark::State &state)
{
    ownScheduledDecode(state, aesTableEngine());
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

void BM_OpensslEvpAes256CbcDecryptKeyOnce(benchmark::State &state)
{
    const Fixture &f = fixture();
    EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
    EVP_DecryptInit_ex(context, EVP_aes_256_cbc(), nullptr,
                       reinterpret_cast<const unsigned char *>(f.key.constData()), nullptr);
    EVP_CIPHER_CTX_set_padding(context, 0);
    QByteArray plain(kDatagram + 16, Qt::Uninitialized);
    for (auto _ : state) {
        int length = 0;
        int finalLength = 0;
        EVP_DecryptInit_ex(context, nullptr, nullptr, nullptr,
                           reinterpret_cast<const unsigned char *>(f.iv.constData()));
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
BENCHMARK(BM_OwnAes256CbcDecodeKeyOnce);
BENCHMARK(BM_OwnAes256CbcDecodeKeyOnceTables);
BENCHMARK(BM_OpensslEvpAes256CbcDecrypt);
BENCHMARK(BM_OpensslEvpAes256CbcDecryptKeyOnce);
BENCHMARK(BM_DecryptAes256CbcHelper);

int main(int argc, char **argv)
{
    return runCryptoBenchmarks(
        argc, argv,
        { { "BM_OwnAes256CbcDecode", "BM_OpensslEvpAes256CbcDecrypt" },
          { "BM_OwnAes256CbcDecodeKeyOnce", "BM_OpensslEvpAes256CbcDecrypt" },
          { "BM_OwnAes256CbcDecodeKeyOnce", "BM_OpensslEvpAes256CbcDecryptKeyOnce" },
          { "BM_OwnAes256CbcDecodeKeyOnceTables", "BM_OpensslEvpAes256CbcDecrypt" },
          { "BM_DecryptAes256CbcHelper", "BM_OpensslEvpAes256CbcDecrypt" } });
}
