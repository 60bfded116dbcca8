#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

// Decides which failures to open a USB device are worth a log line. Discovery tries a device it
// cannot open again every second; without this, a missing udev rule would write the same line
// every second for as long as the device stays plugged in. Each device (bus number and address;
// a device plugged in again gets a new address) is reported once per error code, and a missing
// permission is explained once with what to install.
//
// Threading: used by the discovery thread only; no locking of its own.
class UsbOpenFailureLog
{
public:
    struct Device
    {
        std::uint8_t bus = 0;
        std::uint8_t address = 0;
        auto operator<=>(const Device &) const = default;
    };

    // The lines to log for this failure; empty when it has been reported already. `error` is
    // libusb's code, `errorName` its name.
    QStringList report(Device device, int error, const char *errorName);
    // The device opened: a later failure of it is news again.
    void opened(Device device);
    // Forgets devices that are no longer on the bus.
    void keepOnly(const std::vector<Device> &present);
    std::size_t size() const { return m_reported.size(); }

    // Where the rule that gives the desktop user access lives in the source tree, and how to
    // install it.
    static QString accessHint();

private:
    std::set<std::pair<Device, int>> m_reported;
};
