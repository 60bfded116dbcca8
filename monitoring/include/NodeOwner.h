#pragma once

#include "MonitoringRecords.h"

namespace monitoring {

class SampleStream;
class StreamableNode;

// What model nodes need of the object that built them: the way to the device's control channel.
// The monitoring interface is the owner; tests put a recorder in its place.
class NodeOwner
{
public:
    virtual ~NodeOwner() = default;
    virtual void sendParameter(const protocol::param_set_t &parameter) = 0;
    virtual void requestRawData(protocol::rawdata_type_t kind) = 0;
    virtual void sendSignalSet(const protocol::signal_set_t &signal) = 0;
    // Which node a streaming acknowledgement for (node index, data offset) belongs to.
    virtual void addStreamingActivation(uint16_t nodeIndex, uint16_t dataOffset,
                                        StreamableNode *node)
        = 0;
    virtual void eraseStreamingActivation(uint16_t nodeIndex, uint16_t dataOffset) = 0;
    // The subscription table of the sample stream (channel 3).
    virtual SampleStream *sampleStream() = 0;
};

} // namespace monitoring
