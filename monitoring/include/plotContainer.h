#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <array>

class ActiveScalar;
class ExternalMonitor_signalViewBuffer;
class QValueAxis;
class QXYSeries;

namespace SimulinkDataTypes {
class SimulinkSignal;
}

// The back end of one live plot: four signal slots, the y range with automatic ranging, the
// x range and its paging, and the per-frame hand-over of chart points to the line series.
// Threading: GUI thread only.
class plotContainer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ getName CONSTANT)
    Q_PROPERTY(QList<double> xRanges READ getXRanges NOTIFY xRangesChanged)
    Q_PROPERTY(uint xRangeIndex READ getXRangeIndex WRITE setXRangeIndex NOTIFY xRangeIndexChanged)
    Q_PROPERTY(double yMin READ getYMin WRITE setYMin NOTIFY yMinChanged)
    Q_PROPERTY(double yMax READ getYMax WRITE setYMax NOTIFY yMaxChanged)
    Q_PROPERTY(bool autoRange READ getAutoRange WRITE setAutoRange NOTIFY autoRangeChanged)
    Q_PROPERTY(bool dynamicTick READ getDynamicTick WRITE setDynamicTick NOTIFY dynamicTickChanged)
    Q_PROPERTY(bool pause READ getPause WRITE setPause NOTIFY pauseChanged)
    Q_PROPERTY(
        bool dynamicXrange READ getDynamicXrange WRITE setDynamicXrange NOTIFY dynamicXrangeChanged)
    Q_PROPERTY(
        uint requestedODR READ getRequestedODR WRITE setRequestedODR NOTIFY requestedODRChanged)
    Q_PROPERTY(int numberOfBuckets READ getNumberOfBuckets WRITE setNumberOfBuckets NOTIFY
                   numberOfBucketsChanged)

public:
    static constexpr int SlotCount = 4;

    explicit plotContainer(QObject *parent = nullptr);
    ~plotContainer() override;

    QString getName() const { return QStringLiteral("multiplot"); }
    Q_INVOKABLE QList<double> getXRanges() const { return xRanges; }
    uint getXRangeIndex() const { return xRangeIndex; }
    void setXRangeIndex(uint index);
    double getYMin() const { return yMin; }
    void setYMin(double value);
    double getYMax() const { return yMax; }
    void setYMax(double value);
    bool getAutoRange() const { return autoRange; }
    void setAutoRange(bool on);
    bool getDynamicTick() const { return dynamicTick; }
    void setDynamicTick(bool on);
    bool getPause() const { return pause; }
    void setPause(bool on);
    bool getDynamicXrange() const { return dynamicXrange; }
    void setDynamicXrange(bool on);
    uint getRequestedODR() const { return requestedODR; }
    void setRequestedODR(uint odr);
    int getNumberOfBuckets() const { return numberOfBuckets; }
    void setNumberOfBuckets(int buckets);

    Q_INVOKABLE void qSGUpdate();
    Q_INVOKABLE void setAntiAliasing() { }
    Q_INVOKABLE void destroy() { released = true; }
    Q_INVOKABLE void addSignal(SimulinkDataTypes::SimulinkSignal *signal, QPoint elementIndex,
                               int slotNumber);
    Q_INVOKABLE void removeSignal(SimulinkDataTypes::SimulinkSignal *signal, int slotNumber);
    Q_INVOKABLE void setGuiPointers(QObject *window, QValueAxis *Yaxis, QValueAxis *Xaxis);
    Q_INVOKABLE QString formatDouble(double value) const;
    Q_INVOKABLE void setSeries(QXYSeries *series1, QXYSeries *series2, QXYSeries *series3,
                               QXYSeries *series4);
    Q_INVOKABLE void setVisible(bool visible) { isVisible = visible; }
    Q_INVOKABLE void updateGraph() { qSGUpdate(); }
    Q_INVOKABLE void minMaxUpdate() { setMinMaxAuto(); }
    Q_INVOKABLE double getLatestValue(uint index) const;
    Q_INVOKABLE double getValueAtTime(uint index, double time) const;

    // For the owner and tests.
    SimulinkDataTypes::SimulinkSignal *slotSignal(int slot) const;
    ActiveScalar *slotBuffer(int slot) const;
    ExternalMonitor_signalViewBuffer *slotView(int slot) const;
    double computedMin() const { return axisMin; }
    double computedMax() const { return axisMax; }

signals:
    void xRangeIndexChanged();
    void yMinChanged();
    void yMaxChanged();
    void autoRangeChanged();
    void dynamicTickChanged();
    void pauseChanged();
    void dynamicXrangeChanged();
    void requestedODRChanged();
    void numberOfBucketsChanged();
    void signalsChanged();
    void seriesChanged();
    void xRangesChanged();

public slots:
    void setMinMax();
    void setMinMaxSingleSample();
    void setMinMaxAuto();
    void checkForTimer() { }
    void setXrange();
    void threadedUpdate() { }

private:
    struct Slot
    {
        // The signal's wrapper goes with its model; the slot must notice.
        QPointer<SimulinkDataTypes::SimulinkSignal> signal;
        uint16_t elementOffset = 0;
        QPointer<QXYSeries> series;
        ActiveScalar *buffer = nullptr;
        ExternalMonitor_signalViewBuffer *view = nullptr;
        int handle = -1;
        // What the series shows: laying out a series costs the chart a full pass over its
        // points, so a frame that brings nothing new leaves it alone.
        bool shown = false; // the series holds the buffer's points as of shownRevision
        const QXYSeries *shownSeries = nullptr;
        uint shownWindow = 0;
        uint64_t shownRevision = 0;
    };

    void clearSlot(Slot &slot);

    std::array<Slot, SlotCount> plotSlots;
    QPointer<QValueAxis> yAxis;
    QPointer<QValueAxis> xAxis;
    QPointer<QObject> window;
    double axisMin = 0;
    double axisMax = 0;
    const uint16_t flatRangeMargin = 1;
    bool isVisible = false;
    bool released = false;

    QList<double> xRanges{ 1, 10, 100, 1000 };
    uint xRangeIndex = 1;
    double yMin = -200;
    double yMax = 200;
    bool autoRange = true;
    bool dynamicTick = true;
    bool pause = false;
    bool dynamicXrange = true;
    uint requestedODR = 100;
    uint16_t numberOfBuckets = 4000;
};
