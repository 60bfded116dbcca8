#pragma once

#include "UsbOpenFailureLog.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

class QThread;
class USBDataLink;
struct libusb_context;
struct libusb_device;
struct libusb_device_handle;
struct libusb_transfer;

// The USB half of the device factory: the libusb context, the discovery thread that finds Pelto
// controllers (1FC9:828A) and opens them, and the libusb event thread that runs every transfer
// callback while at least one USB device is open.
//
// A discovery pass takes at most one new device: it opens it, builds its USBDataLink, moves the
// link to the GUI thread and hands it over (`handOver`, called on the discovery thread), then
// waits until the GUI thread has claimed or dropped it (handOverDone) before the next pass. A
// device stays "known" from then on until its link is gone and the GUI thread has released it
// (release), so discovery never opens a device twice.
//
// Threads and locks: the USB mutex guards the known devices and every libusb call that opens or
// releases a device, and is held by the discovery thread for the walk of one pass and by release.
// The discovery mutex and condition only time the passes (and end the wait at shutdown). The
// event thread runs while the known list is not empty: started by the discovery thread for the
// first device, stopped and joined under the USB mutex after the last one is released. It never
// takes the USB mutex.
//
// Shutdown (the owner's order): stopDiscovery, then the owner destroys its links (the event thread
// still runs, so cancelled transfers come back) and releases their devices, then shutdown stops
// the event thread, closes whatever is still open and calls libusb_exit.
class UsbDiscovery
{
public:
    struct Timing
    {
        int firstPassDelayMs = 2000;
        int passIntervalMs = 1000;
    };
    using HandOver = std::function<void(USBDataLink *link)>;

    // Initialises libusb; isAvailable() says whether that worked. `linkThread` is the thread the
    // links are moved to.
    UsbDiscovery(Timing timing, HandOver handOver, QThread *linkThread);
    ~UsbDiscovery();
    UsbDiscovery(const UsbDiscovery &) = delete;
    UsbDiscovery &operator=(const UsbDiscovery &) = delete;

    bool isAvailable() const { return m_context != nullptr; }
    void start();
    // The links keep a pointer to the context field; null there means libusb is gone.
    libusb_context **contextField() { return &m_context; }

    // The GUI thread has claimed or dropped the link handed over last.
    void handOverDone();
    // Frees what a link held: its transfers (null: still in flight, kept by the link), the claimed
    // interface (-1: none) and the handle; forgets the device. Stops the event thread after the
    // last device.
    void release(libusb_device_handle *handle, libusb_device *device, int interfaceNumber,
                 libusb_transfer *transferIn, libusb_transfer *transferOut);

    // Ends the discovery thread (also while it waits for a hand-over) and joins it.
    void stopDiscovery();
    // stopDiscovery, then the event thread, then libusb_exit. Idempotent.
    void shutdown();

    int knownDeviceCount() const;
    bool isEventThreadRunning() const;
    // How many discovery passes have walked the device list (for benchmarks and diagnostics).
    long passCount() const { return m_passes.load(); }

private:
    void discoveryLoop();
    // True when a link was handed over.
    bool discoveryPass();
    void startEventThreadLocked();
    void stopEventThreadLocked();
    void eventLoop();

    const Timing m_timing;
    const HandOver m_handOver;
    QThread *const m_linkThread;

    // Read by the links (through the pointer they are given) to know whether libusb still runs.
    libusb_context *m_context = nullptr;

    struct KnownDevice
    {
        libusb_device *device = nullptr; // referenced while known
        libusb_device_handle *handle = nullptr;
    };

    mutable std::mutex m_usbMutex;
    std::vector<KnownDevice> m_known;
    UsbOpenFailureLog m_openFailures; // discovery thread only

    std::mutex m_discoveryMutex;
    std::condition_variable m_discoveryCondition;
    std::counting_semaphore<> m_handOverSemaphore{ 0 };
    std::atomic<bool> m_discoveryRunning{ false };
    std::thread m_discoveryThread;

    std::atomic<bool> m_eventLoopRunning{ false };
    std::thread m_eventThread;

    std::atomic<long> m_passes{ 0 };
};
