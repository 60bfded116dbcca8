#include "USBDataLink.h"

#include "OrvPacketQueue.h"
#include "OrvPacketRecombiner.h"
#include "USBDataLinkGate.h"

#include <chrono>

Q_LOGGING_CATEGORY(lcUsbDataLink, "Device.USBDataLink")

namespace {

constexpr std::uint8_t VendorClass = 0xFF;
constexpr std::uint8_t DatalinkSubclass = 1;
constexpr std::uint8_t DatalinkProtocol = 0;
// A transfer that has not come back is cancelled again at most this often before the link gives
// up on it.
constexpr int CancelAttempts = 6;

// Position of the first interface whose first alternate setting is the data link, or -1.
int findDatalinkInterface(const libusb_config_descriptor *configuration)
{
    if (!configuration)
        return -1;
    for (int i = 0; i < configuration->bNumInterfaces; ++i) {
        const libusb_interface &interface = configuration->interface[i];
        if (interface.num_altsetting < 1)
            continue;
        const libusb_interface_descriptor &setting = interface.altsetting[0];
        if (setting.bInterfaceClass == VendorClass && setting.bInterfaceSubClass == DatalinkSubclass
            && setting.bInterfaceProtocol == DatalinkProtocol)
            return i;
    }
    return -1;
}

bool isBulk(const libusb_endpoint_descriptor &endpoint)
{
    return (endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK;
}

bool isIn(const libusb_endpoint_descriptor &endpoint)
{
    return (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
}

} // namespace

USBDataLink::USBDataLink(libusb_device_handle *deviceHandle,
                         libusb_config_descriptor *configuration, libusb_context **context,
                         libusb_device *device, QObject *parent, const UsbLinkTimings &timings)
    : AbstractDataLink(USB, parent)
    , m_timings(timings)
    , m_deviceHandle(deviceHandle)
    , m_configuration(configuration)
    , m_context(context)
    , m_device(device)
{
    m_gate = new TransferGate;
    m_gate->link = this;
    m_recombiner = new OrvPacketRecombiner(this);
    m_queue = new OrvPacketQueue(this);
    m_outTransfer = libusb_alloc_transfer(0);

    // IN data comes on the libusb event thread; frames are cut and delivered on the link's own
    // thread, in arrival order.
    connect(this, &USBDataLink::usbIn, m_recombiner, &OrvPacketRecombiner::rawDataReady,
            Qt::QueuedConnection);
    connect(m_recombiner, &OrvPacketRecombiner::packetReady, this,
            &AbstractDataLink::packetReceived, Qt::QueuedConnection);
    connect(this, &USBDataLink::TransferComplete, this, &USBDataLink::transferComplete,
            Qt::DirectConnection);
    connect(this, &USBDataLink::ConnectionError, this, &USBDataLink::transferFailed,
            Qt::DirectConnection);

    m_writer = std::thread([this] { writerLoop(); });
}

USBDataLink::~USBDataLink()
{
    flushBeforeClose();

    changeState(Invalid);
    m_running = false;
    disconnect(this, &USBDataLink::ConnectionError, nullptr, nullptr);

    // Wake the writer wherever it waits: for a frame, or for the previous transfer.
    {
        std::lock_guard lock(m_transferMutex);
        m_stopping = true;
    }
    m_transferIdle.notify_all();
    m_queue->close();

    std::unique_lock linkLock(m_linkMutex);
    std::unique_lock writeLock(m_writeMutex);
    m_queue->clear();
    if (m_writer.joinable())
        m_writer.join();
    delete m_queue;
    m_queue = nullptr;

    {
        std::unique_lock lock(m_transferMutex);
        if (!libusbAlive()) {
            // libusb is gone and with it every transfer in flight.
            m_inInFlight = false;
            m_outInFlight = false;
        }
    }
    cancelAndWait(m_inTransfer, m_inInFlight);
    cancelAndWait(m_outTransfer, m_outInFlight);
    writeLock.unlock();
    linkLock.unlock();

    bool inStillFlying = false;
    bool outStillFlying = false;
    {
        std::lock_guard gateLock(m_gate->mutex);
        m_gate->link = nullptr;
        std::lock_guard lock(m_transferMutex);
        inStillFlying = m_inInFlight;
        outStillFlying = m_outInFlight;
    }
    if (inStillFlying || outStillFlying) {
        // Its callback may still come and libusb may still write into its buffer: both stay.
        qCWarning(lcUsbDataLink) << "USB transfer did not come back after cancelling; kept";
    } else {
        delete m_gate;
    }
    m_gate = nullptr;

    emit DeleteUsb(m_deviceHandle, m_device, m_interfaceNumber.load(),
                   inStillFlying ? nullptr : m_inTransfer,
                   outStillFlying ? nullptr : m_outTransfer);
    if (m_configuration)
        libusb_free_config_descriptor(m_configuration);
}

bool USBDataLink::claimDatalinkInterface()
{
    const int position = findDatalinkInterface(m_configuration);
    if (position < 0) {
        qCWarning(lcUsbDataLink) << "unable to find Datalink interface number";
        return true;
    }
    // The device has one configuration; selecting it again is harmless and its result says
    // nothing the claim does not.
    libusb_set_configuration(m_deviceHandle, m_configuration->bConfigurationValue);
    const int result = libusb_claim_interface(m_deviceHandle, position);
    if (result < 0) {
        qCWarning(lcUsbDataLink) << "usb_claim_interface error" << result;
        return true;
    }
    m_interfaceNumber = position;
    return false;
}

void USBDataLink::startReadTransfer()
{
    if (m_inTransfer || getState() == Invalid)
        return;
    const int position = m_interfaceNumber.load();
    if (position < 0) {
        failInitialisation("the data link interface is not claimed");
        return;
    }
    // The endpoints are those of the interface that was claimed, never of another that happens
    // to look alike.
    const libusb_interface &interface = m_configuration->interface[position];
    if (interface.num_altsetting < 1 || interface.altsetting[0].bNumEndpoints < 2) {
        failInitialisation("the data link interface has fewer than two endpoints");
        return;
    }
    const libusb_endpoint_descriptor &first = interface.altsetting[0].endpoint[0];
    const libusb_endpoint_descriptor &second = interface.altsetting[0].endpoint[1];
    if (!isBulk(first) || !isBulk(second)) {
        failInitialisation("the data link endpoints are not bulk endpoints");
        return;
    }
    if (isIn(first) == isIn(second)) {
        failInitialisation("the data link endpoints point the same way");
        return;
    }
    const libusb_endpoint_descriptor &in = isIn(first) ? first : second;
    const libusb_endpoint_descriptor &out = isIn(first) ? second : first;
    const std::uint16_t inPacketSize = UsbWriteRules::packetSize(in.wMaxPacketSize);
    const std::uint16_t outPacketSize = UsbWriteRules::packetSize(out.wMaxPacketSize);
    if (inPacketSize == 0 || outPacketSize == 0) {
        // Transfers of nothing would complete at once, forever.
        failInitialisation("a data link endpoint has a packet size of 0");
        return;
    }

    m_inTransfer = libusb_alloc_transfer(0);
    if (!m_inTransfer) {
        failInitialisation("no memory for the IN transfer");
        return;
    }
    {
        std::lock_guard lock(m_transferMutex);
        m_gate->readBuffer.assign(UsbWriteRules::readBufferSize(inPacketSize), 0);
        m_gate->writeBuffer.assign(outPacketSize, 0);
        m_rules.setMaxPacketSize(outPacketSize);
        m_maxPacketSize = outPacketSize;
        m_inEndpoint = in.bEndpointAddress;
        m_outEndpoint = out.bEndpointAddress;
    }
    // One packet per read: a frame that ends on a packet boundary is delivered at once instead of
    // waiting for the rest of a longer buffer.
    libusb_fill_bulk_transfer(m_inTransfer, m_deviceHandle, in.bEndpointAddress,
                              m_gate->readBuffer.data(), inPacketSize, &TransferGate::readCallback,
                              m_gate, 0);

    // The gate keeps the first callback out until Connected is reported, so that a failure it
    // reports (the device unplugged meanwhile) always comes after Connected.
    std::lock_guard gateLock(m_gate->mutex);
    int result = 0;
    {
        std::lock_guard lock(m_transferMutex);
        result = libusb_submit_transfer(m_inTransfer);
        m_inInFlight = result == 0;
    }
    if (result < 0) {
        qCWarning(lcUsbDataLink).noquote() << QStringLiteral("error submitting read transfer: ")
                + QLatin1String(libusb_error_name(result));
        if (result == LIBUSB_ERROR_NO_DEVICE)
            m_deviceGone = true;
        transferFailed();
        return;
    }
    changeState(Connected);
}

std::size_t USBDataLink::queuedFrames() const
{
    return m_queue ? m_queue->size() : 0;
}

void USBDataLink::sendPacket(uint16_t channel, bool isReliable, QByteArray packet)
{
    // A link being destroyed holds the link mutex; its frames vanish.
    std::unique_lock lock(m_linkMutex, std::try_to_lock);
    if (!lock.owns_lock() || !m_queue)
        return;
    m_queue->enqueue({ std::move(packet), isReliable, channel });
}

void USBDataLink::activeLinkTypeChanged(AbstractDataLink::LinkType interface)
{
    Q_UNUSED(interface);
}

int USBDataLink::getDatalinkInterfaceNumber()
{
    return findDatalinkInterface(m_configuration);
}

void USBDataLink::transferFailed()
{
    // Only the first failure is reported; later ones (the other transfer failing the same way)
    // would only make the owner remove the link again.
    if (m_failed.exchange(true))
        return;
    invalidateLink();
}

void USBDataLink::failInitialisation(const char *why)
{
    qCWarning(lcUsbDataLink) << "failed to initialize usb";
    qCDebug(lcUsbDataLink) << why;
    transferFailed();
}

bool USBDataLink::libusbAlive() const
{
    return m_context && *m_context;
}

void USBDataLink::flushBeforeClose()
{
    // Only a healthy link to a device that is still there can still write; the frames a closing
    // device sends last (set-interface None, disconnect) are worth a short wait.
    if (getState() != Connected || m_deviceGone || !libusbAlive() || !m_queue)
        return;
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timings.flushMs);
    m_queue->waitUntilDrained(deadline);
    std::unique_lock lock(m_transferMutex);
    m_transferIdle.wait_until(lock, deadline, [this] { return !m_outInFlight; });
}

void USBDataLink::cancelAndWait(libusb_transfer *transfer, bool &inFlight)
{
    if (!transfer)
        return;
    std::unique_lock lock(m_transferMutex);
    for (int attempt = 0; inFlight && attempt < CancelAttempts; ++attempt) {
        lock.unlock();
        // Refused when the transfer has just completed and its callback is on its way; the wait
        // below then catches the callback.
        libusb_cancel_transfer(transfer);
        lock.lock();
        m_transferIdle.wait_for(lock, std::chrono::milliseconds(m_timings.cancelWaitMs),
                                [&inFlight] { return !inFlight; });
    }
}
