#include "OrvPacketRecombiner.h"

#include "DeviceFrame.h"

#include <QLoggingCategory>
#include <QtEndian>

#include <utility>

Q_LOGGING_CATEGORY(lcRecombiner, "Device.OrvPacketRecombiner")

OrvPacketRecombiner::OrvPacketRecombiner(QObject *parent)
    : QObject(parent)
{ }

qsizetype OrvPacketRecombiner::bufferedBytes() const
{
    return m_buffer.size();
}

int OrvPacketRecombiner::rawDataReady(QByteArray rawData)
{
    // The frames are cut out of a local array with a running offset, so one large read of many
    // small frames costs one pass and constant stack. The member buffer stays empty while frames
    // are emitted, as if each frame had been taken out of it before the next is looked at.
    QByteArray work;
    if (m_buffer.isEmpty()) {
        work = std::move(rawData);
    } else {
        m_buffer.append(rawData);
        work = std::move(m_buffer);
    }
    m_buffer = QByteArray();

    const qsizetype total = work.size();
    qsizetype pos = 0;
    for (;;) {
        const qsizetype available = total - pos;
        // No frame starts with a zero byte: what follows is padding or garbage.
        if (available > 0 && work.at(pos) == '\0')
            return 0;
        if (available < deviceframe::HeaderSize)
            break;

        const auto *header = reinterpret_cast<const uchar *>(work.constData() + pos);
        const quint16 magic = qFromLittleEndian<quint16>(header);
        const quint16 channel = qFromLittleEndian<quint16>(header + 2);
        const quint16 length = qFromLittleEndian<quint16>(header + 4);
        if (magic != deviceframe::Magic || length < deviceframe::HeaderSize
            || length > deviceframe::MaxFrameSize) {
            // Everything behind a bad header is dropped too; the stream resynchronises when a
            // later read starts with a frame.
            qCDebug(lcRecombiner) << "Corrupt OrvPacket Header";
            return -1;
        }
        if (available < length)
            break;

        QByteArray payload
            = work.mid(pos + deviceframe::HeaderSize, length - deviceframe::HeaderSize);
        pos += length;
        emit packetReady(channel, payload);
    }

    // Keep the unfinished frame. Whatever a receiver of packetReady fed in meanwhile stays in
    // front of it, in arrival order of the calls.
    if (pos == 0 && m_buffer.isEmpty())
        m_buffer = std::move(work);
    else if (pos < total)
        m_buffer.append(work.constData() + pos, total - pos);
    return 0;
}

void OrvPacketRecombiner::clearBuffer()
{
    m_buffer.clear();
}
