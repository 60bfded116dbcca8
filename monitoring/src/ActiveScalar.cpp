#include "ActiveScalar.h"

#include <vector>

ActiveScalar::ActiveScalar(QObject *parent, int elementOffset, uint16_t odr, int buckets,
                           const QList<double> &xRanges)
    : QObject(parent)
    , buffer(buckets, std::vector<double>(xRanges.begin(), xRanges.end()))
    , elementOffset(elementOffset)
    , odr(odr)
{ }

ActiveScalar::~ActiveScalar() = default;

void ActiveScalar::setEnabled(bool on)
{
    if (enabled == on)
        return;
    enabled = on;
    emit enabledChanged();
}

void ActiveScalar::addData(RawBufferData data)
{
    int changed = 0;
    if (buffer.add({ data.time, data.value }, &changed) && changed > 0)
        emit minMaxChanged();
}

void ActiveScalar::updatePointBuffers(RawBufferData incoming_point)
{
    if (buffer.updatePointBuffers({ incoming_point.time, incoming_point.value }) > 0)
        emit minMaxChanged();
}

void ActiveScalar::swapMinMax(uint window_size_index)
{
    buffer.swapMinMax(window_size_index);
    emit minMaxChanged();
}

void ActiveScalar::swapMinMax()
{
    swapMinMax(0);
}
