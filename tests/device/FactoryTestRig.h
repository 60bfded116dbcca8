#pragma once

#include "OrvFactory.h"
#include "Pelto.h"
#include "PeltoSimProcess.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QHash>
#include <QTcpServer>

#include <memory>

// A device factory whose Wi-Fi links reach simulated devices on loopback. The link maker records
// every address the factory asks for; an address that belongs to no simulator is never dialled:
// its link goes to a loopback port that refuses connections.
class FactoryTestRig
{
public:
    struct Endpoint
    {
        QHostAddress address;
        quint16 streamPort = 0;
        quint16 udpPort = 0;
    };

    FactoryTestRig() { m_refusingPort = refusingPort(); }

    // The factory dials `address`; the link goes to the simulator.
    void addSimulator(const QString &address, const PeltoSimProcess &sim)
    {
        m_endpoints.insert(address, { QHostAddress(address), sim.tlsPort, sim.udpPort });
    }
    // The factory dials `address`; the link goes to this loopback endpoint.
    void addEndpoint(const QString &address, const Endpoint &endpoint)
    {
        m_endpoints.insert(address, endpoint);
    }

    OrvFactorySettings settings()
    {
        OrvFactorySettings s;
        s.useUsb = false;
        s.wifi.localUdpPort = 0;
        s.wifi.reconnectDelayMs = 0;
        s.externalModePort = 0; // any free port: several Peltos may open their bridge at once
        s.createWifiLink = [this](QObject *parent, const QHostAddress &address) {
            dialled << address.toString();
            dialTimes << m_clock.elapsed();
            WifiDatalinkSettings wifi = m_wifi;
            wifi.localUdpPort = 0;
            const auto endpoint = m_endpoints.constFind(address.toString());
            if (endpoint == m_endpoints.constEnd()) {
                ++redirected;
                wifi.streamPort = m_refusingPort;
                wifi.deviceUdpPort = m_refusingPort;
                return new WifiDatalink(parent, QHostAddress::LocalHost, true, true, wifi);
            }
            wifi.streamPort = endpoint->streamPort;
            wifi.deviceUdpPort = endpoint->udpPort;
            return new WifiDatalink(parent, endpoint->address, true, true, wifi);
        };
        return s;
    }

    OrvFactory &start(OrvFactorySettings s)
    {
        m_clock.start();
        factory = std::make_unique<OrvFactory>(nullptr, s);
        return *factory;
    }
    OrvFactory &start() { return start(settings()); }

    // Settings of every link the maker builds (time-outs); ports are set per endpoint.
    void setLinkSettings(const WifiDatalinkSettings &wifi) { m_wifi = wifi; }

    Pelto *device(int index) const
    {
        const QList<Pelto *> list = factory->deviceList();
        return index < list.size() ? list[index] : nullptr;
    }
    bool connected(int index) const
    {
        Pelto *pelto = device(index);
        return pelto && pelto->getIsConnected();
    }

    QStringList dialled;
    QList<qint64> dialTimes;
    int redirected = 0;
    std::unique_ptr<OrvFactory> factory;

private:
    // A port on 127.0.0.1 with nobody listening: the listener is closed again at once.
    static quint16 refusingPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    QHash<QString, Endpoint> m_endpoints;
    WifiDatalinkSettings m_wifi;
    quint16 m_refusingPort = 0;
    QElapsedTimer m_clock;
};

inline bool simOk(const QJsonObject &reply)
{
    return reply.value(QStringLiteral("ok")).toBool();
}
