#pragma once

#include "AbstractDataLink.h"
#include "DatalinkManager.h"

#include <QByteArray>
#include <QList>
#include <QtEndian>

#include <memory>

// A USB-typed link without a transport: records every frame the link manager sends and lets a
// test inject received frames as a real link reports them.
class RecordingLink : public AbstractDataLink
{
    Q_OBJECT

public:
    struct Frame
    {
        uint16_t channel;
        bool isReliable;
        QByteArray frame;
    };

    explicit RecordingLink(QObject *parent = nullptr)
        : AbstractDataLink(USB, parent)
    { }

    QList<Frame> frames;

    void inject(uint16_t channel, const QByteArray &payload)
    {
        emit packetReceived(channel, payload);
    }

    // Payloads sent on `channel`, in order, after checking each frame's header by hand
    // (u16 0xABCD, u16 channel, u16 whole length). A bad header yields an empty list.
    QList<QByteArray> payloads(uint16_t channel, bool *allReliable = nullptr) const
    {
        QList<QByteArray> out;
        bool reliable = true;
        for (const Frame &f : frames) {
            if (f.channel != channel)
                continue;
            const QByteArray &b = f.frame;
            if (b.size() < 6 || qFromLittleEndian<quint16>(b.constData()) != 0xABCD
                || qFromLittleEndian<quint16>(b.constData() + 2) != channel
                || qFromLittleEndian<quint16>(b.constData() + 4) != b.size())
                return {};
            reliable = reliable && f.isReliable;
            out << b.mid(6);
        }
        if (allReliable)
            *allReliable = reliable;
        return out;
    }

public slots:
    void sendPacket(uint16_t channel, bool isReliable, QByteArray packet) override
    {
        frames.append({ channel, isReliable, packet });
    }
    void activeLinkTypeChanged(AbstractDataLink::LinkType) override { }
};

// A link manager whose active link is a RecordingLink, as after the device accepted USB.
struct ServiceRig
{
    DatalinkManager manager;
    RecordingLink *link = new RecordingLink;

    ServiceRig()
    {
        // No heartbeats or time-outs of their own while a test runs.
        manager.setTimings({ 3600 * 1000, 3600 * 1000, 3600 * 1000 });
        manager.addDatalink(link);
        // The host asks for the link and the device accepts it; the request itself is not part
        // of what a service test looks at.
        manager.setActiveDatalinkConnection(AbstractDataLink::USB);
        manager.handleSetActiveDatalinkReceived(AbstractDataLink::USB, true);
        link->frames.clear();
    }
};
