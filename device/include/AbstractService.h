#pragma once

#include "AbstractDataLink.h"

#include <QByteArray>
#include <QObject>

#include <cstdint>

class DatalinkManager;

// Base of every service that talks to a controller over one channel of its link: it sends each
// outgoing message through the device's link manager (the write signal is connected to
// DatalinkManager::write) and hands the service only the received frames of its own channel.
//
// A service holds no pointer to the manager; with a null manager nothing is connected, and the
// owner wires write/packetReady itself.
// Threading: GUI thread only, like the manager.
class AbstractService : public QObject
{
    Q_OBJECT

public:
    AbstractService(QObject *parent, uint16_t channelId, bool isReliable, DatalinkManager *manager);
    ~AbstractService() override;

    uint16_t getChannelId() const { return channelId; }
    bool getIsReliable() const { return isReliable; }

signals:
    // One message for the device on `channel` (at most one frame payload, 1018 bytes).
    void write(DatalinkChannelId channel, bool isReliable, QByteArray packet);
    void finished();

public slots:
    // One received frame payload of this service's channel.
    virtual void dataReady(QByteArray packet) = 0;
    virtual void start() = 0;
    virtual void pause() = 0;
    virtual void initialize() = 0;

protected slots:
    // Every received frame of the device: calls dataReady for those of this channel only.
    void packetReady(uint16_t channel, QByteArray packet);

protected:
    const uint16_t channelId;
    const bool isReliable;
};
