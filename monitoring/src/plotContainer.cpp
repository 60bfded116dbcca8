#include "plotContainer.h"

#include "ActiveScalar.h"
#include "ExternalMonitor_signalViewBuffer.h"
#include "SimulinkSignal.h"

#include <QLoggingCategory>
#include <QValueAxis>
#include <QXYSeries>

#include <algorithm>
#include <cmath>
#include <limits>

Q_LOGGING_CATEGORY(lcPlotContainer, "Monitoring.plotContainer")

namespace {

QList<QPointF> toPoints(const monitoring::PlotWindow &w)
{
    QList<QPointF> points;
    points.reserve(qsizetype(w.points.size()));
    for (const monitoring::PlotPoint &p : w.points)
        points.append(QPointF(p.x, p.y));
    return points;
}

} // namespace

plotContainer::plotContainer(QObject *parent)
    : QObject(parent)
{ }

plotContainer::~plotContainer()
{
    for (Slot &s : plotSlots) {
        if (s.signal && s.buffer)
            s.signal->removeScalar(s.handle);
    }
}

void plotContainer::setXRangeIndex(uint index)
{
    if (index == xRangeIndex)
        return;
    xRangeIndex = index;
    emit xRangeIndexChanged();
}

void plotContainer::setYMin(double value)
{
    if (yAxis && value < yMax) {
        yMin = value;
        yAxis->setMin(value);
    }
    emit yMinChanged();
}

void plotContainer::setYMax(double value)
{
    if (yAxis && value > yMin) {
        yMax = value;
        yAxis->setMax(value);
    }
    emit yMaxChanged();
}

#define NIMBREL_SETTER(Setter, member, signal)                                                     \
    void plotContainer::Setter(decltype(member) value)                                             \
    {                                                                                              \
        if (member == value)                                                                       \
            return;                                                                                \
        member = value;                                                                            \
        emit signal();                                                                             \
    }
NIMBREL_SETTER(setAutoRange, autoRange, autoRangeChanged)
NIMBREL_SETTER(setDynamicTick, dynamicTick, dynamicTickChanged)
NIMBREL_SETTER(setPause, pause, pauseChanged)
NIMBREL_SETTER(setDynamicXrange, dynamicXrange, dynamicXrangeChanged)
NIMBREL_SETTER(setRequestedODR, requestedODR, requestedODRChanged)
#undef NIMBREL_SETTER

void plotContainer::setNumberOfBuckets(int buckets)
{
    const auto cut = uint16_t(buckets);
    if (cut == numberOfBuckets)
        return;
    numberOfBuckets = cut;
    emit numberOfBucketsChanged();
}

SimulinkDataTypes::SimulinkSignal *plotContainer::slotSignal(int slot) const
{
    return slot >= 0 && slot < SlotCount ? plotSlots[size_t(slot)].signal.data() : nullptr;
}

ActiveScalar *plotContainer::slotBuffer(int slot) const
{
    return slot >= 0 && slot < SlotCount ? plotSlots[size_t(slot)].buffer : nullptr;
}

ExternalMonitor_signalViewBuffer *plotContainer::slotView(int slot) const
{
    return slot >= 0 && slot < SlotCount ? plotSlots[size_t(slot)].view : nullptr;
}

void plotContainer::clearSlot(Slot &slot)
{
    if (slot.signal && slot.buffer)
        slot.signal->removeScalar(slot.handle);
    delete slot.view;
    slot.view = nullptr;
    delete slot.buffer;
    slot.buffer = nullptr;
    slot.shown = false;
    slot.signal = nullptr;
    slot.handle = -1;
    slot.elementOffset = 0;
}

