#include "AbstractService.h"

#include "DatalinkManager.h"

AbstractService::AbstractService(QObject *parent, uint16_t channelId, bool isReliable,
                                 DatalinkManager *manager)
    : QObject(parent)
    , channelId(channelId)
    , isReliable(isReliable)
{
    if (!manager)
        return;
    connect(this, &AbstractService::write, manager, &DatalinkManager::write);
    connect(manager, &DatalinkManager::DataReady, this, &AbstractService::packetReady);
}

AbstractService::~AbstractService() = default;

void AbstractService::packetReady(uint16_t channel, QByteArray packet)
{
    if (channel == channelId)
        dataReady(packet);
}
