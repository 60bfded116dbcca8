#include "UsbDeviceSpec.h"

namespace nimbrel::test {

namespace {

void putU16(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value & 0xFF));
    bytes.append(char(value >> 8));
}

UsbInterfaceSpec otherInterface(int position)
{
    // Position 0 matches the vendor interface in class and subclass but not in protocol, so a
    // host that looks at class and subclass alone picks the wrong interface and its endpoints.
    if (position == 0)
        return { 0xFF, 0x01, 0x01, { { 0x82, 0x02, 64 }, { 0x02, 0x02, 64 } } };
    const quint8 number = quint8(0x02 + position);
    return { 0x0A, 0x00, 0x00, { { quint8(0x80 | number), 0x02, 512 }, { number, 0x02, 512 } } };
}

} // namespace

QByteArray UsbDeviceSpec::descriptors() const
{
    QByteArray device;
    device.append(char(18)).append(char(0x01)); // bLength, DEVICE
    putU16(device, 0x0200); // bcdUSB
    device.append(char(0)).append(char(0)).append(char(0)); // class per interface
    device.append(char(64)); // bMaxPacketSize0
    putU16(device, vendorId);
    putU16(device, productId);
    putU16(device, bcdDevice);
    device.append(char(0)).append(char(0)).append(char(0)); // no string descriptors
    device.append(char(1)); // bNumConfigurations

    QByteArray body;
    for (qsizetype number = 0; number < interfaces.size(); ++number) {
        const UsbInterfaceSpec &interface = interfaces.at(number);
        body.append(char(9)).append(char(0x04)); // bLength, INTERFACE
        body.append(char(number)).append(char(0));
        body.append(char(interface.endpoints.size()));
        body.append(char(interface.interfaceClass)).append(char(interface.interfaceSubClass));
        body.append(char(interface.interfaceProtocol)).append(char(0));
        for (const UsbEndpointSpec &endpoint : interface.endpoints) {
            body.append(char(7)).append(char(0x05)); // bLength, ENDPOINT
            body.append(char(endpoint.address)).append(char(endpoint.attributes));
            putU16(body, endpoint.maxPacketSize);
            body.append(char(endpoint.interval));
        }
    }
    QByteArray configuration;
    configuration.append(char(9)).append(char(0x02)); // bLength, CONFIGURATION
    putU16(configuration, quint16(9 + body.size())); // wTotalLength
    configuration.append(char(interfaces.size())).append(char(configurationValue));
    configuration.append(char(0)).append(char(0x80)).append(char(50)); // bus powered, 100 mA
    return device + configuration + body;
}

UsbInterfaceSpec UsbDeviceSpec::peltoInterface(quint16 maxPacketSize)
{
    return { 0xFF, 0x01, 0x00, { { 0x81, 0x02, maxPacketSize }, { 0x01, 0x02, maxPacketSize } } };
}

UsbDeviceSpec UsbDeviceSpec::pelto(quint16 maxPacketSize)
{
    UsbDeviceSpec spec;
    spec.speedMbps = maxPacketSize == 64 ? 12 : 480;
    spec.interfaces = { peltoInterface(maxPacketSize) };
    return spec;
}

UsbDeviceSpec UsbDeviceSpec::peltoWithVendorInterfaceAt(int position, quint16 maxPacketSize)
{
    UsbDeviceSpec spec = pelto(maxPacketSize);
    spec.interfaces.clear();
    for (int other = 0; other < position; ++other)
        spec.interfaces << otherInterface(other);
    spec.interfaces << peltoInterface(maxPacketSize);
    return spec;
}

UsbDeviceSpec UsbDeviceSpec::peltoWithoutVendorInterface()
{
    UsbDeviceSpec spec = pelto();
    spec.interfaces = { otherInterface(0), otherInterface(1) };
    return spec;
}

UsbDeviceSpec UsbDeviceSpec::peltoWithOneEndpoint(quint16 maxPacketSize)
{
    UsbDeviceSpec spec = pelto(maxPacketSize);
    spec.interfaces.first().endpoints.removeLast();
    return spec;
}

} // namespace nimbrel::test
