#pragma once

#include "StreamableNode.h"
#include "StructNode.h"

namespace monitoring {

// A leaf of a bus: streamed as a signal, at its offset inside the whole bus.
class StructElementNode : public StreamableNode
{
public:
    StructElementNode(NodeOwner *owner, IModelNode *parent, uint16_t nodeIndex,
                      uint16_t modelRefIndex, std::shared_ptr<IDataType> codec,
                      Dimensions dimensions, uint16_t defaultOdr, std::string displayName,
                      std::string keyName, uint16_t byteOffset)
        : StreamableNode(owner, parent, nodeIndex, modelRefIndex, std::move(codec),
                         std::move(dimensions), defaultOdr, std::move(displayName),
                         std::move(keyName))
        , byteOffset(byteOffset)
    { }
    int nodeType() const override { return 12; }
    uint8_t variableType() const override { return 1; }
    uint16_t elementOffset() const override
    {
        uint16_t offset = byteOffset;
        for (const IModelNode *p = getParent(); p && p->isStruct(); p = p->getParent())
            offset = uint16_t(offset + static_cast<const StructNode *>(p)->byteOffset);
        return offset;
    }

    const uint16_t byteOffset;
};

} // namespace monitoring
