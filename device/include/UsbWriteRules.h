#pragma once

#include <cstddef>
#include <cstdint>

// How a bulk OUT transfer ended, in the writer's own words (one value per libusb transfer status).
enum class UsbTransferResult {
    Completed,
    Error,
    TimedOut,
    Cancelled,
    Stall,
    NoDevice,
    Overflow,
};

// The rules by which the USB writer puts one device frame on the bulk OUT endpoint: the frame is
// cut into chunks of the endpoint's maximum packet size and each chunk is one transfer; what
// happens after each transfer depends on how it ended and on whether the frame asked for the
// reliable path. The class only keeps offsets and sizes; the bytes, the transfer object and the
// threads belong to the link.
//
// - Completed: the next chunk follows; after the last one the frame is done. A frame whose size is
//   a multiple of the packet size ends with a full chunk: no zero-length packet follows it.
// - Error or time-out: a reliable frame resubmits the bytes that did not go (the transfer's actual
//   length tells how many did), so a chunk the device took just as its time-out ran out is not sent
//   twice; an unreliable frame is dropped at once and the writer moves on.
// - Cancelled: the frame is abandoned; not an error (the writer or the link's shutdown asked).
// - Stall, no device, overflow, or a resubmission that fails: the frame is abandoned and the link
//   has failed.
// Every outcome but Submit ends the frame: the transfer is idle again and the writer may reuse it.
//
// Threading: none of its own; the link guards it with its transfer mutex.
class UsbWriteRules
{
public:
    enum class Action {
        Submit, // put chunk() on the transfer and submit it
        Done, // the frame went out (or an unreliable frame was dropped); the transfer is idle
        Cancelled, // the frame was abandoned on request; the transfer is idle
        Failed, // the frame was abandoned and the link has failed; the transfer is idle
    };

    // What the writer does when the previous frame has not gone out within its deadline.
    enum class OverdueAction {
        FailLink, // a reliable frame: cancel it, fail the write (-4) and the link
        CancelAndReuse, // an unreliable frame: cancel it, wait for it to come back, write the next
    };

    struct Chunk
    {
        std::size_t offset = 0;
        std::size_t length = 0;
        friend bool operator==(const Chunk &, const Chunk &) = default;
    };

    // Bit 0..10 of wMaxPacketSize are the packet size; bits 11 and 12 count extra transactions of
    // high-bandwidth isochronous and interrupt endpoints and mean nothing for bulk.
    static constexpr std::uint16_t PacketSizeMask = 0x07FF;
    static constexpr std::uint16_t packetSize(std::uint16_t wMaxPacketSize)
    {
        return wMaxPacketSize & PacketSizeMask;
    }
    // The IN buffer holds at least 512 bytes and always one whole packet of the endpoint.
    static constexpr std::size_t readBufferSize(std::uint16_t wMaxPacketSize)
    {
        return packetSize(wMaxPacketSize) > 512 ? packetSize(wMaxPacketSize) : 512;
    }
    static constexpr OverdueAction overdueAction(bool lastFrameReliable)
    {
        return lastFrameReliable ? OverdueAction::FailLink : OverdueAction::CancelAndReuse;
    }

    // A packet size of 0 can carry nothing; the link refuses such an endpoint before it writes.
    explicit UsbWriteRules(std::uint16_t maxPacketSize = 64);

    void setMaxPacketSize(std::uint16_t maxPacketSize);
    std::uint16_t maxPacketSize() const { return m_maxPacketSize; }

    // Starts a frame of `length` bytes. Submit with the first chunk, or Done for an empty frame
    // (nothing to send, and never a zero-length packet). A packet size of 0 gives Failed.
    Action begin(std::size_t length, bool reliable, int channel);
    // The transfer of chunk() ended with `result` after `actualLength` bytes went out.
    Action onTransferEnded(UsbTransferResult result, std::size_t actualLength);
    // Submitting the next chunk failed: the frame is abandoned and the link has failed.
    Action onResubmitFailed();
    // Forgets the frame in progress (the link is stopping).
    void reset();

    bool inProgress() const { return m_inProgress; }
    Chunk chunk() const { return m_chunk; }
    std::size_t bytesSent() const { return m_sent; }
    std::size_t frameLength() const { return m_length; }
    // The reliability and channel of the frame in progress; false and 0 when none.
    bool isReliable() const { return m_reliable; }
    int channel() const { return m_channel; }

private:
    Action nextChunkOrDone();
    Action finish(Action action);

    std::uint16_t m_maxPacketSize;
    bool m_inProgress = false;
    bool m_reliable = false;
    int m_channel = 0;
    std::size_t m_length = 0;
    std::size_t m_sent = 0;
    Chunk m_chunk;
};
