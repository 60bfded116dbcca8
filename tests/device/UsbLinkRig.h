#pragma once

#include "TestSupport.h"
#include "USBDataLink.h"
#include "UsbEventLoop.h"
#include "UsbPeltoSim.h"
#include "UsbTestbed.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

// Records what a link reports, on the test's thread: the link signals from its writer and event
// threads, so every connection here is queued (a direct QSignalSpy would append from there).
class UsbLinkRecorder : public QObject
{
    Q_OBJECT

public:
    struct Frame
    {
        uint16_t channel;
        QByteArray payload;
    };
    struct Deleted
    {
        void *handle = nullptr;
        void *device = nullptr;
        int interfaceNumber = -2;
        void *transferIn = nullptr;
        void *transferOut = nullptr;
    };

    explicit UsbLinkRecorder(USBDataLink *link)
    {
        connect(
            link, &AbstractDataLink::datalinkStateSignal, this,
            [this](AbstractDataLink::LinkType, AbstractDataLink::DatalinkState state) {
                states.append(state);
            },
            Qt::QueuedConnection);
        connect(
            link, &AbstractDataLink::packetReceived, this,
            [this](uint16_t channel, QByteArray payload) {
                frames.append({ channel, payload });
            },
            Qt::QueuedConnection);
        // Emitted by the destructor on the test's thread; handled at once, the way the factory
        // frees the libusb objects.
        connect(
            link, &USBDataLink::DeleteUsb, this,
            [this](void *handle, void *device, int interfaceNumber, void *in, void *out) {
                deleted = { handle, device, interfaceNumber, in, out };
                ++deleteUsbCount;
                UsbEventLoop::release(handle, in, out, interfaceNumber);
            },
            Qt::DirectConnection);
    }

    bool sawState(AbstractDataLink::DatalinkState state) const { return states.contains(state); }
    QList<QByteArray> payloadsOn(uint16_t channel) const
    {
        QList<QByteArray> result;
        for (const Frame &f : frames)
            if (f.channel == channel)
                result.append(f.payload);
        return result;
    }

    QList<AbstractDataLink::DatalinkState> states;
    QList<Frame> frames;
    Deleted deleted;
    int deleteUsbCount = 0;
};

// One simulated Pelto on a umockdev USB bus with pelto-sim behind it, a libusb context with its
// event thread, and the link under test. Members are destroyed in reverse order: the link first,
// then libusb, then the testbed (it must outlive libusb_exit).
class UsbLinkRig
{
public:
    static UsbLinkTimings fastTimings()
    {
        UsbLinkTimings timings;
        timings.reliableDeadlineMs = 300;
        timings.cancelWaitMs = 200;
        timings.flushMs = 200;
        return timings;
    }

    ~UsbLinkRig() { destroyLink(); }

    // Starts pelto-sim (unless `withSim` is false), plugs in the device and starts libusb.
    bool plug(const nimbrel::test::UsbDeviceSpec &spec, bool withSim = true)
    {
        if (!testbed.isValid()) {
            why = testbed.errorString();
            return false;
        }
        QString socketPath;
        if (withSim) {
            socketPath = QDir(nimbrel::test::testRoot()).filePath(QStringLiteral("pelto-usb.sock"));
            sim = std::make_unique<UsbPeltoSim>();
            if (!sim->start(socketPath, QStringLiteral("PLT-USB-0001"))) {
                why = QStringLiteral("pelto-sim did not start");
                return false;
            }
        }
        deviceId = testbed.addDevice(spec, socketPath);
        if (deviceId < 0) {
            why = testbed.errorString();
            return false;
        }
        usb = std::make_unique<UsbEventLoop>();
        if (!usb->isValid()) {
            why = QStringLiteral("libusb_init: ") + usb->initError();
            return false;
        }
        return true;
    }

    // Opens the device and builds the link (not claimed, not started).
    USBDataLink *makeLink(const UsbLinkTimings &timings = fastTimings())
    {
        const UsbEventLoop::Opened opened = usb->open(0x1FC9, 0x828A, &why);
        if (!opened.isValid())
            return nullptr;
        link = new USBDataLink(opened.handle, opened.configuration, usb->contextField(),
                               opened.device, nullptr, timings);
        recorder = std::make_unique<UsbLinkRecorder>(link);
        return link;
    }

    // Opens, claims and starts the link; true when it reports Connected.
    bool connectLink(const UsbLinkTimings &timings = fastTimings())
    {
        if (!makeLink(timings))
            return false;
        if (link->claimDatalinkInterface()) {
            why = QStringLiteral("claim failed");
            return false;
        }
        link->startReadTransfer();
        return nimbrel::test::waitFor(
            [this] { return recorder->sawState(AbstractDataLink::Connected); }, 5000);
    }

    // Deletes the link and tells how long its destructor ran.
    qint64 destroyLink()
    {
        if (!link)
            return 0;
        QElapsedTimer timer;
        timer.start();
        delete link.data();
        return timer.elapsed();
    }

    QList<nimbrel::test::UsbUrbRecord> urbsOn(quint8 endpoint) const
    {
        QList<nimbrel::test::UsbUrbRecord> result;
        for (const nimbrel::test::UsbUrbRecord &urb : testbed.urbs(deviceId))
            if (urb.endpoint == endpoint)
                result.append(urb);
        return result;
    }

    // Payloads of the frames pelto-sim received on `channel`, in order.
    QList<QByteArray> simPayloads(int channel)
    {
        QList<QByteArray> result;
        for (const QJsonValue &frame : sim->frames(channel))
            result.append(QByteArray::fromHex(
                frame.toObject().value(QStringLiteral("payload")).toString().toLatin1()));
        return result;
    }

    nimbrel::test::UsbTestbed testbed;
    std::unique_ptr<UsbPeltoSim> sim;
    std::unique_ptr<UsbEventLoop> usb;
    int deviceId = -1;
    QPointer<USBDataLink> link;
    std::unique_ptr<UsbLinkRecorder> recorder;
    QString why;
};

// A device frame written out field by field (little-endian), independent of the host's framing.
inline QByteArray usbFrame(quint16 channel, const QByteArray &payload)
{
    const int length = int(payload.size()) + 6;
    QByteArray f;
    f.append(char(0xCD)).append(char(0xAB));
    f.append(char(channel & 0xFF)).append(char(channel >> 8));
    f.append(char(length & 0xFF)).append(char(length >> 8));
    return f + payload;
}

// `size` bytes that never repeat within a frame's reach and never start with zero.
inline QByteArray usbPattern(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 13 + seed * 7) % 253 + 1);
    return bytes;
}
