#pragma once

#include "Dimensions.h"
#include "IModelNode.h"

namespace monitoring {

// A bus carried by a signal (9), a root input (10) or a root output (11); nested buses repeat
// their parent's type.
class StructNode : public IModelNode
{
public:
    StructNode(int nodeType, NodeOwner *owner, IModelNode *parent, uint16_t nodeIndex,
               uint16_t modelRefIndex, uint16_t byteOffset, Dimensions dimensions,
               uint16_t defaultOdr, std::string displayName, std::string keyName)
        : IModelNode(owner, parent, std::move(displayName), std::move(keyName))
        , nodeIndex(nodeIndex)
        , modelRefIndex(modelRefIndex)
        , byteOffset(byteOffset)
        , defaultOdr(defaultOdr)
        , dimensions(std::move(dimensions))
        , type(nodeType)
    { }
    int nodeType() const override { return type; }
    bool isStruct() const override { return true; }

    const uint16_t nodeIndex;
    const uint16_t modelRefIndex;
    const uint16_t byteOffset; // inside the enclosing bus
    const uint16_t defaultOdr;
    const Dimensions dimensions;

private:
    const int type;
};

} // namespace monitoring
