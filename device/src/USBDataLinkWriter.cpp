// The writer thread, usbWrite and the two transfer callbacks of USBDataLink.
#include "USBDataLink.h"

#include "OrvPacketQueue.h"
#include "ProcessPriority.h"
#include "USBDataLinkGate.h"

#include <chrono>
#include <cstring>

namespace {

UsbTransferResult writeResult(libusb_transfer_status status)
{
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
        return UsbTransferResult::Completed;
    case LIBUSB_TRANSFER_ERROR:
        return UsbTransferResult::Error;
    case LIBUSB_TRANSFER_TIMED_OUT:
        return UsbTransferResult::TimedOut;
    case LIBUSB_TRANSFER_CANCELLED:
        return UsbTransferResult::Cancelled;
    case LIBUSB_TRANSFER_STALL:
        return UsbTransferResult::Stall;
    case LIBUSB_TRANSFER_NO_DEVICE:
        return UsbTransferResult::NoDevice;
    case LIBUSB_TRANSFER_OVERFLOW:
        return UsbTransferResult::Overflow;
    }
    return UsbTransferResult::Error;
}

QString sendErrorText(int code)
{
    return QStringLiteral("Error sending usb message out!  ")
        + QLatin1String(libusb_error_name(code));
}

} // namespace

void LIBUSB_CALL USBDataLink::TransferGate::readCallback(libusb_transfer *transfer)
{
    auto *gate = static_cast<TransferGate *>(transfer->user_data);
    std::lock_guard lock(gate->mutex);
    if (gate->link)
        gate->link->onReadDone(transfer);
}

void LIBUSB_CALL USBDataLink::TransferGate::writeCallback(libusb_transfer *transfer)
{
    auto *gate = static_cast<TransferGate *>(transfer->user_data);
    std::lock_guard lock(gate->mutex);
    if (gate->link)
        gate->link->onWriteDone(transfer);
}

void USBDataLink::writerLoop()
{
    int lastError = 0;
    if (!platform::raiseProcessPriority(lastError))
        qCWarning(lcUsbDataLink) << "Failed to setup prioritu USB Datalink" << lastError;

    while (m_running) {
        std::optional<OrvPacketQueue::Entry> entry = m_queue->waitTake();
        if (!entry)
            break;
        // A failed link writes nothing more; its owner is about to remove it.
        if (getState() != Invalid)
            usbWrite(std::move(entry->packet), entry->isReliable, entry->channel,
                     m_timings.reliableDeadlineMs);
        m_queue->finished();
    }
}

int USBDataLink::usbWrite(QByteArray packet, bool isReliable, int channelNumber, int timeout)
{
    std::unique_lock writeLock(m_writeMutex, std::try_to_lock);
    if (!writeLock.owns_lock()) {
        emit ConnectionError();
        return WriterBusy;
    }
    std::unique_lock lock(m_transferMutex);
    if (!waitOutIdleLocked(lock, timeout)) {
        if (m_stopping)
            return WriterBusy;
        const UsbWriteRules::OverdueAction action
            = UsbWriteRules::overdueAction(m_rules.isReliable());
        lock.unlock();
        libusb_cancel_transfer(m_outTransfer);
        if (action == UsbWriteRules::OverdueAction::FailLink) {
            writeLock.unlock();
            emit ConnectionError();
            return PreviousOverdue;
        }
        // The cancelled transfer and its buffer are reused only once libusb has handed them back.
        lock.lock();
        if (!waitOutIdleLocked(lock, m_timings.cancelWaitMs)) {
            const bool stopping = m_stopping;
            lock.unlock();
            writeLock.unlock();
            if (stopping)
                return WriterBusy;
            emit ConnectionError();
            return PreviousOverdue;
        }
    }
    if (m_stopping)
        return WriterBusy;
    if (!m_outTransfer || m_outEndpoint.load() == 0) {
        lock.unlock();
        writeLock.unlock();
        emit ConnectionError();
        return NoOutTransfer;
    }

    m_outFrame = std::move(packet);
    const UsbWriteRules::Action first
        = m_rules.begin(std::size_t(m_outFrame.size()), isReliable, channelNumber);
    if (first != UsbWriteRules::Action::Submit) {
        // An empty frame: nothing goes out, not even a zero-length packet.
        m_outFrame.clear();
        return WriteStarted;
    }
    const int result = submitChunkLocked();
    if (result < 0) {
        if (result == LIBUSB_ERROR_NO_DEVICE)
            m_deviceGone = true;
        m_rules.reset();
        markOutIdleLocked();
        lock.unlock();
        writeLock.unlock();
        qCWarning(lcUsbDataLink).noquote() << sendErrorText(result);
        emit ConnectionError();
        return SubmitFailed;
    }
    return WriteStarted;
}

