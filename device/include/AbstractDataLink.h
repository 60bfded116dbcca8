#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>

#include <atomic>
#include <cstdint>

// The channel number of a device frame (0 link management, 1 control, ...).
using DatalinkChannelId = std::uint16_t;

// Base of every transport to a controller (USB bulk, Wi-Fi). Every link carries device frames in
// both directions: sendPacket always receives a whole frame (header included, built by the link
// manager); received frames leave as packetReceived with the payload only.
//
// Ownership: a link is created by its factory and then adopted (re-parented) by the device's
// DatalinkManager, which deletes it once it reports Invalid.
// Threading: the link lives on the GUI thread. The state is atomic because a transport may
// invalidate itself on one of its own threads (the USB event or writer thread); receivers of
// datalinkStateSignal must therefore use a queued connection.
class AbstractDataLink : public QObject
{
    Q_OBJECT

public:
    enum LinkType : std::uint16_t {
        None = 0,
        USB = 1,
        WiFi = 2,
        Bluetooth = 3,
        NrOfLinkTypes = 4,
    };
    Q_ENUM(LinkType)

    enum DatalinkState : std::int32_t {
        NotAvailable = 0,
        Created = 1,
        Connected = 2,
        Invalid = 3,
    };
    Q_ENUM(DatalinkState)

    explicit AbstractDataLink(LinkType type, QObject *parent = nullptr);
    ~AbstractDataLink() override;

    LinkType getLinkType() const { return m_linkType; }
    DatalinkState getState() const { return m_state.load(); }

    // Called once by the link manager when it adopts the link: a transport that must be told to
    // start reading (USB) does so here and reports Connected. Links that read on their own keep
    // the default.
    virtual void startReading() { }

    // The link manager arms the link's own inactivity time-out while the link is not the
    // requested active link and disarms it while it is (the heartbeat watchdog guards it then).
    // Links without such a time-out keep the default.
    virtual void setSelfTimeoutArmed(bool armed) { Q_UNUSED(armed); }

    // Hands what the link still holds for the device to the transport, waiting until `deadline`
    // at the most. The link manager calls it before a device object lets its links go, so that
    // a last message (the disconnect request) does not die in a buffer. Blocks the calling
    // (GUI) thread. Links that hand every frame over at once keep the default.
    virtual void flushPendingWrites(QDeadlineTimer deadline) { Q_UNUSED(deadline); }

public slots:
    // `packet` is a whole device frame; `channel` repeats its channel number. `isReliable` asks for
    // the transport's reliable path.
    virtual void sendPacket(uint16_t channel, bool isReliable, QByteArray packet) = 0;
    // The device's active link changed (the link manager calls it on each of its links).
    virtual void activeLinkTypeChanged(AbstractDataLink::LinkType interface) = 0;

signals:
    void datalinkStateSignal(AbstractDataLink::LinkType type,
                             AbstractDataLink::DatalinkState state);
    void packetReceived(uint16_t channel, QByteArray packet);

protected:
    // Stores the state without telling anyone.
    void setState(DatalinkState state) { m_state.store(state); }
    // Stores the state and emits datalinkStateSignal(own type, state); safe from any thread.
    void changeState(DatalinkState state);
    // The failure path every link shares: state Invalid, signalled. Closes nothing; the owner
    // reacts to the signal and removes the link.
    void invalidateLink() { changeState(Invalid); }

private:
    const LinkType m_linkType;
    std::atomic<DatalinkState> m_state{ Created };
};
