#pragma once

#include "AbstractDataLink.h"
#include "UsbLinkTimings.h"
#include "UsbWriteRules.h"

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

struct libusb_config_descriptor;
struct libusb_context;
struct libusb_device;
struct libusb_device_handle;
struct libusb_transfer;

class OrvPacketQueue;
class OrvPacketRecombiner;

// The link to a controller over the vendor interface (class 0xFF, subclass 1, protocol 0) of its
// USB connection, with libusb bulk transfers.
//
// Outgoing frames are queued by sendPacket and written by the link's own writer thread, one OUT
// transfer at a time, cut into chunks of the endpoint's packet size (UsbWriteRules). Incoming data
// arrives through one IN transfer that is resubmitted after every completion and is cut back into
// frames on the GUI thread (usbIn -> recombiner -> packetReceived, both queued).
//
// Ownership: the device factory opens the device, builds the link and calls
// claimDatalinkInterface; the link manager adopts it and starts the reading (startReading ->
// startReadTransfer). The link owns the configuration descriptor it is given (freed by the
// destructor) and the transfers' buffers; the device handle, the device and the two transfers are
// handed back with DeleteUsb when the link is destroyed, and the factory releases the interface,
// frees the transfers and closes the handle. A transfer that is still in flight when the link goes
// is handed back as null: freeing it would pull memory from under libusb.
//
// Threads: the GUI thread runs the constructor (or the factory's discovery thread, which then
// moves the link to the GUI thread), sendPacket, the claim, startReadTransfer and the destructor;
// the writer thread runs usbWrite; the factory's libusb event thread runs the transfer callbacks,
// and with them usbIn, TransferComplete and ConnectionError (so transferFailed and
// datalinkStateSignal may come from that thread or the writer thread). Locks: the link mutex
// (held by the destructor; sendPacket only tries it), the write mutex (one usbWrite at a time; the
// destructor waits for it) and the transfer mutex (the frame in progress and which transfers are
// in flight; never held while a signal is emitted). Lock order: link, write, transfer. Everything
// else shared between the threads is atomic.
//
// State: Created -> Connected (startReadTransfer) -> Invalid (any failure, or destruction).
// Invalid is final; the owner deletes the link. The destructor never waits for long: it wakes the
// writer at once and waits for each transfer's cancellation at most 200 ms at a time.
class USBDataLink : public AbstractDataLink
{
    Q_OBJECT

public:
    // usbWrite results.
    enum WriteResult {
        WriteStarted = 0, // the first chunk was submitted (libusb's success code)
        WriterBusy = -1, // another usbWrite runs, or the link is closing
        NoOutTransfer = -2, // no OUT transfer, or the endpoints are not known (not started)
        SubmitFailed = -3, // libusb refused the first chunk
        PreviousOverdue = -4, // the previous frame did not go within the time-out
    };

    // `configuration` is configuration 0 of `device`, read by the factory; the link frees it.
    // `context` points to the factory's libusb context field; a null context there means libusb
    // was shut down, and the destructor then cancels nothing.
    USBDataLink(libusb_device_handle *deviceHandle, libusb_config_descriptor *configuration,
                libusb_context **context, libusb_device *device, QObject *parent = nullptr,
                const UsbLinkTimings &timings = {});
    ~USBDataLink() override;

    // Selects the configuration and claims the vendor interface. Returns true on FAILURE
    // ("unable to find Datalink interface number", "usb_claim_interface error").
    bool claimDatalinkInterface();
    // Takes the bulk endpoints of the claimed interface and submits the IN transfer; the link is
    // then Connected, or Invalid when the endpoints are unusable or the submission fails.
    void startReadTransfer();
    void startReading() override { startReadTransfer(); }

    // The interface claimed, or -1.
    int claimedInterfaceNumber() const { return m_interfaceNumber.load(); }
    // Bytes per OUT chunk: 64 until the endpoints are read, then the OUT endpoint's packet size.
    std::uint16_t maxPacketSize() const { return m_maxPacketSize.load(); }
    std::uint8_t inEndpoint() const { return m_inEndpoint.load(); }
    std::uint8_t outEndpoint() const { return m_outEndpoint.load(); }
    const UsbLinkTimings &timings() const { return m_timings; }
    // Frames accepted and not yet taken by the writer.
    std::size_t queuedFrames() const;

signals:
    void usbIn(QByteArray packet);
    void ConnectionError();
    void TransferComplete();
    void DeleteUsb(void *devHandle, void *device, int interfaceNumber, void *transferIn,
                   void *transferOut);

public slots:
    void sendPacket(uint16_t channel, bool isReliable, QByteArray packet) override;
    void activeLinkTypeChanged(AbstractDataLink::LinkType interface) override;
    // Position of the vendor interface in the configuration, or -1.
    int getDatalinkInterfaceNumber();
    // Puts one frame on the OUT endpoint; waits at most `timeout` ms for the previous frame.
    int usbWrite(QByteArray packet, bool isReliable, int channelNumber, int timeout);
    // The OUT transfer is idle again (no-op while a frame is still being written).
    void transferComplete();
    void transferFailed();

private:
    struct TransferGate;

    void writerLoop();
    void onReadDone(libusb_transfer *transfer);
    void onWriteDone(libusb_transfer *transfer);
    // With the transfer mutex held: copies chunk() into the OUT buffer and submits it.
    int submitChunkLocked();
    // With the transfer mutex held: waits until the OUT transfer is idle, for `timeoutMs`.
    bool waitOutIdleLocked(std::unique_lock<std::mutex> &lock, int timeoutMs);
    void markOutIdleLocked();
    void failInitialisation(const char *why);
    void flushBeforeClose();
    void cancelAndWait(libusb_transfer *transfer, bool &inFlight);
    bool libusbAlive() const;

    const UsbLinkTimings m_timings;
    libusb_device_handle *const m_deviceHandle;
    libusb_config_descriptor *m_configuration;
    libusb_context **const m_context;
    libusb_device *const m_device;

    OrvPacketRecombiner *m_recombiner = nullptr;
    OrvPacketQueue *m_queue = nullptr;

    std::atomic<bool> m_running{ true };
    std::atomic<bool> m_deviceGone{ false };
    std::atomic<bool> m_failed{ false };
    std::atomic<std::uint16_t> m_maxPacketSize{ 64 };
    std::atomic<int> m_interfaceNumber{ -1 };
    std::atomic<std::uint8_t> m_inEndpoint{ 0 };
    std::atomic<std::uint8_t> m_outEndpoint{ 0 };

    std::mutex m_linkMutex;
    std::mutex m_writeMutex;

    // Guarded by m_transferMutex.
    std::mutex m_transferMutex;
    std::condition_variable m_transferIdle;
    UsbWriteRules m_rules;
    QByteArray m_outFrame; // the frame in progress
    bool m_outInFlight = false;
    bool m_inInFlight = false;
    bool m_stopping = false;

    TransferGate *m_gate = nullptr;
    libusb_transfer *m_inTransfer = nullptr;
    libusb_transfer *m_outTransfer = nullptr;

    std::thread m_writer;
};