void plotContainer::addSignal(SimulinkDataTypes::SimulinkSignal *signal, QPoint elementIndex,
                              int slotNumber)
{
    if (!signal || signal->getODR() == 0 || slotNumber < 0 || slotNumber >= SlotCount)
        return;
    Slot &slot = plotSlots[size_t(slotNumber)];
    if (slot.buffer) {
        if (!slot.series) {
            // The old signal stays, with its buffer and handle, until it can be taken out.
            qCWarning(lcPlotContainer)
                << "Tried to disable a signal while the series is not loaded";
            return;
        }
        clearSlot(slot);
    }
    const auto offset = signal->elementOffset({ elementIndex.x(), elementIndex.y() });
    if (!offset)
        return; // warned by the signal: an element outside its dimensions plots nothing
    slot.elementOffset = *offset;
    slot.buffer = new ActiveScalar(this, *offset, signal->getODR(), numberOfBuckets, xRanges);
    slot.view = new ExternalMonitor_signalViewBuffer(slot.buffer, signal->getODR(), this);
    slot.handle = signal->addScalar(*offset, signal->getODR(), slot.buffer);
    slot.signal = signal;
}

void plotContainer::removeSignal(SimulinkDataTypes::SimulinkSignal *, int slotNumber)
{
    if (slotNumber < 0 || slotNumber >= SlotCount)
        return;
    Slot &slot = plotSlots[size_t(slotNumber)];
    if (!slot.series) {
        qCWarning(lcPlotContainer) << "Tried to disable a signal while the series is not loaded";
        return;
    }
    clearSlot(slot);
    slot.series->clear();
}

void plotContainer::setGuiPointers(QObject *w, QValueAxis *Yaxis, QValueAxis *Xaxis)
{
    window = w;
    yAxis = Yaxis;
    xAxis = Xaxis;
    if (yAxis) {
        yAxis->setMin(yMin);
        yAxis->setMax(yMax);
    }
    // Called again whenever QML hands new axes: the connections must not pile up.
    connect(this, &plotContainer::autoRangeChanged, this, &plotContainer::setMinMax,
            Qt::UniqueConnection);
    connect(this, &plotContainer::autoRangeChanged, this, &plotContainer::checkForTimer,
            Qt::UniqueConnection);
    connect(this, &plotContainer::xRangeIndexChanged, this, &plotContainer::setXrange,
            Qt::UniqueConnection);
}

QString plotContainer::formatDouble(double value) const
{
    return QString::asprintf("%g", value);
}

void plotContainer::setSeries(QXYSeries *s1, QXYSeries *s2, QXYSeries *s3, QXYSeries *s4)
{
    plotSlots[0].series = s1;
    plotSlots[1].series = s2;
    plotSlots[2].series = s3;
    plotSlots[3].series = s4;
    for (Slot &s : plotSlots)
        s.shown = false; // whatever a series holds now, the next frame fills it
    released = false;
}

void plotContainer::setMinMax()
{
    if (!yAxis || !xAxis)
        return;
    if (autoRange)
        setMinMaxAuto();
    else
        yAxis->setRange(yMin, yMax);
}

void plotContainer::setMinMaxAuto()
{
    if (!yAxis || !xAxis || !autoRange || pause)
        return;
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (const Slot &s : plotSlots) {
        if (!s.signal || !s.buffer || int(xRangeIndex) >= s.buffer->windowCount())
            continue;
        lo = std::fmin(lo, s.buffer->windowMin(int(xRangeIndex)));
        hi = std::fmax(hi, s.buffer->windowMax(int(xRangeIndex)));
    }
    if (std::isinf(lo))
        lo = 0;
    if (std::isinf(hi))
        hi = 0;
    const double span = std::fabs(hi - lo);
    const double margin = span == 0 ? double(flatRangeMargin) : 0.2 * span;
    axisMin = lo - margin;
    axisMax = hi + margin;
    const double q = (axisMax - axisMin) / 4;
    for (int i = 0; i <= 4; ++i) {
        const double t = axisMin + i * q;
        if (std::fabs(t) < q / 2) {
            axisMin += t;
            axisMax += t;
            break;
        }
    }
}

