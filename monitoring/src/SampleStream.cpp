#include "SampleStream.h"

#include <cstring>

namespace monitoring {

namespace {

uint32_t keyOf(uint16_t nodeIndex, uint16_t dataOffset)
{
    return uint32_t(dataOffset) << 16 | nodeIndex;
}

} // namespace

void SampleStream::addSubscription(uint16_t nodeIndex, uint16_t dataOffset, uint16_t valueSize,
                                   bool withOffsetField, SampleReceiver *node)
{
    const uint32_t key = keyOf(nodeIndex, dataOffset);
    if (subscriptions.count(key))
        return;
    subscriptions.emplace(key, Subscription{ valueSize, node });
    if (recordKinds.size() <= nodeIndex)
        recordKinds.resize(size_t(nodeIndex) + 1, 0);
    recordKinds[nodeIndex] = withOffsetField ? 2 : 1;
}

void SampleStream::removeSubscription(uint16_t nodeIndex, uint16_t dataOffset)
{
    subscriptions.erase(keyOf(nodeIndex, dataOffset));
    for (const auto &entry : subscriptions) {
        if ((entry.first & 0xFFFF) == nodeIndex)
            return;
    }
    if (nodeIndex < recordKinds.size())
        recordKinds[nodeIndex] = 0;
}

void SampleStream::clearSubscriptions()
{
    recordKinds.clear();
    subscriptions.clear();
}

size_t SampleStream::parseSamplePacket(const uint8_t *data, size_t length)
{
    auto u16 = [data](size_t at) { return uint16_t(data[at] | (data[at + 1] << 8)); };
    if (length < HeaderSize)
        return 0;
    const auto command = int16_t(u16(0));
    if (command != 1)
        return 0;
    int64_t baseTime;
    std::memcpy(&baseTime, data + 4, sizeof baseTime);
    size_t at = HeaderSize;
    size_t samples = 0;
    if (length - at < 2)
        return 0;
    uint16_t nodeIndex = u16(at);
    at += 2;
    while (length - at >= 4) {
        int32_t timeOffset;
        std::memcpy(&timeOffset, data + at, sizeof timeOffset);
        at += 4;
        // A record has no length of its own: without a subscription nothing tells how many
        // value bytes follow, so whatever comes after them cannot be read as records.
        const uint8_t kind = recordKind(nodeIndex);
        if (kind == 0)
            return samples;
        uint16_t dataOffset = 0;
        if (kind == 2) {
            if (length - at < 2)
                return samples;
            dataOffset = u16(at);
            at += 2;
        }
        const auto it = subscriptions.find(keyOf(nodeIndex, dataOffset));
        if (it == subscriptions.end())
            return samples;
        const size_t n = it->second.valueSize;
        if (n > MaxValueSize || length - at < n)
            return samples;
        alignas(8) std::byte value[MaxValueSize] = {};
        std::memcpy(value, data + at, n);
        at += n;
        it->second.node->onValue(dataOffset, std::span<const std::byte>(value, n),
                                 uint64_t(baseTime) + uint64_t(int64_t(timeOffset)));
        ++samples;
        if (length - at < 2)
            return samples;
        nodeIndex = u16(at);
        at += 2;
    }
    return samples;
}

} // namespace monitoring
