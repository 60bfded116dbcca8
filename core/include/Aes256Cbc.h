#pragma once

#include <QByteArray>

// One-call AES-256-CBC decryption of a downloaded file, PKCS#7 padding checked and removed.
// key must be 32 bytes and iv 16 bytes. Every failure (wrong sizes, input that is not whole
// blocks, bad padding, which is what a wrong key usually gives) returns a null byte array; the
// caller reports it. Reentrant.
QByteArray decryptAes256Cbc(const QByteArray &data, const QByteArray &key, const QByteArray &iv);
