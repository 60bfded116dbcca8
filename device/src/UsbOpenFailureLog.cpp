#include "UsbOpenFailureLog.h"

#include <libusb.h>

#include <algorithm>

QStringList UsbOpenFailureLog::report(Device device, int error, const char *errorName)
{
    if (!m_reported.insert({ device, error }).second)
        return {};
    QStringList lines;
    lines << QStringLiteral("error opening device: %1 (%2, bus %3 address %4)")
                 .arg(error)
                 .arg(QLatin1String(errorName ? errorName : "?"))
                 .arg(device.bus)
                 .arg(device.address);
    if (error == LIBUSB_ERROR_ACCESS)
        lines << accessHint();
    return lines;
}

void UsbOpenFailureLog::opened(Device device)
{
    std::erase_if(m_reported, [device](const auto &entry) { return entry.first == device; });
}

void UsbOpenFailureLog::keepOnly(const std::vector<Device> &present)
{
    std::erase_if(m_reported, [&present](const auto &entry) {
        return std::find(present.begin(), present.end(), entry.first) == present.end();
    });
}

QString UsbOpenFailureLog::accessHint()
{
    return QStringLiteral(
        "No permission to open the Pelto on USB. Install the udev rule that ships with Nimbrel "
        "Lab: sudo install -m 0644 packaging/udev/70-nimbrel-pelto.rules /etc/udev/rules.d/ && "
        "sudo udevadm control --reload-rules && sudo udevadm trigger, then plug the Pelto in "
        "again.");
}
