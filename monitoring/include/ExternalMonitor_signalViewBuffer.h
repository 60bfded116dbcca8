#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>

#include <cstdint>

class ActiveScalar;
class QAbstractAxis;
class QAbstractSeries;

// Shows every raw sample of one plotted element in a chart series and ranges the chart's axes to
// them. The plot pages draw the bucketed points of the `ActiveScalar` instead; this view stays
// beside each buffer for whoever wants the unbucketed samples.
// Threading: GUI thread only.
class ExternalMonitor_signalViewBuffer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString type READ getType WRITE setType NOTIFY typeChanged)
    Q_PROPERTY(bool paused MEMBER paused)
    Q_PROPERTY(uint xRange MEMBER xRange)
    Q_PROPERTY(double yMin MEMBER yMin)
    Q_PROPERTY(double yMax MEMBER yMax)
    Q_PROPERTY(bool autoRange MEMBER autoRange)
    Q_PROPERTY(
        int rawBufferSize READ getRawBufferSize WRITE setRawBufferSize NOTIFY rawBufferSizeUpdated)

public:
    // `buffer` may be null; set it later with setScalar().
    ExternalMonitor_signalViewBuffer(ActiveScalar *buffer, uint16_t odr, QObject *parent);
    ~ExternalMonitor_signalViewBuffer() override;

    QString getType() const { return type; }
    void setType(const QString &value);
    int getRawBufferSize() const { return rawBufferSize; }
    void setRawBufferSize(int size);

    Q_INVOKABLE void generateData(int type, int rowCount, int colCount);
    Q_INVOKABLE void update(QAbstractSeries *series, int Xrange, bool autoRange,
                            QAbstractAxis *Yaxis, QAbstractAxis *Xaxis);
    Q_INVOKABLE void setScalar(ActiveScalar *scalar);
    Q_INVOKABLE void updateFromBackend();
    Q_INVOKABLE void setGuiPointers(QAbstractSeries *series, uint Xrange, bool autoRange,
                                    QAbstractAxis *Yaxis, QAbstractAxis *Xaxis);
    Q_INVOKABLE void viewDestroyed() { guiPointersSet = false; }
    Q_INVOKABLE void setVisibility(bool on) { visible = on; }
    Q_INVOKABLE void setColor(QColor value) { colour = value; }

    // For the owner.
    ActiveScalar *scalar() const { return buffer; }
    bool hasScalar() const { return scalarSet; }
    const QList<QList<QPointF>> &generatedData() const { return generated; }
    const QList<QPointF> &points() const { return pointList; }
    bool isVisible() const { return visible; }
    QColor color() const { return colour; }

signals:
    void signalListChanged();
    void typeChanged();
    void rawBufferSizeUpdated();

private:
    void range(QAbstractSeries *series, uint xRangeSeconds, bool autoRanging, QAbstractAxis *yAxis,
               QAbstractAxis *xAxis);

    ActiveScalar *buffer = nullptr;
    bool scalarSet = false;
    const uint16_t odr;
    QList<QList<QPointF>> generated;
    QList<QPointF> pointList;
    // The chart may go before this object does; the view says so through viewDestroyed().
    QPointer<QAbstractSeries> series;
    QPointer<QAbstractAxis> yAxis;
    QPointer<QAbstractAxis> xAxis;
    bool guiPointersSet = false;
    bool visible = true;
    QColor colour;

    QString type;
    bool paused = false;
    uint xRange = 10;
    double yMin = 0;
    double yMax = 100;
    bool autoRange = true;
    int rawBufferSize = 0;
};
