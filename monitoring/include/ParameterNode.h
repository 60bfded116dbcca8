#pragma once

#include "IDataType.h"
#include "IModelNode.h"
#include "ValueBuffer.h"

#include <functional>
#include <memory>
#include <vector>

namespace monitoring {

// A tunable parameter: the values last read from the device, the values as written since, and
// the elements written and not yet confirmed.
class ParameterNode : public IModelNode
{
public:
    ParameterNode(NodeOwner *owner, IModelNode *parent, uint16_t nodeIndex, uint16_t modelRefIndex,
                  std::shared_ptr<IDataType> codec, ValueBuffer values, std::string displayName,
                  std::string keyName);

    bool isParameter() const override { return true; }
    // 2 for a block parameter, 3 for a model parameter: the raw-data kind carrying its values.
    virtual uint8_t rawDataType() const = 0;

    uint16_t getNodeIndex() const { return nodeIndex; }
    uint16_t getModelRefIndex() const { return modelRefIndex; }
    const std::shared_ptr<IDataType> &getCodec() const { return codec; }
    const ValueBuffer &currentValues() const { return current; }
    const ValueBuffer &writtenValues() const { return written; }
    const std::vector<uint32_t> &pendingWrites() const { return pending; }
    void setValueChangedCallback(std::function<void()> callback)
    {
        valueChanged = std::move(callback);
    }

    // Writes one element to the device at once. A complex parameter keeps the imaginary part it
    // has; setComplexValue writes both parts. False (nothing sent) for an element the value
    // does not have.
    bool setValue(uint32_t element, double value);
    bool setComplexValue(uint32_t element, double real, double imag);
    // The current value of an element; 0 for an element the value does not have.
    double valueAt(uint32_t element) const;
    // The device confirmed a write of `element`: it becomes current, and fresh values are asked
    // for.
    void valueWritten(uint32_t element);
    // Fresh values from the device drop every pending write.
    void refreshValues(ValueBuffer fresh);

private:
    bool send(uint32_t element, const std::function<void(RawValue)> &encode);

    const uint16_t nodeIndex;
    const uint16_t modelRefIndex;
    const std::shared_ptr<IDataType> codec;
    ValueBuffer current;
    ValueBuffer written;
    std::vector<uint32_t> pending;
    std::function<void()> valueChanged;
};

template<int T, uint8_t K> class BasicParamNode : public ParameterNode
{
public:
    using ParameterNode::ParameterNode;
    int nodeType() const override { return T; }
    uint8_t rawDataType() const override { return K; }
};

using BlockParamNode = BasicParamNode<4, 2>;
using ModelParamNode = BasicParamNode<6, 3>;

} // namespace monitoring
