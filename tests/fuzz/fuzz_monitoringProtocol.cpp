// libFuzzer target over the Qt-free readers of the monitoring channels: the channel-2 receive
// buffer with every reply decoder, and the channel-3 sample stream with a few subscriptions.
// The first input byte chooses how the rest is cut into packets.
#include "ControlFrameReader.h"
#include "MonitoringRecords.h"
#include "SampleStream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace monitoring;

namespace {

struct CountingReceiver : SampleReceiver
{
    uint64_t sum = 0;
    void onValue(uint16_t dataOffset, std::span<const std::byte> value, uint64_t time) override
    {
        // Touch every byte handed over so the sanitizers see any read past it.
        for (std::byte b : value)
            sum += uint8_t(b);
        sum += dataOffset + time;
    }
};

void decode(const ControlFrameHeader &h, const uint8_t *p, size_t n)
{
    protocol::string_type_t table = 0;
    switch (h.command) {
    case protocol::GetSignals:
    case protocol::GetInputs:
    case protocol::GetOutputs: {
        std::vector<protocol::signal_t> v;
        decodeRecords(p, n, &v);
        break;
    }
    case protocol::GetBlockParams:
    case protocol::GetModelParams: {
        std::vector<protocol::param_t> v;
        decodeRecords(p, n, &v);
        break;
    }
    case protocol::GetBlockStates: {
        std::vector<protocol::state_t> v;
        decodeRecords(p, n, &v);
        break;
    }
    case protocol::GetActiveSignals: {
        std::vector<protocol::signal_set_t> v;
        decodeRecords(p, n, &v);
        break;
    }
    case protocol::GetDataTypes: {
        std::vector<protocol::datatype_t> v;
        decodeRecords(p, n, &v);
        break;
    }
    case protocol::GetStructElements: {
        std::vector<protocol::struct_element_t> v;
        decodeRecords(p, n, &v);
        break;
    }
    case protocol::GetFixedPointInfo: {
        std::vector<protocol::fxp_info_t> v;
        decodeRecords(p, n, &v);
        break;
    }
    case protocol::GetStrings:
        decodeStrings(p, n, &table);
        break;
    default: {
        std::vector<protocol::reference_set_t> v;
        if (isAcceptedStatus(h.command, h.status))
            decodeRecords(p, n, &v);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t cut = size_t(data[0] % 64) + 1;
    ++data;
    --size;

    ControlReceiveBuffer control;
    std::vector<uint8_t> frame;
    for (size_t at = 0; at < size; at += cut) {
        const size_t n = std::min(cut, size - at);
        // Each packet on its own heap block, so a read past it is seen.
        std::vector<uint8_t> packet(data + at, data + at + n);
        control.append(packet.data(), packet.size());
        for (int guard = 0; guard < 10000; ++guard) {
            ControlFrameHeader header;
            const auto step = control.next(&frame, &header);
            if (step != ControlReceiveBuffer::Step::Frame)
                break;
            if (frame.size() < ControlHeaderSize || frame.size() != header.length)
                __builtin_trap();
            std::vector<uint8_t> payload(frame.begin() + ControlHeaderSize, frame.end());
            decode(header, payload.data(), payload.size());
        }
    }

    CountingReceiver receiver;
    SampleStream stream;
    stream.addSubscription(0, 0, 8, false, &receiver);
    stream.addSubscription(1, 16, 4, true, &receiver);
    stream.addSubscription(2, 0, 16, true, &receiver);
    stream.addSubscription(3, 4, 1, true, &receiver);
    for (size_t at = 0; at < size; at += cut * 16) {
        const size_t n = std::min(cut * 16, size - at);
        std::vector<uint8_t> datagram(data + at, data + at + n);
        stream.receive(datagram.data(), datagram.size(), [](auto, auto, auto) {});
    }
    return 0;
}
