#pragma once

// The host side of an end-to-end test as the device factory builds it: a generic device on a
// Wi-Fi link to a simulated Pelto, replaced by a Pelto once identified, which then asks for Wi-Fi
// as its active link. Shared by the end-to-end tests and benchmarks that run without a factory.

#include "DatalinkManager.h"
#include "OrvDevice.h"
#include "Pelto.h"
#include "PeltoSimProcess.h"
#include "WifiDatalink.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>

#include <functional>
#include <memory>

namespace nimbrel::test {

// A stream port that is free on the loopback address right now.
inline quint16 freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

struct WifiPeltoHost
{
    std::unique_ptr<OrvDevice> generic;
    std::unique_ptr<Pelto> pelto;
    QPointer<WifiDatalink> link;
    quint16 bridgePort = freeTcpPort();
    // Called with the new Pelto before it asks for its link, as the device factory wires a Pelto
    // before activating it (so no connection report is missed).
    std::function<void(Pelto &)> beforeActivation;

    // pollIntervalMs 0 keeps the Pelto's own state-poll interval.
    explicit WifiPeltoHost(const PeltoSimProcess &sim, const DatalinkTimings &timings = {},
                           int reconnectDelayMs = 0,
                           const QHostAddress &device = QHostAddress::LocalHost,
                           quint16 localUdpPort = 0, int pollIntervalMs = 0)
        : generic(std::make_unique<OrvDevice>(static_cast<QObject *>(nullptr)))
    {
        generic->property("datalinkManager").value<DatalinkManager *>()->setTimings(timings);
        WifiDatalinkSettings settings;
        settings.streamPort = sim.tlsPort;
        settings.deviceUdpPort = sim.udpPort;
        settings.localUdpPort = localUdpPort;
        settings.reconnectDelayMs = reconnectDelayMs;
        // The simulator's TLS handshake can take seconds on a loaded machine; these tests are
        // about the session, not the handshake's own time-out.
        settings.handshakeTimeoutMs = 30000;
        link = new WifiDatalink(generic.get(), device, true, true, settings);
        QObject::connect(generic.get(), &OrvDevice::DeviceInfoUpdated, generic.get(),
                         [this, pollIntervalMs](OrvDevice *, OrvDevice::DeviceType type) {
                             if (type != OrvDevice::Pelto || pelto)
                                 return;
                             pelto = std::make_unique<Pelto>(generic.get());
                             if (pollIntervalMs > 0)
                                 pelto->setPollInterval(pollIntervalMs);
                             pelto->setExternalModePort(bridgePort);
                             if (beforeActivation)
                                 beforeActivation(*pelto);
                             pelto->setActiveDatalinkWifi();
                         });
        generic->addDatalink(link);
        link->initialise();
    }

    bool connected() const { return pelto && pelto->getIsConnected(); }
    DatalinkManager *manager() const
    {
        return pelto ? pelto->property("datalinkManager").value<DatalinkManager *>() : nullptr;
    }
};

} // namespace nimbrel::test
