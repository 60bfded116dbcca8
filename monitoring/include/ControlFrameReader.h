#pragma once

#include "MonitoringRecords.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Reading the frames of the monitoring control channel, without Qt: the channel service feeds
// its receive buffer through these, and so can a fuzzer.
namespace monitoring {

constexpr size_t ControlHeaderSize = 5;
// Commands the device may send: 1 to 20. Anything from here on is not ours.
constexpr int16_t FirstUnsupportedCommand = 21;

struct ControlFrameHeader
{
    int16_t command = 0;
    uint16_t length = 0;
    int8_t status = 0;
};

enum class FrameCheck {
    TooShort, // fewer bytes than a header
    Unsupported, // a command number beyond the protocol
    BadLength, // a length field shorter than the header itself
    NeedMore, // the frame is not complete yet
    Complete // `length` bytes from the start are one frame
};

// Looks at the frame at the start of `data` and fills `header` whenever a header was there.
FrameCheck checkControlFrame(const uint8_t *data, size_t size, ControlFrameHeader *header);

// The receive side of channel 2: collects packets and hands out whole frames. Bytes behind a
// frame stay for the next one, since the device may put two frames in one packet.
class ControlReceiveBuffer
{
public:
    enum class Step {
        Wait, // nothing more until the next packet
        Frame, // `frame` holds one whole frame
        Incomplete, // a packet opened with less than a header: dropped
        Unsupported, // a command beyond the protocol: buffer dropped
        BadLength // a length field shorter than the header: buffer dropped
    };

    void append(const uint8_t *data, size_t size);
    void clear();
    bool isEmpty() const { return buffer.empty(); }
    // The next thing the buffer holds; `header` is filled whenever a header was read.
    Step next(std::vector<uint8_t> *frame, ControlFrameHeader *header);

private:
    std::vector<uint8_t> buffer;
    bool frameTakenSinceAppend = false;
};

// Cuts a payload into records of T; false (and `out` untouched) when it is not a whole number
// of records.
template<typename T> bool decodeRecords(const uint8_t *payload, size_t size, std::vector<T> *out)
{
    if (size % sizeof(T) != 0)
        return false;
    out->resize(size / sizeof(T));
    if (size)
        std::memcpy(out->data(), payload, size);
    return true;
}

// A strings reply: the table number, then strings each ended by NUL. Bytes after the last NUL
// are not a string.
std::vector<std::string> decodeStrings(const uint8_t *payload, size_t size,
                                       protocol::string_type_t *table);

// Whether `status` means success for `command`.
bool isAcceptedStatus(int16_t command, int8_t status);

// The frames of one request, cut into pieces that each fit one device packet.
std::vector<std::vector<uint8_t>> buildControlFrame(int16_t command, const uint8_t *payload,
                                                    size_t size);

constexpr size_t MaxControlPiece = 1018;

} // namespace monitoring
