#include "ExternalMonitor_signalViewBuffer.h"

#include "ActiveScalar.h"

#include <QAbstractAxis>
#include <QAbstractSeries>
#include <QXYSeries>

#include <algorithm>
#include <cmath>

ExternalMonitor_signalViewBuffer::ExternalMonitor_signalViewBuffer(ActiveScalar *buffer,
                                                                   uint16_t odr, QObject *parent)
    : QObject(parent)
    , buffer(buffer)
    , scalarSet(buffer != nullptr)
    , odr(odr)
{
    // QML hands series and axes to the invokables by pointer.
    qRegisterMetaType<QAbstractSeries *>();
    qRegisterMetaType<QAbstractAxis *>();
    generateData(0, 5, 1024);
}

ExternalMonitor_signalViewBuffer::~ExternalMonitor_signalViewBuffer() = default;

void ExternalMonitor_signalViewBuffer::setType(const QString &value)
{
    if (type == value)
        return;
    type = value;
    emit typeChanged();
}

void ExternalMonitor_signalViewBuffer::setRawBufferSize(int size)
{
    if (rawBufferSize == size)
        return;
    rawBufferSize = size;
    emit rawBufferSizeUpdated();
}

void ExternalMonitor_signalViewBuffer::generateData(int kind, int rowCount, int colCount)
{
    generated.clear();
    for (int j = 0; j < rowCount; ++j) {
        QList<QPointF> list;
        list.reserve(std::max(colCount, 0));
        for (int i = 0; i < colCount; ++i) {
            switch (kind) {
            case 0:
                list.append(QPointF(i, std::sin(i * 0.0682) + 0.5));
                break;
            case 1:
                list.append(QPointF(i, j / 10.0));
                break;
            default:
                list.append(QPointF(0, 0));
                break;
            }
        }
        generated.append(list);
    }
}

void ExternalMonitor_signalViewBuffer::setScalar(ActiveScalar *scalar)
{
    buffer = scalar;
    scalarSet = true;
}

void ExternalMonitor_signalViewBuffer::setGuiPointers(QAbstractSeries *s, uint Xrange,
                                                      bool autoRanging, QAbstractAxis *Yaxis,
                                                      QAbstractAxis *Xaxis)
{
    series = s;
    xRange = Xrange;
    autoRange = autoRanging;
    yAxis = Yaxis;
    xAxis = Xaxis;
    guiPointersSet = true;
}

void ExternalMonitor_signalViewBuffer::update(QAbstractSeries *s, int Xrange, bool autoRanging,
                                              QAbstractAxis *Yaxis, QAbstractAxis *Xaxis)
{
    range(s, uint(std::max(Xrange, 0)), autoRanging, Yaxis, Xaxis);
}

void ExternalMonitor_signalViewBuffer::updateFromBackend()
{
    if (!visible || !scalarSet || !buffer || !guiPointersSet)
        return;
    range(series, xRange, autoRange, yAxis, xAxis);
    if (xAxis)
        xAxis->setMinorGridLineVisible(true);
}

void ExternalMonitor_signalViewBuffer::range(QAbstractSeries *s, uint xRangeSeconds,
                                             bool autoRanging, QAbstractAxis *Yaxis,
                                             QAbstractAxis *Xaxis)
{
    if (!scalarSet || !buffer)
        return;
    const monitoring::ScalarBuffer &samples = buffer->samples();
    rawBufferSize = int(samples.rawCount());
    emit rawBufferSizeUpdated();

    if (!paused) {
        pointList.clear();
        pointList.reserve(qsizetype(samples.rawCount()));
        for (size_t i = 0; i < samples.rawCount(); ++i) {
            const monitoring::RawSample &r = samples.rawAt(i);
            pointList.append(QPointF(double(r.time) / 1e9, r.value));
        }
        if (auto *xy = qobject_cast<QXYSeries *>(s)) {
            xy->replace(pointList);
            xy->setPointsVisible(true);
        }
    }

    if (Yaxis) {
        if (autoRanging) {
            const double lo = buffer->windowCount() > 0 ? buffer->windowMin(0) : 0;
            const double hi = buffer->windowCount() > 0 ? buffer->windowMax(0) : 0;
            const double distance = hi - lo;
            // A flat signal would give the axis no height at all.
            const double margin = distance < 1e-8 ? 1 : 0.2 * distance;
            Yaxis->setRange(lo - margin, hi + margin);
        } else {
            Yaxis->setRange(yMin, yMax);
        }
    }

    const qsizetype shown = std::min<qsizetype>(qsizetype(xRangeSeconds) * odr, pointList.size());
    if (Xaxis && shown > 0)
        Xaxis->setRange(pointList.first().x(), pointList.at(shown - 1).x());
}
