#pragma once

#include "ChannelZeroMessages.h"
#include "DatalinkManager.h"
#include "FakeDataLink.h"
#include "TestSupport.h"

#include <QByteArray>
#include <QList>
#include <QtEndian>

// What the link manager's tests share: reading the channel-0 messages a fake link was given, the
// injected timings, and a manager whose USB link the device has accepted as active.
namespace managertest {

inline quint16 u16(const QByteArray &m, int offset)
{
    return qFromLittleEndian<quint16>(m.constData() + offset);
}

// Channel-0 messages (frame header stripped) a fake link was given, optionally of one type.
inline QList<QByteArray> messagesOn(const FakeDataLink *link, int type = -1)
{
    QList<QByteArray> messages;
    for (const QByteArray &frame : link->channelZeroFrames()) {
        const QByteArray m = frame.mid(6);
        if (type < 0 || u16(m, 4) == type)
            messages.append(m);
    }
    return messages;
}

// Short timings for the tests of the two time-outs: heartbeat 40 ms, watchdog 1000 ms, device
// info 500 ms.
inline DatalinkTimings fast()
{
    using nimbrel::test::scaled;
    return { 40, scaled(1000), scaled(500) };
}

// For the other tests: heartbeats as fast, the time-outs out of their way however slow the
// machine is.
inline DatalinkTimings steady()
{
    using nimbrel::test::scaled;
    return { 40, scaled(60000), scaled(60000) };
}

// How long a test watches for something that must not happen: three times the timing that would
// make it happen.
inline int quietPeriod(int timingMs)
{
    return 3 * timingMs;
}

// A manager with a connected USB link that the device accepted as active; null if that failed.
inline FakeDataLink *activateUsb(DatalinkManager &manager)
{
    using nimbrel::test::waitFor;
    auto *usb = new FakeDataLink(AbstractDataLink::USB);
    usb->connectOnStart = true;
    manager.addDatalink(usb);
    // The device answers the device-info request, then accepts the link.
    usb->injectFrame(0, devmsg::heartbeat(1, "PX1", 1, false, AbstractDataLink::USB, 0));
    if (!waitFor([&] { return manager.isDeviceInfoReported(); }, 2000))
        return nullptr;
    manager.setActiveDatalinkConnection(AbstractDataLink::USB);
    usb->injectFrame(0, devmsg::setInterfaceReply(1, AbstractDataLink::USB, true));
    if (!waitFor([&] { return manager.getActiveLinkType() == AbstractDataLink::USB; }, 2000))
        return nullptr;
    return usb;
}

} // namespace managertest
