#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace nimbrel::test {

// One endpoint of an interface, as its descriptor states it.
struct UsbEndpointSpec
{
    quint8 address = 0; // bEndpointAddress; bit 7 set = IN
    quint8 attributes = 0x02; // bmAttributes: 0x02 bulk, 0x03 interrupt
    quint16 maxPacketSize = 512; // wMaxPacketSize exactly as the descriptor carries it (0, 1024,
                                 // high-bandwidth bits... are all allowed)
    quint8 interval = 0;
};

// One interface (alternate setting 0). Its bInterfaceNumber is its position in the configuration.
struct UsbInterfaceSpec
{
    quint8 interfaceClass = 0xFF;
    quint8 interfaceSubClass = 0x01;
    quint8 interfaceProtocol = 0x00;
    QList<UsbEndpointSpec> endpoints;
};

// What a simulated USB device shows the host: its device descriptor, one configuration and the
// sysfs attributes libusb reads. Start from one of the named variants and change fields as needed.
struct UsbDeviceSpec
{
    quint16 vendorId = 0x1FC9;
    quint16 productId = 0x828A;
    quint16 bcdDevice = 0x0100;
    int speedMbps = 480; // sysfs "speed": 12 full speed, 480 high speed
    quint8 configurationValue = 1; // bConfigurationValue of the one configuration
    QList<UsbInterfaceSpec> interfaces; // by position

    // Optional sysfs text attributes ("serial", "manufacturer", "product"); empty = absent.
    QString serialNumber;
    QString manufacturer;
    QString product;

    // The device descriptor followed by the whole configuration descriptor, little-endian, as
    // the sysfs "descriptors" attribute holds them.
    QByteArray descriptors() const;

    // The vendor interface of a Pelto: class/subclass/protocol 0xFF/0x01/0x00, bulk IN 0x81 and
    // bulk OUT 0x01, both with `maxPacketSize`.
    static UsbInterfaceSpec peltoInterface(quint16 maxPacketSize = 512);

    // A Pelto: configuration 1 with the vendor interface alone, at position 0.
    static UsbDeviceSpec pelto(quint16 maxPacketSize = 512);
    // The vendor interface at `position`, after other interfaces: position 0 is a vendor
    // interface 0xFF/0x01/0x01 (same class and subclass, another protocol) with its own bulk
    // endpoints 0x82/0x02 of 64 bytes; positions 1.. are CDC data interfaces (0x0A/0x00/0x00)
    // with bulk endpoints 0x83/0x03, 0x84/0x04, ...
    static UsbDeviceSpec peltoWithVendorInterfaceAt(int position, quint16 maxPacketSize = 512);
    // The same 1FC9:828A device whose configuration has no 0xFF/0x01/0x00 interface (only the
    // 0xFF/0x01/0x01 and CDC data interfaces above).
    static UsbDeviceSpec peltoWithoutVendorInterface();
    // The vendor interface with the bulk IN endpoint 0x81 only.
    static UsbDeviceSpec peltoWithOneEndpoint(quint16 maxPacketSize = 512);
};

} // namespace nimbrel::test
