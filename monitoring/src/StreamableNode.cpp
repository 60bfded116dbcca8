#include "StreamableNode.h"

#include "NodeOwner.h"

#include <QLoggingCategory>

#include <algorithm>
#include <climits>

Q_LOGGING_CATEGORY(lcStreamableNode, "Monitoring.StreamableNode")

namespace monitoring {

namespace {

constexpr int StructElementType = 12;

} // namespace

StreamableNode::StreamableNode(NodeOwner *owner, IModelNode *parent, uint16_t nodeIndex,
                               uint16_t modelRefIndex, std::shared_ptr<IDataType> codec,
                               Dimensions dimensions, uint16_t defaultOdr, std::string displayName,
                               std::string keyName)
    : IModelNode(owner, parent, std::move(displayName), std::move(keyName))
    , nodeIndex(nodeIndex)
    , modelRefIndex(modelRefIndex)
    , codec(std::move(codec))
    , dimensions(std::move(dimensions))
    , defaultOdr(defaultOdr)
{ }

bool StreamableNode::isPending(uint16_t dataOffset) const
{
    return std::any_of(pending.begin(), pending.end(),
                       [dataOffset](const Pending &p) { return p.dataOffset == dataOffset; });
}

void StreamableNode::subscribe(int handle, uint16_t offset, int rate)
{
    if (rate < 0)
        rate = defaultOdr;
    const auto e = uint16_t(elementOffset() + offset);
    if (isPending(e)) {
        // The request out for this element answers this one too, unless it is a stop: then the
        // start goes out again once the stop is acknowledged.
        pending.push_back({ e, rate, handle, false });
        return;
    }
    pending.push_back({ e, rate, handle, true });
    startStream(e, rate);
}

void StreamableNode::startStream(uint16_t e, int rate)
{
    NodeOwner *o = getOwner();
    if (!o)
        return;
    o->addStreamingActivation(nodeIndex, e, this);
    if (SampleStream *stream = o->sampleStream()) {
        const bool withOffset
            = e != 0 || dimensions.layout() != 0 || nodeType() == StructElementType;
        stream->addSubscription(nodeIndex, e, uint16_t(codec->byteSize()), withOffset, this);
    }
    sendSignalSet(e, rate);
}

void StreamableNode::unsubscribe(int handle)
{
    const auto it = active.find(handle);
    if (it != active.end()) {
        const uint16_t e = it->second.dataOffset;
        const bool ride = isPending(e);
        pending.push_back({ e, -1, handle, !ride });
        if (!ride)
            sendSignalSet(e, -1);
        return;
    }
    // A start not yet acknowledged: the stop follows its acknowledgement, or the device would
    // stream an element nobody reads.
    const bool starting = std::any_of(pending.begin(), pending.end(), [handle](const Pending &p) {
        return p.handle == handle && p.rate >= 0;
    });
    if (starting) {
        const auto last = std::find_if(pending.rbegin(), pending.rend(),
                                       [handle](const Pending &p) { return p.handle == handle; });
        if (last->rate >= 0)
            pending.push_back({ last->dataOffset, -1, handle, false });
    }
}

void StreamableNode::sendSignalSet(uint16_t dataOffset, int rate)
{
    protocol::signal_set_t record{};
    record.nodeIndex = nodeIndex;
    record.modelRefIndex = modelRefIndex;
    record.odr = rate;
    record.valueSize = uint16_t(codec->byteSize());
    record.dataOffset = dataOffset;
    record.variableType = variableType();
    if (NodeOwner *o = getOwner())
        o->sendSignalSet(record);
}

void StreamableNode::onStreamAcknowledged(uint16_t e)
{
    if (!isPending(e)) {
        qCWarning(lcStreamableNode) << "Received acknowledge for non pending streaming activation.";
        return;
    }
    bool first = true;
    bool stopping = false;
    for (;;) {
        const auto it = std::find_if(pending.begin(), pending.end(),
                                     [e](const Pending &p) { return p.dataOffset == e; });
        if (it == pending.end())
            return;
        const Pending p = *it;
        const bool stop = p.rate < 0;
        if (!first) {
            // A request of its own still waits for its own acknowledgement.
            if (p.sent)
                return;
            // The acknowledged request went the other way: this one needs a request of its own.
            if (stop != stopping) {
                it->sent = true;
                if (stop)
                    sendSignalSet(e, -1);
                else
                    startStream(e, p.rate);
                return;
            }
        }
        if (first) {
            stopping = stop;
            first = false;
        }
        pending.erase(it);
        if (!stop) {
            setActive(p.handle, e, p.rate);
        } else {
            if (NodeOwner *o = getOwner()) {
                if (SampleStream *stream = o->sampleStream())
                    stream->removeSubscription(nodeIndex, e);
                o->eraseStreamingActivation(nodeIndex, e);
            }
            clearActive(p.handle);
        }
        if (ackCallback)
            ackCallback(p.handle, uint16_t(e - elementOffset()), p.rate);
    }
}

void StreamableNode::setActive(int handle, uint16_t dataOffset, int rate)
{
    clearActive(handle);
    active[handle] = { dataOffset, rate };
    const std::pair<uint16_t, int> entry{ dataOffset, handle };
    activeByOffset.insert(std::lower_bound(activeByOffset.begin(), activeByOffset.end(), entry),
                          entry);
}

void StreamableNode::clearActive(int handle)
{
    const auto it = active.find(handle);
    if (it == active.end())
        return;
    const std::pair<uint16_t, int> entry{ it->second.dataOffset, handle };
    const auto at = std::lower_bound(activeByOffset.begin(), activeByOffset.end(), entry);
    if (at != activeByOffset.end() && *at == entry)
        activeByOffset.erase(at);
    active.erase(it);
}

void StreamableNode::onValue(uint16_t dataOffset, std::span<const std::byte> value, uint64_t time)
{
    if (value.size() < codec->byteSize() || !valueCallback)
        return;
    const double v = codec->toDouble(value);
    // By index: should the list change under a callback, the walk stays inside it.
    size_t i = size_t(std::lower_bound(activeByOffset.begin(), activeByOffset.end(),
                                       std::pair<uint16_t, int>{ dataOffset, INT_MIN })
                      - activeByOffset.begin());
    for (; i < activeByOffset.size() && activeByOffset[i].first == dataOffset; ++i)
        valueCallback(activeByOffset[i].second, v, time);
}

} // namespace monitoring
