#include "UsbDiscovery.h"

#include "USBDataLink.h"

#include <QLoggingCategory>
#include <QThread>

#include <libusb.h>

#include <algorithm>
#include <chrono>

Q_LOGGING_CATEGORY(lcUsbDiscovery, "Device.UsbDiscovery")

namespace {

constexpr std::uint16_t PeltoVendorId = 0x1FC9;
constexpr std::uint16_t PeltoProductId = 0x828A;

UsbOpenFailureLog::Device identify(libusb_device *device)
{
    return { libusb_get_bus_number(device), libusb_get_device_address(device) };
}

bool isPelto(libusb_device *device)
{
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) < 0)
        return false;
    return descriptor.idVendor == PeltoVendorId && descriptor.idProduct == PeltoProductId;
}

} // namespace

UsbDiscovery::UsbDiscovery(Timing timing, HandOver handOver, QThread *linkThread)
    : m_timing(timing)
    , m_handOver(std::move(handOver))
    , m_linkThread(linkThread)
{
    libusb_context *context = nullptr;
    if (libusb_init(&context) < 0)
        return;
    libusb_set_option(context, LIBUSB_OPTION_LOG_LEVEL, LIBUSB_LOG_LEVEL_NONE);
    m_context = context;
}

UsbDiscovery::~UsbDiscovery()
{
    shutdown();
}

void UsbDiscovery::start()
{
    if (!m_context || m_discoveryThread.joinable())
        return;
    m_discoveryRunning = true;
    m_discoveryThread = std::thread([this] { discoveryLoop(); });
}

void UsbDiscovery::discoveryLoop()
{
    std::unique_lock lock(m_discoveryMutex);
    int waitMs = m_timing.firstPassDelayMs;
    for (;;) {
        m_discoveryCondition.wait_for(lock, std::chrono::milliseconds(waitMs),
                                      [this] { return !m_discoveryRunning.load(); });
        if (!m_discoveryRunning)
            return;
        waitMs = m_timing.passIntervalMs;
        if (!discoveryPass())
            continue;
        // The next pass waits until the GUI thread has claimed or dropped the link, so that a
        // device is never taken twice. stopDiscovery releases the semaphore as well.
        lock.unlock();
        m_handOverSemaphore.acquire();
        lock.lock();
    }
}

bool UsbDiscovery::discoveryPass()
{
    USBDataLink *link = nullptr;
    {
        std::lock_guard usbLock(m_usbMutex);
        ++m_passes;
        libusb_device **list = nullptr;
        const ssize_t count = libusb_get_device_list(m_context, &list);
        if (count < 0) {
            qCWarning(lcUsbDiscovery).noquote() << QStringLiteral("USB discover error, ")
                    + QLatin1String(libusb_error_name(int(count)));
            return false;
        }
        std::vector<UsbOpenFailureLog::Device> present;
        for (ssize_t i = 0; i < count; ++i) {
            libusb_device *device = list[i];
            if (!isPelto(device))
                continue;
            present.push_back(identify(device));
            const bool known
                = std::any_of(m_known.begin(), m_known.end(),
                              [device](const KnownDevice &k) { return k.device == device; });
            // At most one new device per pass: the GUI thread takes them one at a time.
            if (link || known)
                continue;

            libusb_device_handle *handle = nullptr;
            int result = libusb_open(device, &handle);
            libusb_config_descriptor *configuration = nullptr;
            if (result == 0) {
                libusb_set_auto_detach_kernel_driver(handle, 1);
                result = libusb_get_config_descriptor(device, 0, &configuration);
                if (result < 0) {
                    libusb_close(handle);
                    handle = nullptr;
                }
            }
            if (result < 0) {
                // A device that cannot be opened is tried again next pass, and a device further
                // down the list is not kept waiting behind it.
                for (const QString &line :
                     m_openFailures.report(identify(device), result, libusb_error_name(result)))
                    qCWarning(lcUsbDiscovery).noquote() << line;
                continue;
            }
            m_openFailures.opened(identify(device));

            if (m_known.empty())
                startEventThreadLocked();
            link = new USBDataLink(handle, configuration, &m_context, device, nullptr);
            link->moveToThread(m_linkThread);
            m_known.push_back({ libusb_ref_device(device), handle });
            qCInfo(lcUsbDiscovery) << "Pelto found on USB bus" << libusb_get_bus_number(device)
                                   << "address" << libusb_get_device_address(device);
        }
        m_openFailures.keepOnly(present);
        libusb_free_device_list(list, 1);
    }
    if (link)
        m_handOver(link);
    return link != nullptr;
}

void UsbDiscovery::handOverDone()
{
    m_handOverSemaphore.release();
}

void UsbDiscovery::release(libusb_device_handle *handle, libusb_device *device, int interfaceNumber,
                           libusb_transfer *transferIn, libusb_transfer *transferOut)
{
    std::lock_guard lock(m_usbMutex);
    if (transferIn)
        libusb_free_transfer(transferIn);
    if (transferOut)
        libusb_free_transfer(transferOut);
    if (handle) {
        if (interfaceNumber >= 0)
            libusb_release_interface(handle, interfaceNumber);
        libusb_close(handle);
    }
    const auto known = std::find_if(m_known.begin(), m_known.end(),
                                    [device](const KnownDevice &k) { return k.device == device; });
    if (known != m_known.end()) {
        libusb_unref_device(known->device);
        m_known.erase(known);
    }
    if (m_known.empty())
        stopEventThreadLocked();
}

void UsbDiscovery::startEventThreadLocked()
{
    if (m_eventThread.joinable())
        m_eventThread.join();
    m_eventLoopRunning = true;
    m_eventThread = std::thread([this] { eventLoop(); });
}

void UsbDiscovery::stopEventThreadLocked()
{
    m_eventLoopRunning = false;
    if (m_context)
        libusb_interrupt_event_handler(m_context);
    if (m_eventThread.joinable())
        m_eventThread.join();
}

void UsbDiscovery::eventLoop()
{
    while (m_eventLoopRunning)
        libusb_handle_events_completed(m_context, nullptr);
}

void UsbDiscovery::stopDiscovery()
{
    {
        std::lock_guard lock(m_discoveryMutex);
        m_discoveryRunning = false;
    }
    m_discoveryCondition.notify_all();
    // Ends a wait for a hand-over the GUI thread will no longer process.
    m_handOverSemaphore.release();
    if (m_discoveryThread.joinable())
        m_discoveryThread.join();
}

void UsbDiscovery::shutdown()
{
    stopDiscovery();
    {
        std::lock_guard lock(m_usbMutex);
        stopEventThreadLocked();
        // Devices whose link never handed them back: close what is still open.
        for (const KnownDevice &known : m_known) {
            if (known.handle)
                libusb_close(known.handle);
            libusb_unref_device(known.device);
        }
        m_known.clear();
    }
    if (m_context) {
        libusb_exit(m_context);
        m_context = nullptr;
    }
}

int UsbDiscovery::knownDeviceCount() const
{
    std::lock_guard lock(m_usbMutex);
    return int(m_known.size());
}

bool UsbDiscovery::isEventThreadRunning() const
{
    return m_eventLoopRunning;
}
