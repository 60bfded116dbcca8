#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

// The sample packets of channel 3 and the table of subscribed elements that sizes their records,
// without Qt.
namespace monitoring {

// Whoever takes the samples of one node index.
class SampleReceiver
{
public:
    virtual ~SampleReceiver() = default;
    virtual void onValue(uint16_t dataOffset, std::span<const std::byte> value, uint64_t time) = 0;
};

class SampleStream
{
public:
    static constexpr size_t HeaderSize = 12; // command, length, base time
    static constexpr size_t MaxValueSize = 16;

    enum class Packet {
        Parsed, // a sample packet (or a packet of another command 1 or lower) was read
        Unsupported, // command 2 or more: the rest dropped
        Malformed // a length that cannot hold the header, or more than the bytes received
    };

    void addSubscription(uint16_t nodeIndex, uint16_t dataOffset, uint16_t valueSize,
                         bool withOffsetField, SampleReceiver *node);
    void removeSubscription(uint16_t nodeIndex, uint16_t dataOffset);
    void clearSubscriptions();

    // One datagram of channel 3, which may hold several packets back to back. Calls `report`
    // once per packet with what it found; returns the number of samples delivered.
    template<typename Report> size_t receive(const uint8_t *data, size_t size, Report report);

    // One whole packet of `length` bytes.
    size_t parseSamplePacket(const uint8_t *data, size_t length);

    size_t subscriptionCount() const { return subscriptions.size(); }
    uint8_t recordKind(uint16_t nodeIndex) const
    {
        return nodeIndex < recordKinds.size() ? recordKinds[nodeIndex] : 0;
    }

private:
    struct Subscription
    {
        uint16_t valueSize;
        SampleReceiver *node;
    };

    std::vector<uint8_t> recordKinds;
    std::unordered_map<uint32_t, Subscription> subscriptions;
};

template<typename Report>
size_t SampleStream::receive(const uint8_t *data, size_t size, Report report)
{
    size_t samples = 0;
    size_t at = 0;
    // Each datagram stands alone: a packet cut short is lost with its datagram, never completed
    // by the bytes of another one that may arrive out of order.
    while (size - at >= 4) {
        const auto command = int16_t(uint16_t(data[at] | (data[at + 1] << 8)));
        const auto length = uint16_t(data[at + 2] | (data[at + 3] << 8));
        if (command >= 2) {
            report(Packet::Unsupported, command, length);
            return samples;
        }
        if (length < HeaderSize || length > size - at) {
            report(Packet::Malformed, command, length);
            return samples;
        }
        samples += parseSamplePacket(data + at, length);
        report(Packet::Parsed, command, length);
        at += length;
    }
    if (at < size)
        report(Packet::Malformed, 0, uint16_t(size - at));
    return samples;
}

} // namespace monitoring
