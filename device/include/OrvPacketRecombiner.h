#pragma once

#include <QByteArray>
#include <QObject>

#include <cstdint>

// Cuts a received byte stream (or a series of datagrams) back into device frames.
//
// Bytes that do not yet form a whole frame are kept between calls, so a frame may span any number
// of reads and one read may carry any number of frames. A read that starts (on an empty buffer)
// with a zero byte is dropped: no frame begins with 0x00, and the Wi-Fi link relies on this to
// discard the zero padding behind the last frame of a decrypted datagram.
//
// Threading: not thread-safe; every call on one instance must come from one thread.
// Ownership: each link owns its recombiner(s) as QObject children.
class OrvPacketRecombiner : public QObject
{
    Q_OBJECT

public:
    explicit OrvPacketRecombiner(QObject *parent = nullptr);

    // Bytes held back waiting for the rest of a frame.
    qsizetype bufferedBytes() const;

public slots:
    // Appends rawData and emits packetReady once per complete frame, in order. Returns 0, or -1 if
    // a corrupt header (bad magic, or length outside 6..1024) was met while cutting this read;
    // the buffer is then emptied, including any frames behind the bad header.
    int rawDataReady(QByteArray rawData);
    void clearBuffer();

signals:
    void packetReady(uint16_t channel, QByteArray packet);

private:
    QByteArray m_buffer;
};
