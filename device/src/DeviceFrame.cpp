#include "DeviceFrame.h"

#include <QtEndian>

namespace deviceframe {

QByteArray buildFrame(DatalinkChannelId channel, const QByteArray &payload)
{
    if (payload.size() > MaxPayloadSize)
        return {};
    QByteArray frame(HeaderSize + payload.size(), Qt::Uninitialized);
    uchar *p = reinterpret_cast<uchar *>(frame.data());
    qToLittleEndian<quint16>(Magic, p);
    qToLittleEndian<quint16>(channel, p + 2);
    qToLittleEndian<quint16>(quint16(frame.size()), p + 4);
    if (!payload.isEmpty())
        memcpy(p + HeaderSize, payload.constData(), size_t(payload.size()));
    return frame;
}

} // namespace deviceframe
