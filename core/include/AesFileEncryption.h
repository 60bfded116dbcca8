#pragma once

#include "AesKeySchedule.h"

#include <QByteArray>
#include <QObject>

struct AesEngine;

// Self-contained AES (128, 192 or 256 bits) in CBC, CFB or OFB mode (128-bit feedback), with
// three paddings. The Wi-Fi link uses it for its datagrams as AES-256/CBC/PKCS#7.
//
// encode pads, then encrypts; decode decrypts and leaves the padding in place (the caller knows
// which padding it expects). An IV that is not 16 bytes, a key whose length does not match the
// level, a negative or unknown mode, and CBC input that is not whole blocks all give an empty
// result. CFB and OFB decode is a stream: a trailing partial block is XORed with the start of
// its key-stream block, so the output is as long as the input.
//
// The block function is the processor's AES instructions where it has them, else table rounds;
// both give the same bytes. A caller that uses one key for many messages schedules it once
// (AesKeySchedule) and passes the schedule instead of the key.
//
// An object holds only its configuration; its const functions may run on several threads.
class AesFileEncryption : public QObject
{
    Q_OBJECT

public:
    enum Level { Aes128 = 0, Aes192 = 1, Aes256 = 2 };
    enum Mode { Cbc = 0, Cfb = 1, Ofb = 2 };
    enum Padding { ZeroPadding = 0, Pkcs7 = 1, Iso7816 = 2 };

    // A level other than 0, 1 or 2 behaves as AES-128. Any padding other than 1 or 2 pads with
    // zeros.
    AesFileEncryption(int level, int mode, int padding);
    // The same on a given block function (see AesEngine.h) instead of the best one present.
    AesFileEncryption(int level, int mode, int padding, const AesEngine &engine);

    QByteArray encode(const QByteArray &rawText, const QByteArray &key, const QByteArray &iv) const;
    QByteArray decode(const QByteArray &rawText, const QByteArray &key, const QByteArray &iv) const;
    // The same with a key scheduled beforehand; a schedule for another level gives an empty
    // result, like a key of the wrong length.
    QByteArray encode(const QByteArray &rawText, const AesKeySchedule &keys,
                      const QByteArray &iv) const;
    QByteArray decode(const QByteArray &rawText, const AesKeySchedule &keys,
                      const QByteArray &iv) const;
    // The round keys, (rounds + 1) * 16 bytes; empty when key is not the level's key length.
    QByteArray expandKey(const QByteArray &key) const;

    int keyLength() const { return m_keyLength; }
    int rounds() const { return m_rounds; }

private:
    QByteArray pad(const QByteArray &text) const;
    QByteArray transform(const QByteArray &text, const AesKeySchedule &keys, const QByteArray &iv,
                         bool encrypting) const;

    static constexpr int m_wordsPerBlock = 4;
    static constexpr int m_blockLength = 16;
    const AesEngine &m_engine;
    int m_level = Aes128;
    int m_mode = Cbc;
    int m_keyWords = 4;
    int m_keyLength = 16;
    int m_rounds = 10;
    int m_padding = ZeroPadding;
};
