#pragma once

#include "SimulinkVariable.h"

#include <QHash>
#include <QList>
#include <QPointer>

#include <optional>
#include <vector>

class ActiveScalar;

namespace monitoring {
class StreamableNode;
}

namespace SimulinkDataTypes {

// Anything whose values stream: signals, states, root ports and bus elements. Each plotted
// element is one handle feeding one plot buffer.
class SimulinkSignal : public SimulinkVariable
{
    Q_OBJECT
    Q_PROPERTY(SimulinkDataTypes::SimulinkSignal *self READ self CONSTANT)
    Q_PROPERTY(quint16 ODR READ getODR CONSTANT)
    Q_PROPERTY(bool autoRange READ getAutoRange WRITE setAutoRange)
    Q_PROPERTY(bool paused READ getPaused WRITE setPaused)
    Q_PROPERTY(int valueClass READ getValueClass WRITE setValueClass NOTIFY valueClassChanged)
    Q_PROPERTY(int rows READ getRows CONSTANT)
    Q_PROPERTY(int columns READ getColumns CONSTANT)

public:
    explicit SimulinkSignal(QObject *parent = nullptr, monitoring::StreamableNode *node = nullptr);
    ~SimulinkSignal() override;

    SimulinkSignal *self() { return this; }
    quint16 getODR() const { return odr; }
    bool getAutoRange() const { return autoRange; }
    void setAutoRange(bool on) { autoRange = on; }
    bool getPaused() const { return paused; }
    void setPaused(bool on) { paused = on; }
    int getValueClass() const { return valueClass; }
    void setValueClass(int c);
    int getRows() const { return rows; }
    int getColumns() const { return columns; }

    // The byte offset of one element inside the node's value. With one dimension the element
    // is the column (rows is 1); nothing when an index lies outside its dimension.
    std::optional<uint16_t> elementOffset(const QList<int> &indexes) const;
    int addScalar(uint16_t elementOffset, int rate, ActiveScalar *buffer);
    void removeScalar(int handle);
    int handleCount() const { return liveHandles; }

    uint16_t nodeIndex() const override;
    uint16_t modelRefIndex() const override;
    uint32_t valueSize() const override;
    void detach() override;

    // The floating-point class codes of valueClass.
    static int classify(double value);

signals:
    void valueClassChanged();

private:
    struct Element
    {
        uint16_t offset;
        QPointer<ActiveScalar> buffer;
        bool live;
    };

    monitoring::StreamableNode *streamable() const;
    void valueArrived(int handle, double value, uint64_t time);

    quint16 odr = 0;
    bool autoRange = false;
    bool paused = false;
    int valueClass = 0;
    int rows = 0;
    int columns = 0;
    // Indexed by handle (handles are never reused): every sample looks its handle up.
    std::vector<Element> elements;
    int liveHandles = 0;
};

} // namespace SimulinkDataTypes
