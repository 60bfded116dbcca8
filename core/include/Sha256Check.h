#pragma once

#include <QByteArray>
#include <QString>

// A file that carries its own checksum ends in the 32 raw bytes of the SHA-256 digest of
// everything before them. Splitting happens in memory only: the file on disk is never changed, so
// a failed verification (or a crash in between) cannot leave a half-processed file behind. A caller
// that wants the payload on disk writes it itself after verifySha256 has accepted it.
struct ChecksumTrailerSplit
{
    QByteArray payload; // the bytes before the trailer
    QByteArray trailer; // the last 32 bytes; null when the file could not be read or is too short

    bool isValid() const { return !trailer.isNull(); }
};

// Reads the whole file named by path. An unreadable file, or one shorter than 32 bytes, gives a
// null trailer (and an empty payload).
ChecksumTrailerSplit stripChecksumTrailer(const QString &path);

// 0 when the first 32 bytes of expected are the SHA-256 digest of data; -1 when they are not or
// when expected holds fewer than 32 bytes. Bytes after the first 32 are ignored.
int verifySha256(const QByteArray &expected, const QByteArray &data);

// expected is the digest as exactly 64 hex digits (either case). Text of any other length is
// taken as the raw digest in the local 8-bit encoding. A 64-character text with anything but hex
// digits in it is rejected (-1) rather than decoded around the bad characters.
int verifySha256String(const QString &expected, const QByteArray &data);
