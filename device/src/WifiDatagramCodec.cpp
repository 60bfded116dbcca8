#include "WifiDatagramCodec.h"

#include "DeviceFrame.h"
#include "OrvPacketRecombiner.h"

#include <QtEndian>

namespace {

constexpr int BlockSize = 16;
constexpr int KeySize = 32;

void wipe(QByteArray &secret)
{
    // Best effort: overwrite our own copy before letting it go.
    if (!secret.isEmpty() && !secret.isDetached())
        secret.detach();
    secret.fill('\0');
    secret.clear();
}

} // namespace

WifiDatagramCodec::WifiDatagramCodec(bool encrypt)
    : m_encrypt(encrypt)
    , m_cipher(AesFileEncryption::Aes256, AesFileEncryption::Cbc, AesFileEncryption::Pkcs7)
{ }

WifiDatagramCodec::~WifiDatagramCodec()
{
    clearKeys();
}

bool WifiDatagramCodec::setKeys(const QByteArray &key, const QByteArray &iv)
{
    clearKeys();
    if (key.size() != KeySize || iv.size() != BlockSize)
        return false;
    m_keys = AesKeySchedule(key);
    m_iv = QByteArray(iv.constData(), iv.size());
    return true;
}

void WifiDatagramCodec::clearKeys()
{
    m_keys.clear();
    wipe(m_iv);
}

QByteArray WifiDatagramCodec::pack(const QByteArray &frame) const
{
    if (!m_encrypt)
        return frame;
    if (!hasKeys())
        return {};
    return m_cipher.encode(frame, m_keys, m_iv);
}

int WifiDatagramCodec::unpack(const QByteArray &datagram, OrvPacketRecombiner &recombiner) const
{
    recombiner.clearBuffer();

    QByteArray plain;
    if (m_encrypt) {
        if (!hasKeys() || datagram.isEmpty() || datagram.size() % BlockSize != 0)
            return Rejected;
        plain = m_cipher.decode(datagram, m_keys, m_iv);
        if (plain.size() != datagram.size())
            return Rejected;
    } else {
        plain = datagram;
    }

    int frames = 0;
    const qsizetype run = frameRunLength(plain, &frames);
    const bool clean
        = isPadding(QByteArray::fromRawData(plain.constData() + run, plain.size() - run));
    if (frames > 0) {
        // Only whole frames go in: the padding (or whatever follows a damaged header) never
        // reaches the recombiner, so it cannot be mistaken for the start of another frame.
        plain.truncate(run);
        if (recombiner.rawDataReady(std::move(plain)) < 0)
            return Rejected;
    }
    return clean ? frames : Rejected;
}

qsizetype WifiDatagramCodec::frameRunLength(const QByteArray &plain, int *frames)
{
    const auto *bytes = reinterpret_cast<const uchar *>(plain.constData());
    const qsizetype size = plain.size();
    qsizetype position = 0;
    int count = 0;
    while (size - position >= deviceframe::HeaderSize) {
        const quint16 magic = qFromLittleEndian<quint16>(bytes + position);
        const quint16 length = qFromLittleEndian<quint16>(bytes + position + 4);
        if (magic != deviceframe::Magic || length < deviceframe::HeaderSize
            || length > deviceframe::MaxFrameSize || length > size - position)
            break;
        position += length;
        ++count;
    }
    if (frames)
        *frames = count;
    return position;
}

bool WifiDatagramCodec::isPadding(const QByteArray &tail)
{
    if (tail.isEmpty())
        return true;
    const auto *bytes = reinterpret_cast<const uchar *>(tail.constData());
    const uchar first = bytes[0];
    // Zeros of any length, or PKCS#7: n bytes of value n, 1 <= n <= 16.
    if (first != 0 && (tail.size() > BlockSize || first != tail.size()))
        return false;
    for (qsizetype i = 1; i < tail.size(); ++i) {
        if (bytes[i] != first)
            return false;
    }
    return true;
}
