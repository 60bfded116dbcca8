#include "SimulinkSignal.h"

#include "ActiveScalar.h"
#include "StreamableNode.h"

#include <QLoggingCategory>

#include <cmath>

Q_LOGGING_CATEGORY(lcSimulinkSignal, "Monitoring.SimulinkSignal")

namespace SimulinkDataTypes {

SimulinkSignal::SimulinkSignal(QObject *parent, monitoring::StreamableNode *node)
    : SimulinkVariable(parent, node)
{
    if (!node)
        return;
    odr = node->getDefaultOdr();
    const auto &sizes = node->getDimensions().sizes();
    rows = sizes.size() == 1 ? 1 : (sizes.empty() ? 0 : sizes[0]);
    columns = sizes.size() == 1 ? sizes[0] : (sizes.size() > 1 ? sizes[1] : 0);
    node->setValueCallback(
        [this](int handle, double value, uint64_t time) { valueArrived(handle, value, time); });
    node->setAcknowledgeCallback([](int, uint16_t, int) {});
}

SimulinkSignal::~SimulinkSignal()
{
    detach();
}

monitoring::StreamableNode *SimulinkSignal::streamable() const
{
    return static_cast<monitoring::StreamableNode *>(wrapped);
}

void SimulinkSignal::setValueClass(int c)
{
    if (c == valueClass)
        return;
    valueClass = c;
    emit valueClassChanged();
}

int SimulinkSignal::classify(double value)
{
    switch (std::fpclassify(value)) {
    case FP_SUBNORMAL:
        return -2;
    case FP_NORMAL:
        return -1;
    case FP_ZERO:
        return 0;
    case FP_INFINITE:
        return 1;
    default:
        return 2;
    }
}

std::optional<uint16_t> SimulinkSignal::elementOffset(const QList<int> &indexes) const
{
    const auto *node = streamable();
    if (!node)
        return std::nullopt;
    const monitoring::Dimensions &d = node->getDimensions();
    std::vector<uint32_t> perDimension;
    for (int i : indexes) {
        if (i < 0) {
            qCWarning(lcSimulinkSignal) << "Negative element index" << i << "for" << getName();
            return std::nullopt;
        }
        perDimension.push_back(uint32_t(i));
    }
    // One dimension shows as one row: its element is the column index.
    if (d.sizes().size() == 1 && perDimension.size() >= 2) {
        if (perDimension[0] != 0) {
            qCWarning(lcSimulinkSignal)
                << "Element row" << perDimension[0] << "outside signal" << getName();
            return std::nullopt;
        }
        perDimension.erase(perDimension.begin());
    }
    uint32_t element = 0;
    if (!d.elementIndex(perDimension, &element)) {
        qCWarning(lcSimulinkSignal)
            << "Element" << indexes << "outside the dimensions of" << getName();
        return std::nullopt;
    }
    return uint16_t(element * node->getCodec()->byteSize());
}

int SimulinkSignal::addScalar(uint16_t elementOffset, int rate, ActiveScalar *buffer)
{
    const int handle = int(elements.size());
    elements.push_back({ elementOffset, buffer, true });
    ++liveHandles;
    if (auto *node = streamable())
        node->subscribe(handle, elementOffset, rate);
    return handle;
}

void SimulinkSignal::removeScalar(int handle)
{
    if (handle < 0 || size_t(handle) >= elements.size() || !elements[size_t(handle)].live)
        return;
    Element &removed = elements[size_t(handle)];
    removed.live = false;
    removed.buffer = nullptr;
    --liveHandles;
    for (const Element &e : elements) {
        if (e.live && e.offset == removed.offset)
            return;
    }
    if (auto *node = streamable())
        node->unsubscribe(handle);
}

void SimulinkSignal::valueArrived(int handle, double value, uint64_t time)
{
    if (handle < 0 || size_t(handle) >= elements.size())
        return;
    const Element &e = elements[size_t(handle)];
    if (!e.live)
        return;
    if (e.buffer)
        e.buffer->addData({ time, value });
    setValueClass(classify(value));
}

uint16_t SimulinkSignal::nodeIndex() const
{
    return streamable() ? streamable()->getNodeIndex() : 0;
}

uint16_t SimulinkSignal::modelRefIndex() const
{
    return streamable() ? streamable()->getModelRefIndex() : 0;
}

uint32_t SimulinkSignal::valueSize() const
{
    return streamable() ? streamable()->getCodec()->byteSize() : 0;
}

void SimulinkSignal::detach()
{
    if (auto *node = streamable()) {
        node->setValueCallback({});
        node->setAcknowledgeCallback({});
    }
    SimulinkVariable::detach();
}

} // namespace SimulinkDataTypes
