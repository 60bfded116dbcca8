#pragma once

#include "ScalarBuffer.h"

#include <QList>
#include <QObject>

#include <cstdint>

// One streamed sample: time in nanoseconds, then the value.
struct RawBufferData
{
    uint64_t time = 0;
    double value = 0;
};
Q_DECLARE_METATYPE(RawBufferData)

// The sample buffer of one plotted signal element: min/max-bucketed chart points per x range,
// and the recent raw samples for value look-ups.
// Threading: GUI thread only.
class ActiveScalar : public QObject
{
    Q_OBJECT
    Q_PROPERTY(quint16 ODR READ getODR CONSTANT)
    Q_PROPERTY(bool enabled READ isEnabled WRITE setEnabled NOTIFY enabledChanged)

public:
    ActiveScalar(QObject *parent, int elementOffset, uint16_t odr, int buckets,
                 const QList<double> &xRanges);
    ~ActiveScalar() override;

    quint16 getODR() const { return odr; }
    bool isEnabled() const { return enabled; }
    void setEnabled(bool on);
    int getElementOffset() const { return elementOffset; }

    const monitoring::PlotWindow &window(int index) const { return buffer.window(size_t(index)); }
    int windowCount() const { return int(buffer.windowCount()); }
    double windowMin(int index) const { return buffer.windowMin(size_t(index)); }
    double windowMax(int index) const { return buffer.windowMax(size_t(index)); }
    double lastSampleTime() const { return buffer.lastTime(); }
    const monitoring::ScalarBuffer &samples() const { return buffer; }

signals:
    void enabledChanged();
    void minMaxChanged();

public slots:
    void addData(RawBufferData data);
    void updatePointBuffers(RawBufferData incoming_point);
    void swapMinMax(uint window_size_index);
    void swapMinMax();
    void updateTimerInterval(int) { }

private:
    monitoring::ScalarBuffer buffer;
    const int elementOffset;
    const uint16_t odr;
    bool enabled = false;
};
