#pragma once

#include "Dimensions.h"
#include "IDataType.h"
#include "IModelNode.h"
#include "SampleStream.h"

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace monitoring {

// A model item whose values stream on channel 3: signals, block states, root ports and bus
// elements. Callers subscribe single elements under handles of their own; every start and stop
// goes to the device and takes effect when the device acknowledges it.
class StreamableNode : public IModelNode, public SampleReceiver
{
public:
    using ValueCallback = std::function<void(int handle, double value, uint64_t time)>;
    using AcknowledgeCallback = std::function<void(int handle, uint16_t offset, int rate)>;

    StreamableNode(NodeOwner *owner, IModelNode *parent, uint16_t nodeIndex, uint16_t modelRefIndex,
                   std::shared_ptr<IDataType> codec, Dimensions dimensions, uint16_t defaultOdr,
                   std::string displayName, std::string keyName);

    bool isStreamable() const override { return true; }
    virtual uint8_t variableType() const = 0;
    virtual uint16_t elementOffset() const { return 0; }

    uint16_t getNodeIndex() const { return nodeIndex; }
    uint16_t getModelRefIndex() const { return modelRefIndex; }
    const std::shared_ptr<IDataType> &getCodec() const { return codec; }
    const Dimensions &getDimensions() const { return dimensions; }
    uint16_t getDefaultOdr() const { return defaultOdr; }
    void setValueCallback(ValueCallback callback) { valueCallback = std::move(callback); }
    void setAcknowledgeCallback(AcknowledgeCallback callback) { ackCallback = std::move(callback); }

    // A negative rate asks for the default output data rate.
    void subscribe(int handle, uint16_t offset, int rate);
    void unsubscribe(int handle);
    void onStreamAcknowledged(uint16_t dataOffset);
    void onValue(uint16_t dataOffset, std::span<const std::byte> value, uint64_t time) override;

    bool isActive(int handle) const { return active.count(handle) != 0; }
    size_t pendingCount() const { return pending.size(); }

private:
    struct Pending
    {
        uint16_t dataOffset;
        int rate; // -1 stops
        int handle;
        bool sent; // this entry's own request is out; others ride on an earlier one
    };
    struct Active
    {
        uint16_t dataOffset;
        int rate;
    };

    void setActive(int handle, uint16_t dataOffset, int rate);
    void clearActive(int handle);
    void startStream(uint16_t dataOffset, int rate);
    void sendSignalSet(uint16_t dataOffset, int rate);
    bool isPending(uint16_t dataOffset) const;

    const uint16_t nodeIndex;
    const uint16_t modelRefIndex;
    const std::shared_ptr<IDataType> codec;
    const Dimensions dimensions;
    const uint16_t defaultOdr;
    ValueCallback valueCallback;
    AcknowledgeCallback ackCallback;
    std::vector<Pending> pending; // in the order of the requests
    std::unordered_map<int, Active> active;
    // The active handles by (data offset, handle): a sample reaches the handles of its element
    // without a look at the others.
    std::vector<std::pair<uint16_t, int>> activeByOffset;
};

// A signal (3, 1), block state (5, 4), root input (7, 5) or root output (8, 6).
class BasicStreamableNode : public StreamableNode
{
public:
    BasicStreamableNode(int nodeType, uint8_t variableType, NodeOwner *owner, IModelNode *parent,
                        uint16_t nodeIndex, uint16_t modelRefIndex,
                        std::shared_ptr<IDataType> codec, Dimensions dimensions,
                        uint16_t defaultOdr, std::string displayName, std::string keyName)
        : StreamableNode(owner, parent, nodeIndex, modelRefIndex, std::move(codec),
                         std::move(dimensions), defaultOdr, std::move(displayName),
                         std::move(keyName))
        , type(nodeType)
        , varType(variableType)
    { }
    int nodeType() const override { return type; }
    uint8_t variableType() const override { return varType; }

private:
    const int type;
    const uint8_t varType;
};

} // namespace monitoring