void USBDataLink::transferComplete()
{
    {
        std::lock_guard lock(m_transferMutex);
        // Between the chunks of a frame the transfer is still busy; only a finished frame frees it.
        if (m_rules.inProgress())
            return;
        m_outInFlight = false;
    }
    m_transferIdle.notify_all();
}

void USBDataLink::onReadDone(libusb_transfer *transfer)
{
    if (transfer->actual_length > 0)
        emit usbIn(
            QByteArray(reinterpret_cast<const char *>(transfer->buffer), transfer->actual_length));

    std::unique_lock lock(m_transferMutex);
    if (m_stopping) {
        m_inInFlight = false;
        m_transferIdle.notify_all();
        return;
    }
    int error = 0;
    switch (transfer->status) {
    case LIBUSB_TRANSFER_COMPLETED:
    case LIBUSB_TRANSFER_ERROR:
    case LIBUSB_TRANSFER_TIMED_OUT:
    case LIBUSB_TRANSFER_OVERFLOW:
        error = libusb_submit_transfer(transfer);
        if (error == 0)
            return;
        break;
    case LIBUSB_TRANSFER_CANCELLED:
        m_inInFlight = false;
        m_transferIdle.notify_all();
        return;
    case LIBUSB_TRANSFER_NO_DEVICE:
        error = LIBUSB_ERROR_NO_DEVICE;
        break;
    case LIBUSB_TRANSFER_STALL:
        error = LIBUSB_ERROR_PIPE;
        break;
    }
    if (error == LIBUSB_ERROR_NO_DEVICE)
        m_deviceGone = true;
    const bool resubmitFailed = transfer->status != LIBUSB_TRANSFER_NO_DEVICE
        && transfer->status != LIBUSB_TRANSFER_STALL;
    m_inInFlight = false;
    m_transferIdle.notify_all();
    lock.unlock();
    if (resubmitFailed)
        qCWarning(lcUsbDataLink).noquote() << QStringLiteral("error submitting read transfer: ")
                + QLatin1String(libusb_error_name(error));
    emit ConnectionError();
}

void USBDataLink::onWriteDone(libusb_transfer *transfer)
{
    std::unique_lock lock(m_transferMutex);
    if (m_stopping) {
        m_rules.reset();
        markOutIdleLocked();
        return;
    }
    const UsbTransferResult result = writeResult(transfer->status);
    const UsbWriteRules::Action action
        = m_rules.onTransferEnded(result, std::size_t(qMax(0, transfer->actual_length)));
    int error = 0;
    if (action == UsbWriteRules::Action::Submit) {
        error = submitChunkLocked();
        if (error == 0)
            return;
        m_rules.onResubmitFailed();
    }
    if (result == UsbTransferResult::NoDevice || error == LIBUSB_ERROR_NO_DEVICE)
        m_deviceGone = true;
    // Every end of a frame frees the transfer, failures included: a writer waiting for it must
    // never wait out its whole time-out for a transfer that is already back.
    markOutIdleLocked();
    lock.unlock();

    if (error != 0) {
        qCWarning(lcUsbDataLink).noquote() << sendErrorText(error);
        emit ConnectionError();
        return;
    }
    switch (action) {
    case UsbWriteRules::Action::Done:
        emit TransferComplete();
        break;
    case UsbWriteRules::Action::Failed:
        emit ConnectionError();
        break;
    case UsbWriteRules::Action::Cancelled:
    case UsbWriteRules::Action::Submit:
        break;
    }
}

int USBDataLink::submitChunkLocked()
{
    const UsbWriteRules::Chunk chunk = m_rules.chunk();
    std::memcpy(m_gate->writeBuffer.data(), m_outFrame.constData() + chunk.offset, chunk.length);
    libusb_fill_bulk_transfer(m_outTransfer, m_deviceHandle, m_outEndpoint.load(),
                              m_gate->writeBuffer.data(), int(chunk.length),
                              &TransferGate::writeCallback, m_gate, m_timings.chunkTimeoutMs);
    const int result = libusb_submit_transfer(m_outTransfer);
    if (result == 0)
        m_outInFlight = true;
    return result;
}

bool USBDataLink::waitOutIdleLocked(std::unique_lock<std::mutex> &lock, int timeoutMs)
{
    m_transferIdle.wait_for(lock, std::chrono::milliseconds(qMax(0, timeoutMs)),
                            [this] { return !m_outInFlight || m_stopping; });
    return !m_outInFlight && !m_stopping;
}

void USBDataLink::markOutIdleLocked()
{
    m_outInFlight = false;
    m_outFrame.clear();
    m_transferIdle.notify_all();
}
