#include "ErrorHandler.h"
#include "FactoryTestRig.h"

#include <QJsonArray>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace nimbrel::test;

namespace {

const OrvDevice *deviceArgument(const QList<QVariant> &arguments)
{
    return arguments.at(0).value<const OrvDevice *>();
}

QJsonObject simStatus(PeltoSimProcess &sim)
{
    return sim.command(QStringLiteral("status"));
}

int setInterfaceRequests(PeltoSimProcess &sim)
{
    return sim.counters()[QStringLiteral("channel0")][QStringLiteral("set_interface")].toInt();
}

void flushDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

// The device factory's Wi-Fi half against the simulated Pelto (tools/pelto-sim) on loopback.
class TestOrvFactoryWifi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<const OrvDevice *>();
        qRegisterMetaType<QList<Pelto *>>();
    }

    void cleanup()
    {
        ErrorHandler::instance()->clearNotifications();
        flushDeferredDeletes();
    }

    // A typed address becomes a Pelto that is listed, selected and made active, and the Pelto's
    // connect sequence reaches the device.
    void insertedAddressBecomesTheActiveDevice()
    {
        PeltoSimProcess sim;
        QVERIFY(sim.start({ QStringLiteral("--serial"), QStringLiteral("FAC-0001"),
                            QStringLiteral("--ext-type"), QStringLiteral("13") }));
        FactoryTestRig rig;
        rig.addSimulator(QStringLiteral("127.0.0.1"), sim);
        OrvFactory &factory = rig.start();
        QSignalSpy listed(&factory, &OrvFactory::DeviceListChanged);
        QSignalSpy selected(&factory, &OrvFactory::SelectedDeviceChanged);
        QSignalSpy active(&factory, &OrvFactory::ActiveDeviceChanged);
        QSignalSpy attempt(&factory, &OrvFactory::ConnectionAttemptChanged);
        QSignalSpy address(&factory, &OrvFactory::ConnectionAttemptAddressChanged);
        QSignalSpy established(&factory, &OrvFactory::wifiConnectionEstablished);
        QSignalSpy connectedSpy(&factory, &OrvFactory::orvDeviceConnected);

        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.1"));
        QCOMPARE(rig.dialled, QStringList{ QStringLiteral("127.0.0.1") });
        QVERIFY(factory.connectionAttempt());
        QCOMPARE(attempt.size(), 1);
        QCOMPARE(attempt.first().first().toBool(), true);
        QCOMPARE(address.size(), 1);
        QCOMPARE(factory.connectionAttemptAddress(), QStringLiteral("127.0.0.1"));

        QVERIFY(waitFor([&] { return rig.connected(0); }, 15000));
        Pelto *pelto = rig.device(0);
        QCOMPARE(factory.deviceList().size(), 1);
        QCOMPARE(listed.size(), 1);
        QCOMPARE(pelto->getSerialNumber(), QStringLiteral("FAC-0001"));
        QCOMPARE(pelto->getExtendedDeviceType(), orvdevice::Torvik);
        QCOMPARE(pelto->parent(), &factory);
        // The first Pelto is selected at once and becomes active when the device accepts the link.
        QCOMPARE(factory.selectedDevice(), pelto);
        QCOMPARE(selected.size(), 1);
        QCOMPARE(deviceArgument(selected.first()), pelto);
        QVERIFY(waitFor([&] { return active.size() >= 2; }, 2000));
        QCOMPARE(deviceArgument(active.first()), nullptr);
        QCOMPARE(deviceArgument(active.last()), pelto);
        QCOMPARE(pelto->getActiveDatalink(), AbstractDataLink::WiFi);
        QCOMPARE(established.size(), 1);
        QVERIFY(waitFor([&] { return !connectedSpy.isEmpty(); }, 2000));
        QCOMPARE(deviceArgument(connectedSpy.first()), pelto);
        QCOMPARE(connectedSpy.first().at(1).toBool(), true);
        // The attempt is over and its temporary device is gone.
        QVERIFY(!factory.connectionAttempt());
        QCOMPARE(attempt.last().first().toBool(), false);
        flushDeferredDeletes();
        QCOMPARE(factory.pendingDeviceCount(), 0);
        QCOMPARE(factory.findChildren<OrvDevice *>(QString(), Qt::FindDirectChildrenOnly).size(),
                 1);

        // What the device saw: Wi-Fi is its active interface and the connect sequence arrived.
        QCOMPARE(simStatus(sim)[QStringLiteral("active_interface")].toString(),
                 QStringLiteral("WiFi"));
        QVERIFY(waitFor([&] { return sim.controlCodes().size() >= 7; }, 5000));
        QCOMPARE(sim.controlCodes().mid(0, 7), (QList<int>{ 11, 32, 34, 33, 38, 132, 131 }));
        QCOMPARE(rig.dialled.size(), 1);
    }

    // With auto connect off a device is listed and selected but no link is made active, except
    // once for a device that asked to come back on its link (after a software update).
    void autoConnectOffListsWithoutActivating()
    {
        PeltoSimProcess sim;
        QVERIFY(sim.start({ QStringLiteral("--serial"), QStringLiteral("FAC-AUTO") }));
        FactoryTestRig rig;
        rig.addSimulator(QStringLiteral("127.0.0.1"), sim);
        OrvFactory &factory = rig.start();
        factory.autoConnectUpdated(false);
        QVERIFY(!factory.getAutoConnectState());

        const auto appearAndDrop = [&](bool expectActive) {
            QSignalSpy listed(&factory, &OrvFactory::DeviceListChanged);
            factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.1"));
            QVERIFY(waitFor([&] { return rig.device(0) != nullptr; }, 15000));
            Pelto *pelto = rig.device(0);
            QCOMPARE(factory.selectedDevice(), pelto);
            if (expectActive) {
                QVERIFY(waitFor([&] { return pelto->getIsConnected(); }, 5000));
                QCOMPARE(pelto->getActiveDatalink(), AbstractDataLink::WiFi);
            } else {
                // The choice is made when the device is identified; a request would have gone
                // out by now.
                QTest::qWait(1000);
                QCOMPARE(setInterfaceRequests(sim), 0);
                QVERIFY(!pelto->getIsConnected());
                QCOMPARE(pelto->getActiveDatalink(), AbstractDataLink::None);
            }
            factory.addToAutoConnect(pelto, AbstractDataLink::WiFi);
            pelto->reconnectOnLoss = false; // this test is not about reconnecting
            listed.clear();
            QVERIFY(simOk(sim.command(QStringLiteral("drop_links"))));
            QVERIFY(waitFor([&] { return factory.deviceList().isEmpty(); }, 10000));
            QCOMPARE(listed.size(), 1);
            QVERIFY(waitFor(
                [&] { return simStatus(sim)[QStringLiteral("links")].toArray().isEmpty(); }, 5000));
            QVERIFY(simOk(sim.command(QStringLiteral("reset_counters"))));
        };

        appearAndDrop(false); // remembers Wi-Fi for this serial
        appearAndDrop(true); // made active once by the memory; the device asks again
        appearAndDrop(true); // the second wish was kept until used
        // After leaving, nothing started a connection of its own.
        QCOMPARE(rig.dialled.size(), 3);
        QVERIFY(!factory.connectionAttempt());
    }

    // A port nobody listens on is tried again every 2000 ms (the product's timing) until the
    // attempt is cancelled.
    void closedPortIsRetriedUntilCancelled()
    {
        FactoryTestRig rig; // no simulator: the address goes to a refusing loopback port
        OrvFactory &factory = rig.start();
        QCOMPARE(factory.settings().reconnectDelayMs, 2000);
        QSignalSpy attempt(&factory, &OrvFactory::ConnectionAttemptChanged);

        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.1"));
        QVERIFY(waitFor([&] { return rig.dialled.size() >= 3; }, 10000));
        QCOMPARE(rig.redirected, 3);
        for (int i = 1; i < 3; ++i) {
            const qint64 gap = rig.dialTimes[i] - rig.dialTimes[i - 1];
            QVERIFY2(gap >= 1800, qPrintable(QString::number(gap)));
        }
        // The retry wait counts as a running attempt.
        QVERIFY(factory.connectionAttempt());
        QCOMPARE(attempt.first().first().toBool(), true);
        QCOMPARE(factory.connectionAttemptAddress(), QStringLiteral("127.0.0.1"));

        attempt.clear();
        factory.cancelConnectionAttempt();
        QVERIFY(!factory.connectionAttempt());
        QCOMPARE(attempt.size(), 1);
        QCOMPARE(attempt.first().first().toBool(), false);
        const qsizetype tried = rig.dialled.size();
        QTest::qWait(2500);
        QCOMPARE(rig.dialled.size(), tried);
        QVERIFY(!factory.connectionAttempt());
    }

    // An address that keeps refusing is given up after the set number of attempts: the attempt
    // ends (the top bar stops saying "Attempting connection") and one notification says so.
    void refusingAddressIsGivenUp()
    {
        FactoryTestRig rig; // no simulator: a refusing loopback port
        OrvFactorySettings settings = rig.settings();
        QVERIFY(settings.maxFailedAttempts > 0); // the product gives up too
        settings.reconnectDelayMs = 100;
        settings.maxFailedAttempts = 3;
        OrvFactory &factory = rig.start(settings);
        QSignalSpy attempt(&factory, &OrvFactory::ConnectionAttemptChanged);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("did not accept")));
        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.9"));
        QVERIFY(waitFor([&] { return rig.dialled.size() >= 3 && !factory.connectionAttempt(); },
                        10000));
        QCOMPARE(attempt.last().first().toBool(), false);
        QTest::qWait(scaled(600));
        QCOMPARE(rig.dialled.size(), 3);
        QVERIFY(!factory.connectionAttempt());
        const NotificationList told = ErrorHandler::instance()->getNotificationList();
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.first()->getTitle(), QStringLiteral("Wi-Fi connection failed"));
        QVERIFY2(told.first()->getMessage().contains(QStringLiteral("127.0.0.9")),
                 qPrintable(told.first()->getMessage()));
        QVERIFY(told.first()->getMessage().contains(QStringLiteral("3 attempts")));

        // A new request starts a new series with its own count.
        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.9"));
        QVERIFY(waitFor([&] { return rig.dialled.size() >= 6 && !factory.connectionAttempt(); },
                        10000));
        QCOMPARE(rig.dialled.size(), 6);
    }

    // While an attempt link exists a second address is only logged; while a failed attempt
    // waits for its retry, a new address starts at once.
    void secondAddressWhileAttempting()
    {
        QTcpServer silent; // accepts, never answers the TLS handshake
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        FactoryTestRig rig;
        rig.addEndpoint(QStringLiteral("127.0.0.1"),
                        { QHostAddress::LocalHost, silent.serverPort(), silent.serverPort() });
        WifiDatalinkSettings wifi;
        wifi.handshakeTimeoutMs = 1500;
        rig.setLinkSettings(wifi);
        OrvFactorySettings settings = rig.settings();
        settings.reconnectDelayMs = 60000;
        OrvFactory &factory = rig.start(settings);

        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.1"));
        QVERIFY(waitFor([&] { return silent.hasPendingConnections(); }, 5000));
        QTest::ignoreMessage(
            QtInfoMsg, "could not attempt new connection, connection attempt is still active");
        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.5"));
        QCOMPARE(rig.dialled, QStringList{ QStringLiteral("127.0.0.1") });
        QCOMPARE(factory.connectionAttemptAddress(), QStringLiteral("127.0.0.1"));

        // The stalled handshake times out: the attempt fails and waits for its retry.
        QSignalSpy attempt(&factory, &OrvFactory::ConnectionAttemptChanged);
        QVERIFY(waitFor([&] { return attempt.size() >= 2; }, 10000));
        QCOMPARE(attempt.at(0).first().toBool(), false);
        QCOMPARE(attempt.at(1).first().toBool(), true);
        QCOMPARE(rig.dialled.size(), 1);

        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.5"));
        QCOMPARE(rig.dialled,
                 (QStringList{ QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.5") }));
        QCOMPARE(factory.connectionAttemptAddress(), QStringLiteral("127.0.0.5"));
        factory.cancelConnectionAttempt();
    }

    // Selecting a device stops a failing address from being tried again.
    void selectingADeviceCancelsTheRetry()
    {
        FactoryTestRig rig;
        OrvFactorySettings settings = rig.settings();
        settings.reconnectDelayMs = 200;
        OrvFactory &factory = rig.start(settings);
        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.1"));
        QVERIFY(waitFor([&] { return rig.dialled.size() >= 2; }, 5000));
        QVERIFY(factory.connectionAttempt());

        OrvDevice other(static_cast<QObject *>(nullptr));
        QSignalSpy active(&factory, &OrvFactory::ActiveDeviceChanged);
        factory.setSelectedDevice(&other);
        QVERIFY(!factory.connectionAttempt());
        QCOMPARE(active.size(), 1);
        QCOMPARE(deviceArgument(active.first()), nullptr); // selected, but not connected
        const qsizetype tried = rig.dialled.size();
        QTest::qWait(1000);
        QCOMPARE(rig.dialled.size(), tried);
        factory.setSelectedDevice(nullptr);
    }

    // Only a Pelto becomes a device; other families are dropped with their link.
    void familyDecidesWhetherADeviceIsMade_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("devices");
        QTest::newRow("Pelto") << 1 << 1;
        QTest::newRow("Halvex") << 2 << 0;
        QTest::newRow("unknown family") << 7 << 0;
    }
    void familyDecidesWhetherADeviceIsMade()
    {
        QFETCH(int, family);
        QFETCH(int, devices);
        PeltoSimProcess sim;
        QVERIFY(sim.start({ QStringLiteral("--family"), QString::number(family) }));
        FactoryTestRig rig;
        rig.addSimulator(QStringLiteral("127.0.0.1"), sim);
        OrvFactory &factory = rig.start();
        QSignalSpy established(&factory, &OrvFactory::wifiConnectionEstablished);
        QSignalSpy listed(&factory, &OrvFactory::DeviceListChanged);
        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.1"));
        // The identity reached the factory in every case.
        QVERIFY(waitFor([&] { return !established.isEmpty(); }, 15000));
        flushDeferredDeletes();
        QCOMPARE(factory.deviceList().size(), devices);
        QCOMPARE(listed.size(), devices);
        QCOMPARE(factory.pendingDeviceCount(), 0);
        QCOMPARE(factory.findChildren<OrvDevice *>().size(), devices);
        if (devices == 0) {
            QCOMPARE(factory.selectedDevice(), nullptr);
            // The dropped device's link went with it.
            QVERIFY(waitFor(
                [&] { return simStatus(sim)[QStringLiteral("links")].toArray().isEmpty(); }, 5000));
        }
    }

    // Two Peltos: the first stays selected; a firmware file reaches both.
    void twoDevicesFirstStaysSelected()
    {
        PeltoSimProcess first;
        QVERIFY(first.start({ QStringLiteral("--serial"), QStringLiteral("FAC-FIRST") }));
        PeltoSimProcess second;
        QVERIFY(second.start({ QStringLiteral("--serial"), QStringLiteral("FAC-SECOND"),
                               QStringLiteral("--address"), QStringLiteral("127.0.0.2") }));
        FactoryTestRig rig;
        rig.addSimulator(QStringLiteral("127.0.0.1"), first);
        rig.addSimulator(QStringLiteral("127.0.0.2"), second);
        OrvFactory &factory = rig.start();
        QSignalSpy selected(&factory, &OrvFactory::SelectedDeviceChanged);
        QSignalSpy listed(&factory, &OrvFactory::DeviceListChanged);

        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.1"));
        QVERIFY(waitFor([&] { return rig.connected(0); }, 15000));
        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.2"));
        QVERIFY(waitFor([&] { return rig.connected(1); }, 15000));
        QCOMPARE(rig.device(0)->getSerialNumber(), QStringLiteral("FAC-FIRST"));
        QCOMPARE(rig.device(1)->getSerialNumber(), QStringLiteral("FAC-SECOND"));
        QCOMPARE(factory.selectedDevice(), rig.device(0));
        QCOMPARE(selected.size(), 1);
        QCOMPARE(listed.size(), 2);
        QCOMPARE(listed.last().first().value<QList<Pelto *>>(), factory.deviceList());

        // The file dialog hands over a local path; it stays a local file as a URL.
        emit factory.TempUploadFirmware(QStringLiteral("/tmp/firmware/pelto-1.5.0.fwb"));
        for (int i = 0; i < 2; ++i)
            QCOMPARE(rig.device(i)->pendingFirmwareUrl(),
                     QStringLiteral("file:///tmp/firmware/pelto-1.5.0.fwb"));
        for (PeltoSimProcess *sim : { &first, &second }) {
            QVERIFY(waitFor(
                [&] {
                    return sim->command(QStringLiteral("get_state"))[QStringLiteral("state")]
                        .toObject()[QStringLiteral("services")]
                        .toObject()[QStringLiteral("update")]
                        .toBool();
                },
                5000));
            QVERIFY(sim->controlCodes().contains(9));
        }
    }

    // A device lost over Wi-Fi is looked for again at its address; one without an address at
    // the device's own access-point address, which the tests never dial.
    void deviceLostOverWifiIsReconnected_data()
    {
        QTest::addColumn<QString>("deviceIp");
        QTest::addColumn<bool>("reconnectOnLoss");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no address") << "0.0.0.0" << true << "192.168.192.2";
        QTest::newRow("own address") << "127.0.0.1" << true << "127.0.0.1";
        QTest::newRow("asked not to") << "127.0.0.1" << false << "";
    }
    void deviceLostOverWifiIsReconnected()
    {
        QFETCH(QString, deviceIp);
        QFETCH(bool, reconnectOnLoss);
        QFETCH(QString, expected);
        PeltoSimProcess sim;
        QVERIFY(sim.start({ QStringLiteral("--serial"), QStringLiteral("FAC-LOST"),
                            QStringLiteral("--state"), QStringLiteral("ip=") + deviceIp }));
        FactoryTestRig rig;
        rig.addSimulator(QStringLiteral("127.0.0.1"), sim);
        OrvFactory &factory = rig.start();
        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.1"));
        QVERIFY(waitFor([&] { return rig.connected(0); }, 15000));
        Pelto *pelto = rig.device(0);
        // The device has reported its address (or that it has none) at least once.
        QVERIFY(waitFor([&] { return sim.controlCodes().contains(100); }, 5000));
        if (deviceIp != QLatin1String("0.0.0.0"))
            QVERIFY(waitFor([&] { return pelto->getIpAddress() == deviceIp; }, 5000));
        QCOMPARE(pelto->getActiveDatalink(), AbstractDataLink::WiFi);
        pelto->reconnectOnLoss = reconnectOnLoss;
        rig.dialled.clear();
        rig.redirected = 0;
        QSignalSpy active(&factory, &OrvFactory::ActiveDeviceChanged);

        QVERIFY(simOk(sim.command(QStringLiteral("drop_links"))));
        QVERIFY(waitFor([&] { return factory.deviceList().isEmpty(); }, 10000));
        QVERIFY(!active.isEmpty());
        QCOMPARE(deviceArgument(active.last()), nullptr);
        if (expected.isEmpty()) {
            QTest::qWait(500);
            QVERIFY(rig.dialled.isEmpty());
            QVERIFY(!factory.connectionAttempt());
            return;
        }
        QVERIFY(waitFor([&] { return !rig.dialled.isEmpty(); }, 5000));
        QCOMPARE(rig.dialled.first(), expected);
        if (expected == QLatin1String("192.168.192.2")) {
            QCOMPARE(rig.redirected, 1); // went to a refusing loopback port instead
            factory.cancelConnectionAttempt();
            return;
        }
        // The device is back as a new device object with the same identity.
        QVERIFY(waitFor([&] { return rig.connected(0); }, 15000));
        QCOMPARE(rig.device(0)->getSerialNumber(), QStringLiteral("FAC-LOST"));
        QCOMPARE(factory.selectedDevice(), rig.device(0));
    }

    // Removing the selected device clears the selection and the active device; a second report
    // of the same device changes nothing.
    void removingTheSelectedDevice()
    {
        PeltoSimProcess sim;
        QVERIFY(sim.start());
        FactoryTestRig rig;
        rig.addSimulator(QStringLiteral("127.0.0.1"), sim);
        OrvFactory &factory = rig.start();
        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.1"));
        QVERIFY(waitFor([&] { return rig.connected(0); }, 15000));
        QPointer<Pelto> pelto = rig.device(0);
        pelto->reconnectOnLoss = false;
        QSignalSpy selected(&factory, &OrvFactory::SelectedDeviceChanged);
        QSignalSpy active(&factory, &OrvFactory::ActiveDeviceChanged);
        QSignalSpy listed(&factory, &OrvFactory::DeviceListChanged);

        factory.removeDevice(pelto);
        factory.removeDevice(pelto);
        QCOMPARE(factory.selectedDevice(), nullptr);
        QCOMPARE(selected.size(), 1);
        QCOMPARE(deviceArgument(selected.first()), nullptr);
        QCOMPARE(active.size(), 1);
        QCOMPARE(deviceArgument(active.first()), nullptr);
        QCOMPARE(listed.size(), 1);
        QVERIFY(listed.first().first().value<QList<Pelto *>>().isEmpty());
        QVERIFY(pelto);
        flushDeferredDeletes();
        QVERIFY(!pelto);
        QVERIFY(waitFor([&] { return simStatus(sim)[QStringLiteral("links")].toArray().isEmpty(); },
                        5000));
        QVERIFY(rig.dialled.size() == 1 && !factory.connectionAttempt());
    }

    void addressIsValidated_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("empty") << "";
        QTest::newRow("words") << "not an address";
        QTest::newRow("octet too large") << "192.168.1.300";
        QTest::newRow("host name") << "pelto.local";
    }
    void addressIsValidated()
    {
        QFETCH(QString, address);
        FactoryTestRig rig;
        OrvFactory &factory = rig.start();
        QSignalSpy attempt(&factory, &OrvFactory::ConnectionAttemptChanged);
        QSignalSpy addressChanged(&factory, &OrvFactory::ConnectionAttemptAddressChanged);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^Not a network address")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not a network")));
        factory.insertNetworkOrvDevice(address);
        // The person who typed it is told, once.
        const NotificationList told = ErrorHandler::instance()->getNotificationList();
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.first()->getTitle(), QStringLiteral("No Wi-Fi connection started"));
        QVERIFY2(told.first()->getMessage().contains(u'"' + address + u'"'),
                 qPrintable(told.first()->getMessage()));
        QVERIFY(rig.dialled.isEmpty());
        QVERIFY(!factory.connectionAttempt());
        QVERIFY(attempt.isEmpty());
        QVERIFY(addressChanged.isEmpty());
        QVERIFY(factory.connectionAttemptAddress().isEmpty());
        // An IPv6 address is an address.
        factory.insertNetworkOrvDevice(QStringLiteral("::1"));
        QCOMPARE(rig.dialled, QStringList{ QStringLiteral("::1") });
        factory.cancelConnectionAttempt();
    }

    // QML writes the selected device through the property; bindings and the attempt follow.
    void selectedDevicePropertyWrite()
    {
        FactoryTestRig rig;
        OrvFactorySettings settings = rig.settings();
        settings.reconnectDelayMs = 60000;
        OrvFactory &factory = rig.start(settings);
        QQmlEngine engine;
        engine.rootContext()->setContextProperty(QStringLiteral("orvFactory"), &factory);
        QQmlComponent component(&engine);
        component.setData("import QtQml\n"
                          "QtObject {\n"
                          "    property var shown: orvFactory.selectedDevice\n"
                          "    function select(device) { orvFactory.selectedDevice = device }\n"
                          "}\n",
                          QUrl());
        std::unique_ptr<QObject> root(component.create());
        QVERIFY2(root, qPrintable(component.errorString()));
        QCOMPARE(root->property("shown").value<QObject *>(), nullptr);

        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.1")); // fails, then waits to retry
        QCOMPARE(rig.redirected, 1);
        QVERIFY(factory.connectionAttempt());
        OrvDevice device(static_cast<QObject *>(nullptr));
        QSignalSpy selected(&factory, &OrvFactory::SelectedDeviceChanged);
        QVERIFY(QMetaObject::invokeMethod(
            root.get(), "select", Q_ARG(QVariant, QVariant::fromValue<QObject *>(&device))));
        QCOMPARE(factory.selectedDevice(), &device);
        QCOMPARE(selected.size(), 1);
        QCOMPARE(root->property("shown").value<QObject *>(), &device);
        QVERIFY(!factory.connectionAttempt());
        factory.setSelectedDevice(nullptr);
        QCOMPARE(root->property("shown").value<QObject *>(), nullptr);
    }

    // Destroying the factory with a connected device and a pending retry ends everything at once.
    void destructionWithADevice()
    {
        PeltoSimProcess sim;
        QVERIFY(sim.start());
        FactoryTestRig rig;
        rig.addSimulator(QStringLiteral("127.0.0.1"), sim);
        OrvFactorySettings settings = rig.settings();
        settings.reconnectDelayMs = 100;
        OrvFactory &factory = rig.start(settings);
        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.1"));
        QVERIFY(waitFor([&] { return rig.connected(0); }, 15000));
        QPointer<Pelto> pelto = rig.device(0);
        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.9")); // refused, retried
        QVERIFY(waitFor([&] { return rig.redirected >= 1; }));
        QSignalSpy active(&factory, &OrvFactory::ActiveDeviceChanged);

        rig.factory.reset();
        QVERIFY(!pelto);
        QCOMPARE(active.size(), 1);
        QCOMPARE(deviceArgument(active.first()), nullptr);
        const qsizetype tried = rig.dialled.size();
        QTest::qWait(300);
        QCOMPARE(rig.dialled.size(), tried);
        QVERIFY(waitFor([&] { return simStatus(sim)[QStringLiteral("links")].toArray().isEmpty(); },
                        5000));
    }
};

QTEST_MAIN(TestOrvFactoryWifi)
#include "tst_orvFactoryWifi.moc"
