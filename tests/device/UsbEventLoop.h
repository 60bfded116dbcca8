#pragma once

#include <libusb.h>

#include <QByteArray>
#include <QString>

#include <atomic>
#include <thread>

// What the device factory does for a USB link, as small as the tests need it: a libusb context
// with its event loop on a thread of its own, opening the first device with a given vendor and
// product id, and releasing what a link hands back with DeleteUsb.
class UsbEventLoop
{
public:
    struct Opened
    {
        libusb_device_handle *handle = nullptr;
        libusb_device *device = nullptr;
        libusb_config_descriptor *configuration = nullptr;
        bool isValid() const { return handle && configuration; }
    };

    UsbEventLoop()
    {
        m_initResult = libusb_init(&m_context);
        if (m_initResult < 0) {
            m_context = nullptr;
            return;
        }
        m_thread = std::thread([this] {
            while (m_running) {
                timeval tv{ 0, 100000 };
                libusb_handle_events_timeout_completed(m_context, &tv, nullptr);
            }
        });
    }

    ~UsbEventLoop()
    {
        stop();
        if (m_context)
            libusb_exit(m_context);
        m_context = nullptr;
    }

    UsbEventLoop(const UsbEventLoop &) = delete;
    UsbEventLoop &operator=(const UsbEventLoop &) = delete;

    bool isValid() const { return m_context != nullptr; }
    QString initError() const { return QString::fromLatin1(libusb_error_name(m_initResult)); }
    libusb_context *context() const { return m_context; }
    // The field a link watches: null once libusb is shut down.
    libusb_context **contextField() { return &m_context; }

    void stop()
    {
        if (!m_thread.joinable())
            return;
        m_running = false;
        libusb_interrupt_event_handler(m_context);
        m_thread.join();
    }

    // Opens the first device vid:pid (with its configuration 0), or returns an invalid Opened.
    Opened open(quint16 vendor, quint16 product, QString *why = nullptr)
    {
        Opened opened;
        libusb_device **list = nullptr;
        const ssize_t count = libusb_get_device_list(m_context, &list);
        if (count < 0) {
            if (why)
                *why = QStringLiteral("device list: ")
                    + QLatin1String(libusb_error_name(int(count)));
            return opened;
        }
        for (ssize_t i = 0; i < count; ++i) {
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(list[i], &descriptor) < 0)
                continue;
            if (descriptor.idVendor != vendor || descriptor.idProduct != product)
                continue;
            const int result = libusb_open(list[i], &opened.handle);
            if (result < 0) {
                if (why)
                    *why = QStringLiteral("open: ") + QLatin1String(libusb_error_name(result));
                opened.handle = nullptr;
                break;
            }
            opened.device = list[i];
            const int config = libusb_get_config_descriptor(list[i], 0, &opened.configuration);
            if (config < 0 && why)
                *why = QStringLiteral("configuration: ") + QLatin1String(libusb_error_name(config));
            break;
        }
        if (!opened.handle && why && why->isEmpty())
            *why = QStringLiteral("no device %1:%2 among %3")
                       .arg(vendor, 4, 16, QLatin1Char('0'))
                       .arg(product, 4, 16, QLatin1Char('0'))
                       .arg(count);
        // The open handle keeps its device referenced.
        libusb_free_device_list(list, 1);
        return opened;
    }

    // What the factory does with DeleteUsb.
    static void release(void *handle, void *transferIn, void *transferOut, int interfaceNumber)
    {
        libusb_free_transfer(static_cast<libusb_transfer *>(transferIn));
        libusb_free_transfer(static_cast<libusb_transfer *>(transferOut));
        auto *deviceHandle = static_cast<libusb_device_handle *>(handle);
        if (!deviceHandle)
            return;
        if (interfaceNumber >= 0)
            libusb_release_interface(deviceHandle, interfaceNumber);
        libusb_close(deviceHandle);
    }

private:
    libusb_context *m_context = nullptr;
    int m_initResult = 0;
    std::atomic<bool> m_running{ true };
    std::thread m_thread;
};
