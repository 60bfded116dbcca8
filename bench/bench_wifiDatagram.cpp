// The Wi-Fi link's datagram path without sockets: decrypting a 1040-byte datagram (one 1024-byte
// frame and a whole PKCS#7 block) and cutting it into its frame, as the link does for every
// datagram of the device. Baselines in the same run: the own AES decode alone with the key
// scheduled once, as the codec holds it (the recombining share is the difference), and OpenSSL's
// EVP AES-256-CBC with a copy of the payload (the least any implementation must do), once with the
// key set for every datagram and once with the key set once and only the IV per datagram.
#include "CryptoBenchReporter.h"

#include "AesFileEncryption.h"
#include "AesKeySchedule.h"
#include "OrvPacketRecombiner.h"
#include "WifiDatagramCodec.h"

#include <openssl/evp.h>

#include <QtEndian>

#include <cstring>
#include <random>

namespace {

constexpr int kFrame = 1024;
constexpr int kDatagram = 1040;

struct Fixture
{
    QByteArray key;
    QByteArray iv;
    QByteArray datagram;
};

const Fixture &fixture()
{
    static const Fixture f = [] {
        std::mt19937 random(7);
        auto bytes = [&](int n) {
            QByteArray b(n, Qt::Uninitialized);
            for (char &c : b)
                c = char(random());
            return b;
        };
        Fixture x{ bytes(32), bytes(16), {} };
        QByteArray frame = bytes(kFrame);
        qToLittleEndian<quint16>(0xABCD, frame.data());
        qToLittleEndian<quint16>(3, frame.data() + 2);
        qToLittleEndian<quint16>(kFrame, frame.data() + 4);
        x.datagram = AesFileEncryption(AesFileEncryption::Aes256, AesFileEncryption::Cbc,
                                       AesFileEncryption::Pkcs7)
                         .encode(frame, x.key, x.iv);
        return x;
    }();
    return f;
}

void BM_WifiDatagramUnpack(benchmark::State &state)
{
    const Fixture &f = fixture();
    WifiDatagramCodec codec(true);
    codec.setKeys(f.key, f.iv);
    OrvPacketRecombiner recombiner;
    qint64 payloadBytes = 0;
    QObject::connect(&recombiner, &OrvPacketRecombiner::packetReady,
                     [&](uint16_t, const QByteArray &payload) { payloadBytes += payload.size(); });
    for (auto _ : state) {
        if (codec.unpack(f.datagram, recombiner) != 1) {
            state.SkipWithError("datagram not accepted");
            break;
        }
    }
    benchmark::DoNotOptimize(payloadBytes);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kDatagram);
}

void BM_OwnAesDecodeOnly(benchmark::State &state)
{
    const Fixture &f = fixture();
    const AesFileEncryption aes(AesFileEncryption::Aes256, AesFileEncryption::Cbc,
                                AesFileEncryption::Pkcs7);
    const AesKeySchedule keys(f.key);
    for (auto _ : state) {
        QByteArray plain = aes.decode(f.datagram, keys, f.iv);
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kDatagram);
}

void opensslDecryptAndCopy(benchmark::State &state, bool keyPerDatagram)
{
    const Fixture &f = fixture();
    EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
    EVP_DecryptInit_ex(context, EVP_aes_256_cbc(), nullptr,
                       reinterpret_cast<const unsigned char *>(f.key.constData()), nullptr);
    QByteArray plain(kDatagram + 16, Qt::Uninitialized);
    QByteArray payload(kFrame - 6, Qt::Uninitialized);
    for (auto _ : state) {
        int length = 0;
        int finalLength = 0;
        EVP_DecryptInit_ex(
            context, keyPerDatagram ? EVP_aes_256_cbc() : nullptr, nullptr,
            keyPerDatagram ? reinterpret_cast<const unsigned char *>(f.key.constData()) : nullptr,
            reinterpret_cast<const unsigned char *>(f.iv.constData()));
        EVP_DecryptUpdate(context, reinterpret_cast<unsigned char *>(plain.data()), &length,
                          reinterpret_cast<const unsigned char *>(f.datagram.constData()),
                          int(f.datagram.size()));
        EVP_DecryptFinal_ex(context, reinterpret_cast<unsigned char *>(plain.data()) + length,
                            &finalLength);
        std::memcpy(payload.data(), plain.constData() + 6, size_t(payload.size()));
        benchmark::DoNotOptimize(payload.data());
    }
    EVP_CIPHER_CTX_free(context);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kDatagram);
}

void BM_OpensslDecryptAndCopy(benchmark::State &state)
{
    opensslDecryptAndCopy(state, true);
}

void BM_OpensslKeyOnceDecryptAndCopy(benchmark::State &state)
{
    opensslDecryptAndCopy(state, false);
}

} // namespace

BENCHMARK(BM_WifiDatagramUnpack);
BENCHMARK(BM_OwnAesDecodeOnly);
BENCHMARK(BM_OpensslDecryptAndCopy);
BENCHMARK(BM_OpensslKeyOnceDecryptAndCopy);

int main(int argc, char **argv)
{
    return runCryptoBenchmarks(argc, argv,
                               { { "BM_WifiDatagramUnpack", "BM_OpensslDecryptAndCopy" },
                                 { "BM_WifiDatagramUnpack", "BM_OpensslKeyOnceDecryptAndCopy" },
                                 { "BM_WifiDatagramUnpack", "BM_OwnAesDecodeOnly" } });
}
