#pragma once

#include "AbstractDataLink.h"

#include <QByteArray>
#include <QList>

// A link without a transport: it records every frame the manager hands it and lets a test inject
// received frames and state changes the way a real link would report them.
class FakeDataLink : public AbstractDataLink
{
    Q_OBJECT

public:
    struct SentFrame
    {
        uint16_t channel;
        bool isReliable;
        QByteArray frame;
    };

    explicit FakeDataLink(LinkType type, QObject *parent = nullptr)
        : AbstractDataLink(type, parent)
    { }

    // Like the USB link: reading starts when the manager adopts the link, and then it is up.
    bool connectOnStart = false;
    int startReadingCalls = 0;
    QList<SentFrame> sent;
    QList<AbstractDataLink::LinkType> activeChanges;
    QList<bool> selfTimeoutArmed;

    void startReading() override
    {
        ++startReadingCalls;
        if (connectOnStart)
            changeState(Connected);
    }
    void setSelfTimeoutArmed(bool armed) override { selfTimeoutArmed.append(armed); }

    void injectState(DatalinkState state) { changeState(state); }
    void injectFrame(uint16_t channel, const QByteArray &payload)
    {
        emit packetReceived(channel, payload);
    }

    // Frames sent on channel 0, header included.
    QList<QByteArray> channelZeroFrames() const
    {
        QList<QByteArray> frames;
        for (const SentFrame &f : sent)
            if (f.channel == 0)
                frames.append(f.frame);
        return frames;
    }

public slots:
    void sendPacket(uint16_t channel, bool isReliable, QByteArray packet) override
    {
        sent.append({ channel, isReliable, packet });
    }
    void activeLinkTypeChanged(AbstractDataLink::LinkType interface) override
    {
        activeChanges.append(interface);
    }
};

// The same, with the key exchange signal and slot of a Wi-Fi link.
class FakeWifiLink : public FakeDataLink
{
    Q_OBJECT

public:
    explicit FakeWifiLink(QObject *parent = nullptr)
        : FakeDataLink(WiFi, parent)
    { }

    QByteArray key;
    QByteArray iv;

signals:
    void requestAesKeys();

public slots:
    void setAesKeys(QByteArray newKey, QByteArray newIv)
    {
        key = newKey;
        iv = newIv;
    }
};
