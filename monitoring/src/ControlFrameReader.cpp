#include "ControlFrameReader.h"

#include <algorithm>

namespace monitoring {

namespace {

uint16_t readU16(const uint8_t *p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

} // namespace

FrameCheck checkControlFrame(const uint8_t *data, size_t size, ControlFrameHeader *header)
{
    if (size < ControlHeaderSize)
        return FrameCheck::TooShort;
    header->command = int16_t(readU16(data));
    header->length = readU16(data + 2);
    header->status = int8_t(data[4]);
    if (header->command >= FirstUnsupportedCommand)
        return FrameCheck::Unsupported;
    // A length that does not even cover the header would make the reader consume less than
    // the header it has just read.
    if (header->length < ControlHeaderSize)
        return FrameCheck::BadLength;
    if (size < header->length)
        return FrameCheck::NeedMore;
    return FrameCheck::Complete;
}

void ControlReceiveBuffer::append(const uint8_t *data, size_t size)
{
    buffer.insert(buffer.end(), data, data + size);
    frameTakenSinceAppend = false;
}

void ControlReceiveBuffer::clear()
{
    buffer.clear();
}

ControlReceiveBuffer::Step ControlReceiveBuffer::next(std::vector<uint8_t> *frame,
                                                      ControlFrameHeader *header)
{
    if (buffer.empty())
        return Step::Wait;
    switch (checkControlFrame(buffer.data(), buffer.size(), header)) {
    case FrameCheck::TooShort:
        // The tail of a packet behind a frame is the start of the next frame; a packet that
        // opens with less than a header is not.
        if (frameTakenSinceAppend)
            return Step::Wait;
        buffer.clear();
        return Step::Incomplete;
    case FrameCheck::Unsupported:
        buffer.clear();
        return Step::Unsupported;
    case FrameCheck::BadLength:
        buffer.clear();
        return Step::BadLength;
    case FrameCheck::NeedMore:
        return Step::Wait;
    case FrameCheck::Complete:
        break;
    }
    frame->assign(buffer.begin(), buffer.begin() + header->length);
    buffer.erase(buffer.begin(), buffer.begin() + header->length);
    frameTakenSinceAppend = true;
    return Step::Frame;
}

std::vector<std::string> decodeStrings(const uint8_t *payload, size_t size,
                                       protocol::string_type_t *table)
{
    std::vector<std::string> strings;
    *table = size ? payload[0] : 0;
    size_t begin = 1;
    for (size_t i = 1; i < size; ++i) {
        if (payload[i] != 0)
            continue;
        strings.emplace_back(reinterpret_cast<const char *>(payload + begin), i - begin);
        begin = i + 1;
    }
    return strings;
}

bool isAcceptedStatus(int16_t command, int8_t status)
{
    if (status == protocol::NoError)
        return true;
    return status == protocol::Handled
        && (command == protocol::SetParameter || command == protocol::SetSignal
            || command == protocol::StreamingHandled);
}

std::vector<std::vector<uint8_t>> buildControlFrame(int16_t command, const uint8_t *payload,
                                                    size_t size)
{
    std::vector<uint8_t> frame(ControlHeaderSize + size);
    const auto length = uint16_t(frame.size());
    frame[0] = uint8_t(command & 0xFF);
    frame[1] = uint8_t((uint16_t(command) >> 8) & 0xFF);
    frame[2] = uint8_t(length & 0xFF);
    frame[3] = uint8_t(length >> 8);
    frame[4] = 0;
    if (size)
        std::memcpy(frame.data() + ControlHeaderSize, payload, size);
    std::vector<std::vector<uint8_t>> pieces;
    for (size_t offset = 0; offset < frame.size(); offset += MaxControlPiece) {
        const size_t n = std::min(MaxControlPiece, frame.size() - offset);
        pieces.emplace_back(frame.begin() + offset, frame.begin() + offset + n);
    }
    return pieces;
}

} // namespace monitoring
