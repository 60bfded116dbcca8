#include "ParameterNode.h"

#include "IComplexDataType.h"
#include "NodeOwner.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cstring>

Q_LOGGING_CATEGORY(lcParameterNode, "Monitoring.ParameterNode")

namespace monitoring {

namespace {

constexpr uint8_t ModelParameterKind = 3;
constexpr uint8_t ModelParameterFlag = 2;

} // namespace

ParameterNode::ParameterNode(NodeOwner *owner, IModelNode *parent, uint16_t nodeIndex,
                             uint16_t modelRefIndex, std::shared_ptr<IDataType> codec,
                             ValueBuffer values, std::string displayName, std::string keyName)
    : IModelNode(owner, parent, std::move(displayName), std::move(keyName))
    , nodeIndex(nodeIndex)
    , modelRefIndex(modelRefIndex)
    , codec(std::move(codec))
    , current(values)
    , written(std::move(values))
{ }

bool ParameterNode::setValue(uint32_t element, double value)
{
    if (codec->isComplex()) {
        const auto *c = static_cast<const IComplexDataType *>(codec.get());
        const auto e = current.element(element);
        const double imag = e.size() >= codec->byteSize() ? c->imagToDouble(e) : 0.0;
        return setComplexValue(element, value, imag);
    }
    return send(element, [&](RawValue raw) { codec->fromDouble(value, raw); });
}

bool ParameterNode::setComplexValue(uint32_t element, double real, double imag)
{
    if (!codec->isComplex())
        return setValue(element, real);
    const auto *c = static_cast<const IComplexDataType *>(codec.get());
    return send(element, [&](RawValue raw) { c->fromComplexDouble(real, imag, raw); });
}

bool ParameterNode::send(uint32_t element, const std::function<void(RawValue)> &encode)
{
    auto target = written.element(element);
    if (target.size() < codec->byteSize()
        || codec->byteSize() > sizeof(protocol::param_set_t::value)) {
        qCWarning(lcParameterNode)
            << "Parameter" << getKeyName().c_str() << "has no element" << element << "to write";
        return false;
    }
    protocol::param_set_t record{};
    record.nodeIndex = nodeIndex;
    record.modelRefIndex = modelRefIndex;
    record.dataTypeIndex = codec->getDataTypeIndex();
    record.elementIndex = uint16_t(element);
    record.dimensionLayout = current.dimensions().layout();
    record.paramKind = rawDataType() == ModelParameterKind ? ModelParameterFlag : 0;
    auto field = std::as_writable_bytes(std::span(record.value));
    encode(field);
    pending.push_back(element);
    std::memcpy(target.data(), field.data(), codec->byteSize());
    if (auto *o = getOwner())
        o->sendParameter(record);
    if (valueChanged)
        valueChanged();
    return true;
}

double ParameterNode::valueAt(uint32_t element) const
{
    const auto e = current.element(element);
    if (e.size() < codec->byteSize())
        return 0.0;
    return codec->toDouble(e);
}

void ParameterNode::valueWritten(uint32_t element)
{
    const auto it = std::find(pending.begin(), pending.end(), element);
    if (it != pending.end()) {
        const auto from = written.element(element);
        auto to = current.element(element);
        if (from.size() == to.size())
            std::copy(from.begin(), from.end(), to.begin());
        pending.erase(it);
    }
    if (valueChanged)
        valueChanged();
    if (auto *o = getOwner())
        o->requestRawData(rawDataType());
}

void ParameterNode::refreshValues(ValueBuffer fresh)
{
    const bool changed = !(current == fresh);
    current = fresh;
    written = std::move(fresh);
    pending.clear();
    if (changed && valueChanged)
        valueChanged();
}

} // namespace monitoring
