#pragma once

#include "USBDataLink.h"

#include <QLoggingCategory>

#include <libusb.h>

#include <mutex>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcUsbDataLink)

// What the transfers' callbacks reach through their user data. It holds the transfer buffers and
// a pointer back to the link, so that a callback that comes after the link has gone (a transfer
// that did not come back in time) finds the pointer cleared and its buffer still there. The link
// deletes the gate when no transfer of it is in flight any more, and leaves it otherwise.
struct USBDataLink::TransferGate
{
    // Held by a callback for its whole run and by the link while it clears `link`.
    std::mutex mutex;
    USBDataLink *link = nullptr;
    std::vector<unsigned char> readBuffer;
    std::vector<unsigned char> writeBuffer;

    static void LIBUSB_CALL readCallback(libusb_transfer *transfer);
    static void LIBUSB_CALL writeCallback(libusb_transfer *transfer);
};
