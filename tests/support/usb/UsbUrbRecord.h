#pragma once

#include <QByteArray>

namespace nimbrel::test {

// What the simulated device saw of one URB (one usbdevfs SUBMITURB), kept for tests to read.
struct UsbUrbRecord
{
    int sequence = 0; // submission order on this device, from 0
    quint8 type = 0; // USBDEVFS_URB_TYPE_*: 3 bulk, 1 interrupt, 2 control
    quint8 endpoint = 0; // bEndpointAddress
    unsigned flags = 0; // USBDEVFS_URB_* as submitted (0x40: zero-length packet after a
                        // full last packet)
    int length = 0; // buffer_length as submitted
    QByteArray data; // OUT: the bytes submitted; IN: the bytes delivered
    bool held = false; // an OUT URB the hold switch kept from the device
    bool completed = false; // the device is done with it and the host may reap it
    int status = 0; // completion status: 0, -ENOENT (discarded), -ENODEV, -EPIPE...
    int actualLength = 0; // bytes carried, as completed
    bool discarded = false; // DISCARDURB reached it while it was pending
    bool reaped = false; // the host has taken its completion (REAPURBNDELAY)

    bool isIn() const { return endpoint & 0x80; }
    bool zeroPacket() const { return flags & 0x40; }
};

} // namespace nimbrel::test
