#pragma once

#include "AbstractService.h"

#include <cstdint>

// A developer's channel service that floods its channel with numbered test packets: a u32
// counter (little-endian) followed by 512 ramp bytes whose start rises by one with every packet
// of any instance. Not part of the release build's wiring.
class DataLinkTest : public AbstractService
{
    Q_OBJECT

public:
    DataLinkTest(QObject *parent, uint16_t channelId, bool isReliable, DatalinkManager *manager);

    static constexpr int rampSize = 512;

public slots:
    void dataReady(QByteArray packet) override;
    void start() override;
    void pause() override;
    void initialize() override;
    void sendTest();

private:
    quint32 m_counter = 0;
};
