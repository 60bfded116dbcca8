#pragma once

#include "UsbDeviceSpec.h"
#include "UsbUrbRecord.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace nimbrel::test {

// A simulated USB bus for tests that drive the real libusb Linux back end without hardware.
//
// The test program runs under `umockdev-wrapper` (declare the test with UMOCKDEV in
// nimbrel_add_qt_test). UsbTestbed makes a umockdev testbed and, for every device added, the
// sysfs entry libusb lists it by (descriptors, busnum, devnum, speed, bConfigurationValue...),
// its /dev/bus/usb/BBB/DDD node and a handler that answers the usbdevfs ioctls libusb issues on
// that node: capabilities, set configuration, claim/release (also disconnect-and-claim), submit,
// reap and discard URB, clear halt, reset. Requests it does not know are answered ENOTTY and
// listed by unhandledRequests().
//
// The device behind the node is a pelto-sim process listening with --usb-socket: the testbed
// writes the data of every OUT URB to that socket, and what the simulator sends completes the
// pending IN URBs in order, each with at most its buffer length. Bulk OUT URBs complete at once
// with all their bytes taken, unless held (setHoldOut/holdNextOut). Every URB is recorded.
//
// Readiness: the node is a FIFO the testbed keeps full while nothing can be reaped, so libusb's
// event loop sleeps in poll() like on a real device instead of spinning.
//
// Threads: umockdev answers the ioctls on its own worker thread and a pump thread of the testbed
// moves the socket data; neither is the thread under test, so libusb may be called synchronously
// from any thread (the GUI thread included) while the testbed serves it. The methods here are
// called from the thread that made the testbed; the readers (urbs, claimedInterfaces, ...) are
// safe from any thread.
//
// Order: construct the testbed before libusb_init (it points the process at its own sysfs and
// uevent sockets) and destroy it after libusb_exit. One testbed per process at a time.
class UsbTestbed
{
public:
    UsbTestbed();
    ~UsbTestbed();
    UsbTestbed(const UsbTestbed &) = delete;
    UsbTestbed &operator=(const UsbTestbed &) = delete;

    // True when libumockdev-preload is loaded, i.e. the test runs under umockdev-wrapper.
    static bool underUmockdev();
    bool isValid() const;
    QString errorString() const;

    // Plugs a device in and announces it with an "add" uevent (libusb's hot-plug monitor sees
    // it). `simSocketPath`: the --usb-socket of the pelto-sim that answers for it; empty = no
    // device behind (OUT data is dropped, IN URBs stay pending). Several devices each get their
    // own simulator. Returns the device id (>= 1), or -1 and errorString().
    int addDevice(const UsbDeviceSpec &spec, const QString &simSocketPath = {});

    // Unplugs a device: URBs in flight complete with -ENODEV (LIBUSB_TRANSFER_NO_DEVICE), later
    // ioctls on open handles fail with ENODEV, a "remove" uevent goes out, the sysfs entry and the
    // node disappear and the socket to the simulator closes. False for an unknown id.
    bool removeDevice(int id);

    // OUT URBs are held (never completed, their data never reaches the simulator) until the host
    // discards them, which completes them with -ENOENT: the host's transfer times out. Switching
    // the hold off completes the URBs still held, in order, as taken.
    void setHoldOut(int id, bool hold);
    // Holds only the next `count` OUT URBs submitted (each until discarded); later ones go through.
    void holdNextOut(int id, int count);
    // The next `count` IN URBs (a pending one first) complete at once with status -errnoValue and
    // no data: EPIPE gives LIBUSB_TRANSFER_STALL, ENODEV LIBUSB_TRANSFER_NO_DEVICE, EPROTO
    // LIBUSB_TRANSFER_ERROR. The device stays attached.
    void failNextIn(int id, int errnoValue, int count = 1);

    // Every URB submitted on the device, in submission order, with its current state.
    QList<UsbUrbRecord> urbs(int id) const;
    void clearUrbs(int id);
    // Interfaces claimed on the device by any open handle, ascending.
    QList<int> claimedInterfaces(int id) const;
    // The bConfigurationValue the host set last (the device description's until it sets one).
    int configuration(int id) const;
    // How many handles have the node open now.
    int openHandles(int id) const;
    // Whether the socket to the simulator is connected (false once either side closed it).
    bool simConnected(int id) const;

    quint8 busNumber(int id) const;
    quint8 deviceAddress(int id) const;
    QString sysfsPath(int id) const; // "/sys/devices/1-2" as the host sees it
    QString devNode(int id) const; // "/dev/bus/usb/001/003" as the host sees it

    // ioctl requests answered ENOTTY because the testbed does not know them ("USBDEVFS nr 31").
    QStringList unhandledRequests() const;

    class Private;

private:
    std::unique_ptr<Private> d;
};

} // namespace nimbrel::test
