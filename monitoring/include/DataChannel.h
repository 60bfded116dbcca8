#pragma once

#include "AbstractService.h"
#include "SampleStream.h"

#include <QByteArray>

class DatalinkManager;

namespace monitoring {

// Channel 3: the samples of subscribed elements. Each sample reaches its node synchronously,
// inside dataReady.
// Threading: GUI thread only.
class DataChannel : public AbstractService
{
    Q_OBJECT

public:
    DataChannel(QObject *parent, DatalinkManager *manager);
    ~DataChannel() override;

    void addSubscription(uint16_t nodeIndex, uint16_t dataOffset, uint16_t valueSize,
                         bool withOffsetField, SampleReceiver *node);
    void removeSubscription(uint16_t nodeIndex, uint16_t dataOffset);
    void clearSubscriptions();
    SampleStream *stream() { return &samples; }

public slots:
    void dataReady(QByteArray packet) override;
    void start() override { }
    void pause() override { }
    void initialize() override { }
    void errorString(QString) { }

private:
    SampleStream samples;
};

} // namespace monitoring
