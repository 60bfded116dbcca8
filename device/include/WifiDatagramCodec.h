#pragma once

#include "AesFileEncryption.h"
#include "AesKeySchedule.h"

#include <QByteArray>

class OrvPacketRecombiner;

// Turns device frames into Wi-Fi datagrams and back: AES-256-CBC with the key and IV the device
// handed out over the reliable stream, or plain frames when datagram encryption is off.
//
// A datagram is self-contained: it carries whole frames and, when encrypted, padding up to the
// next 16-byte block. Devices pad with zeros or with PKCS#7; both are recognised by walking the
// frame headers, so a trailing 0x01 that belongs to a frame is never taken for padding and
// PKCS#7 bytes are never read as the start of another frame.
//
// The key and IV are values of the running connection: they live only here (the key as its
// round keys, scheduled once per key rather than per datagram), are never logged and are wiped
// when replaced or when the codec goes away.
//
// A plain class; one thread at a time.
class WifiDatagramCodec
{
public:
    // Result of unpack() when the datagram was refused before any frame could be taken from it.
    static constexpr int Rejected = -1;

    explicit WifiDatagramCodec(bool encrypt);
    ~WifiDatagramCodec();
    WifiDatagramCodec(const WifiDatagramCodec &) = delete;
    WifiDatagramCodec &operator=(const WifiDatagramCodec &) = delete;

    bool encrypts() const { return m_encrypt; }

    // Takes a 32-byte key and a 16-byte IV; anything else is refused (false) and the previous
    // keys are dropped, so nothing is sent with keys the device did not give.
    bool setKeys(const QByteArray &key, const QByteArray &iv);
    void clearKeys();
    bool hasKeys() const { return m_keys.isValid(); }

    // Whether pack() can produce a datagram now (encryption off, or keys present).
    bool canSend() const { return !m_encrypt || hasKeys(); }

    // The datagram for one whole frame (PKCS#7: 1 to 16 bytes of padding), or an empty array
    // when encryption is on and no keys are present yet.
    QByteArray pack(const QByteArray &frame) const;

    // Decrypts one datagram and hands its frames to `recombiner`, whose buffer is cleared first
    // (nothing of an earlier datagram may stick to this one). Returns the number of frames
    // delivered, or Rejected: wrong length for CBC, no keys yet, decryption failed, or a corrupt
    // frame header (frames before it have been delivered).
    int unpack(const QByteArray &datagram, OrvPacketRecombiner &recombiner) const;

    // Length of the run of whole, well-formed device frames at the start of `plain`.
    static qsizetype frameRunLength(const QByteArray &plain, int *frames = nullptr);
    // Whether `tail` is what a device puts behind its last frame: nothing, zeros, or PKCS#7.
    static bool isPadding(const QByteArray &tail);

private:
    const bool m_encrypt;
    AesFileEncryption m_cipher;
    AesKeySchedule m_keys;
    QByteArray m_iv;
};