void plotContainer::setMinMaxSingleSample()
{
    if (!yAxis)
        return;
    for (const Slot &s : plotSlots) {
        if (!s.signal || !s.buffer || int(xRangeIndex) >= s.buffer->windowCount())
            continue;
        const auto &points = s.buffer->window(int(xRangeIndex)).points;
        if (points.empty())
            continue;
        const double a = points.back().y;
        if (std::isinf(a))
            continue;
        if (a > axisMax) {
            axisMax = a;
            yAxis->setMax(a + 0.2 * std::fabs(a - axisMin));
        } else if (a < axisMin) {
            axisMin = a;
            yAxis->setMin(a - 0.2 * std::fabs(axisMax - a));
        }
    }
    if (std::fabs(axisMax - axisMin) == 0)
        yAxis->setRange(axisMin - flatRangeMargin, axisMax + flatRangeMargin);
}

void plotContainer::qSGUpdate()
{
    if (pause && isVisible)
        return;
    if (autoRange && yAxis) {
        setMinMaxAuto();
        const bool minMoved = axisMin != yMin;
        const bool maxMoved = axisMax != yMax;
        // Both ends at once, where they would be after setting the minimum and then the
        // maximum: each change of the axis lays out every series again.
        if (minMoved || maxMoved) {
            double lo = yAxis->min();
            double hi = yAxis->max();
            if (minMoved) {
                lo = axisMin;
                hi = std::max(hi, lo);
            }
            if (maxMoved) {
                hi = axisMax;
                lo = std::min(lo, hi);
            }
            yAxis->setRange(lo, hi);
        }
        if (minMoved) {
            yMin = axisMin;
            emit yMinChanged();
        }
        if (maxMoved) {
            yMax = axisMax;
            emit yMaxChanged();
        }
    }
    for (Slot &s : plotSlots) {
        if (!s.signal || !s.buffer || !s.series || int(xRangeIndex) >= s.buffer->windowCount())
            continue;
        const uint64_t revision = s.buffer->samples().revision();
        if (s.shown && s.shownSeries == s.series.data() && s.shownWindow == xRangeIndex
            && s.shownRevision == revision)
            continue;
        s.series->replace(toPoints(s.buffer->window(int(xRangeIndex))));
        s.shown = true;
        s.shownSeries = s.series.data();
        s.shownWindow = xRangeIndex;
        s.shownRevision = revision;
    }
    setXrange();
}

void plotContainer::setXrange()
{
    if (!xAxis || !isVisible || int(xRangeIndex) >= xRanges.size())
        return;
    double latest = 0;
    for (const Slot &s : plotSlots) {
        if (s.buffer)
            latest = std::max(latest, s.buffer->lastSampleTime());
    }
    const double w = xRanges[int(xRangeIndex)];
    if (dynamicXrange) {
        const auto k = uint32_t(latest / w);
        xAxis->setRange(k * w, k * w + w);
    } else {
        xAxis->setRange(latest - w, latest);
    }
}

double plotContainer::getLatestValue(uint index) const
{
    if (index >= uint(SlotCount))
        return 0;
    const Slot &s = plotSlots[index];
    if (!s.signal || !s.buffer || s.buffer->samples().rawCount() == 0)
        return 0;
    // The newest sample itself: looked up by time through doubles, it is missed now and then.
    const auto &b = s.buffer->samples();
    return b.rawAt(b.rawCount() - 1).value;
}

double plotContainer::getValueAtTime(uint index, double time) const
{
    if (index >= uint(SlotCount))
        return 0;
    const Slot &s = plotSlots[index];
    if (!s.signal || !s.buffer)
        return 0;
    const auto &b = s.buffer->samples();
    size_t lo = 0;
    size_t hi = b.rawCount();
    const double ns = time * 1e9;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (double(b.rawAt(mid).time) < ns)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < b.rawCount() ? b.rawAt(lo).value : 0.0;
}
