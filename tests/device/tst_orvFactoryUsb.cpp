#include "ErrorHandler.h"
#include "FactoryTestRig.h"
#include "UsbTestbed.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <mutex>
#include <thread>

using namespace nimbrel::test;

namespace {

const OrvDevice *deviceArgument(const QList<QVariant> &arguments)
{
    return arguments.at(0).value<const OrvDevice *>();
}

QStringList linkKinds(PeltoSimProcess &sim)
{
    QStringList kinds;
    for (const QJsonValue &link :
         sim.command(QStringLiteral("status"))[QStringLiteral("links")].toArray())
        kinds << link.toObject()[QStringLiteral("kind")].toString();
    kinds.sort();
    return kinds;
}

// Times of USBOrvdeviceDiscovered as the discovery thread emits it.
class DiscoveryClock
{
public:
    explicit DiscoveryClock(OrvFactory &factory)
    {
        m_clock.start();
        QObject::connect(
            &factory, &OrvFactory::USBOrvdeviceDiscovered, &factory,
            [this](USBDataLink *) {
                std::lock_guard lock(m_mutex);
                m_times << m_clock.elapsed();
                m_count = int(m_times.size());
            },
            Qt::DirectConnection);
    }
    int count() const { return m_count; }
    QList<qint64> times() const
    {
        std::lock_guard lock(m_mutex);
        return m_times;
    }

private:
    QElapsedTimer m_clock;
    mutable std::mutex m_mutex;
    QList<qint64> m_times;
    std::atomic<int> m_count{ 0 };
};

} // namespace

// The device factory's USB half: the real libusb Linux back end under umockdev, each simulated
// USB device answered by its own pelto-sim through the USB testbed (tests/support/usb).
class TestOrvFactoryUsb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<const OrvDevice *>();
        qRegisterMetaType<QList<Pelto *>>();
    }

    void init()
    {
        QVERIFY2(UsbTestbed::underUmockdev(), "run this test under umockdev-wrapper");
        m_folder
            = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/usb-XXXXXX"));
        QVERIFY(m_folder->isValid());
        // Before the factory initialises libusb: libusb looks where the testbed says.
        m_testbed = std::make_unique<UsbTestbed>();
        QVERIFY2(m_testbed->isValid(), qPrintable(m_testbed->errorString()));
    }

    void cleanup()
    {
        m_rig.factory.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QStringList unhandled = m_testbed ? m_testbed->unhandledRequests() : QStringList();
        m_testbed.reset();
        m_sims.clear();
        m_rig = FactoryTestRig();
        ErrorHandler::instance()->clearNotifications();
        QVERIFY2(unhandled.isEmpty(), qPrintable(unhandled.join(QLatin1String(", "))));
    }

    // Plugged in before the program starts: found by the first pass, claimed, identified and
    // made active; the Pelto's connect sequence reaches the device. Unplugged: it goes, and with
    // it the active device. The product's timings.
    void pluggedPeltoIsFoundAndUnpluggedGoes()
    {
        PeltoSimProcess &sim = startSim(QStringLiteral("USB-0001"),
                                        { QStringLiteral("--ext-type"), QStringLiteral("18") });
        const int id
            = m_testbed->addDevice(UsbDeviceSpec::pelto(512), socketOf(QStringLiteral("USB-0001")));
        QVERIFY2(id > 0, qPrintable(m_testbed->errorString()));
        OrvFactorySettings settings = m_rig.settings();
        settings.useUsb = true;
        QElapsedTimer clock;
        clock.start();
        OrvFactory &factory = m_rig.start(settings);
        QVERIFY(factory.isUsbAvailable());
        QSignalSpy listed(&factory, &OrvFactory::DeviceListChanged);
        QSignalSpy active(&factory, &OrvFactory::ActiveDeviceChanged);

        QVERIFY(waitFor([&] { return !listed.isEmpty(); }, 6000));
        const qint64 found = clock.elapsed();
        QVERIFY2(found >= 1900 && found <= scaled(3500), qPrintable(QString::number(found)));
        Pelto *pelto = m_rig.device(0);
        QCOMPARE(pelto->getSerialNumber(), QStringLiteral("USB-0001"));
        QCOMPARE(pelto->getExtendedDeviceType(), orvdevice::Torvik_v1_3);
        QCOMPARE(m_testbed->claimedInterfaces(id), QList<int>{ 0 });
        QCOMPARE(m_testbed->configuration(id), 1);
        QCOMPARE(factory.selectedDevice(), pelto);
        QVERIFY(waitFor([&] { return pelto->getIsConnected(); }, 5000));
        QCOMPARE(pelto->getActiveDatalink(), AbstractDataLink::USB);
        QCOMPARE(deviceArgument(active.last()), pelto);
        QCOMPARE(
            sim.command(QStringLiteral("status"))[QStringLiteral("active_interface")].toString(),
            QStringLiteral("USB"));
        QVERIFY(waitFor([&] { return sim.controlCodes().size() >= 14; }, 5000));
        QList<int> codes = sim.controlCodes();
        codes.removeAll(7); // the clock correction comes whenever the date reply is handled
        QCOMPARE(codes.mid(0, 14),
                 (QList<int>{ 11, 32, 34, 33, 38, 132, 131, 37, 130, 64, 129, 6, 99, 131 }));
        QCOMPARE(factory.usbDeviceCount(), 1);
        QVERIFY(factory.isUsbEventThreadRunning());

        listed.clear();
        active.clear();
        QVERIFY(m_testbed->removeDevice(id));
        QVERIFY(waitFor([&] { return factory.deviceList().isEmpty(); }, 5000));
        QCOMPARE(listed.size(), 1);
        QCOMPARE(active.size(), 1);
        QCOMPARE(deviceArgument(active.first()), nullptr);
        QCOMPARE(factory.selectedDevice(), nullptr);
        // The device is released and, with none left, the event thread ends.
        QVERIFY(waitFor([&] { return factory.usbDeviceCount() == 0; }, 5000));
        QVERIFY(!factory.isUsbEventThreadRunning());
        QVERIFY(!factory.connectionAttempt()); // a USB device is not looked for over Wi-Fi
    }

    // Two Peltos at once are taken in two passes; the first stays selected.
    void twoDevicesInTwoPasses()
    {
        startSim(QStringLiteral("USB-A"));
        startSim(QStringLiteral("USB-B"));
        const int a
            = m_testbed->addDevice(UsbDeviceSpec::pelto(512), socketOf(QStringLiteral("USB-A")));
        const int b
            = m_testbed->addDevice(UsbDeviceSpec::pelto(64), socketOf(QStringLiteral("USB-B")));
        QVERIFY(a > 0 && b > 0);
        OrvFactory &factory = m_rig.start(usbSettings(100, 700));
        DiscoveryClock discovered(factory);
        QSignalSpy selected(&factory, &OrvFactory::SelectedDeviceChanged);

        QVERIFY(waitFor([&] { return m_rig.connected(0) && m_rig.connected(1); }, 10000));
        const QList<qint64> times = discovered.times();
        QCOMPARE(times.size(), 2);
        QVERIFY2(times[1] - times[0] >= 600, qPrintable(QString::number(times[1] - times[0])));
        QStringList serials{ m_rig.device(0)->getSerialNumber(),
                             m_rig.device(1)->getSerialNumber() };
        serials.sort();
        QCOMPARE(serials, (QStringList{ QStringLiteral("USB-A"), QStringLiteral("USB-B") }));
        QCOMPARE(selected.size(), 1);
        QCOMPARE(factory.selectedDevice(), m_rig.device(0));
        QCOMPARE(factory.usbDeviceCount(), 2);
        QCOMPARE(m_testbed->claimedInterfaces(a), QList<int>{ 0 });
        QCOMPARE(m_testbed->claimedInterfaces(b), QList<int>{ 0 });
    }

    // With auto connect off a USB device is listed, but no link is made active.
    void autoConnectOffListsWithoutActivating()
    {
        PeltoSimProcess &sim = startSim(QStringLiteral("USB-OFF"));
        QVERIFY(m_testbed->addDevice(UsbDeviceSpec::pelto(512), socketOf(QStringLiteral("USB-OFF")))
                > 0);
        OrvFactory &factory = m_rig.start(usbSettings(300, 300));
        factory.autoConnectUpdated(false);
        QVERIFY(waitFor([&] { return m_rig.device(0) != nullptr; }, 5000));
        QTest::qWait(1000); // the choice is made when the device is identified
        QCOMPARE(
            sim.counters()[QStringLiteral("channel0")][QStringLiteral("set_interface")].toInt(), 0);
        QCOMPARE(m_rig.device(0)->getActiveDatalink(), AbstractDataLink::None);
        QVERIFY(!m_rig.device(0)->getIsConnected());
        QCOMPARE(factory.selectedDevice(), m_rig.device(0));
    }

    // A Halvex is identified and dropped; its USB device is released.
    void halvexIsDropped()
    {
        PeltoSimProcess &sim = startSim(QStringLiteral("HLX-0001"),
                                        { QStringLiteral("--family"), QStringLiteral("2") });
        QVERIFY(
            m_testbed->addDevice(UsbDeviceSpec::pelto(512), socketOf(QStringLiteral("HLX-0001")))
            > 0);
        OrvFactory &factory = m_rig.start(usbSettings(100, 60000));
        DiscoveryClock discovered(factory);
        QSignalSpy listed(&factory, &OrvFactory::DeviceListChanged);
        QVERIFY(waitFor([&] { return discovered.count() == 1; }, 5000));
        QVERIFY(waitFor(
            [&] {
                return sim.counters()[QStringLiteral("channel0")]
                                     [QStringLiteral("device_info_request")]
                                         .toInt()
                    > 0;
            },
            5000));
        QVERIFY(waitFor([&] { return factory.usbDeviceCount() == 0; }, 5000));
        QCOMPARE(factory.pendingDeviceCount(), 0);
        QVERIFY(listed.isEmpty());
        QVERIFY(factory.deviceList().isEmpty());
        QCOMPARE(factory.selectedDevice(), nullptr);
    }

    // Seen over USB and then over Wi-Fi, the same serial is one device with two links.
    void usbThenWifiIsOneDevice()
    {
        PeltoSimProcess &sim = startSim(QStringLiteral("BOTH-0001"));
        QVERIFY(
            m_testbed->addDevice(UsbDeviceSpec::pelto(512), socketOf(QStringLiteral("BOTH-0001")))
            > 0);
        m_rig.addSimulator(QStringLiteral("127.0.0.1"), sim);
        OrvFactory &factory = m_rig.start(usbSettings(100, 1000));
        QVERIFY(waitFor([&] { return m_rig.connected(0); }, 5000));
        Pelto *pelto = m_rig.device(0);
        QCOMPARE(pelto->getActiveDatalink(), AbstractDataLink::USB);
        QSignalSpy listed(&factory, &OrvFactory::DeviceListChanged);
        QSignalSpy established(&factory, &OrvFactory::wifiConnectionEstablished);

        QTest::ignoreMessage(QtInfoMsg, "Coupled");
        factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.1"));
        QVERIFY(waitFor([&] { return !established.isEmpty(); }, 15000));
        QCOMPARE(factory.deviceList(), QList<Pelto *>{ pelto });
        QVERIFY(listed.isEmpty());
        QVERIFY(pelto->getDatalink(AbstractDataLink::USB));
        QVERIFY(pelto->getDatalink(AbstractDataLink::WiFi));
        QCOMPARE(pelto->getActiveDatalink(), AbstractDataLink::USB);
        QCOMPARE(linkKinds(sim), (QStringList{ QStringLiteral("tcp"), QStringLiteral("usb") }));
        QTest::qWait(500);
        QVERIFY(pelto->getIsConnected());
        QCOMPARE(factory.pendingDeviceCount(), 0);
    }

    // A device whose configuration has no data link interface is not claimed; discovery tries it
    // again in later passes.
    void deviceWithoutDatalinkInterface()
    {
        const int id = m_testbed->addDevice(UsbDeviceSpec::peltoWithoutVendorInterface());
        QVERIFY(id > 0);
        OrvFactory &factory = m_rig.start(usbSettings(100, 300));
        DiscoveryClock discovered(factory);
        QSignalSpy listed(&factory, &OrvFactory::DeviceListChanged);
        QVERIFY(waitFor([&] { return discovered.count() >= 2; }, 5000));
        QVERIFY(m_testbed->claimedInterfaces(id).isEmpty());
        QVERIFY(listed.isEmpty());
        QCOMPARE(factory.pendingDeviceCount(), 0);
    }

    // Shutting down with a USB device attached ends at once and leaves nothing open; a device
    // that was still being handed to the GUI thread is released as well.
    void shutdownWithADeviceAttached_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::newRow("active device") << true;
        QTest::newRow("hand-over in progress") << false;
    }
    void shutdownWithADeviceAttached()
    {
        QFETCH(bool, connected);
        PeltoSimProcess &sim = startSim(QStringLiteral("USB-END"));
        const int id
            = m_testbed->addDevice(UsbDeviceSpec::pelto(512), socketOf(QStringLiteral("USB-END")));
        QVERIFY(id > 0);
        OrvFactory &factory = m_rig.start(usbSettings(100, 300));
        DiscoveryClock discovered(factory);
        if (connected) {
            QVERIFY(waitFor([&] { return m_rig.connected(0); }, 5000));
            QCOMPARE(m_testbed->openHandles(id), 1);
        } else {
            // Without running the event loop: the link is on its way to the GUI thread and the
            // discovery thread waits for it to be taken.
            for (int i = 0; i < scaled(5000) / 10 && discovered.count() == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            QCOMPARE(discovered.count(), 1);
            QCOMPARE(factory.usbDeviceCount(), 1);
        }

        QElapsedTimer clock;
        clock.start();
        m_rig.factory.reset();
        QVERIFY2(clock.elapsed() < scaled(1500), qPrintable(QString::number(clock.elapsed())));
        // The testbed hears of a closed handle on its own thread.
        QVERIFY(waitFor([&] { return m_testbed->openHandles(id) == 0; }, 3000));
        QVERIFY(m_testbed->claimedInterfaces(id).isEmpty());
        if (connected) {
            // Links went while the event thread still ran: the Pelto's goodbye reached the device.
            QVERIFY(waitFor([&] { return sim.controlCodes().contains(13); }, 3000));
        }
    }

private:
    PeltoSimProcess &startSim(const QString &serial, const QStringList &extra = {})
    {
        auto sim = std::make_unique<PeltoSimProcess>();
        const bool started
            = sim->start(QStringList{ QStringLiteral("--usb-socket"), socketOf(serial),
                                      QStringLiteral("--serial"), serial }
                         + extra);
        if (!started)
            qWarning("pelto-sim did not start");
        m_sims.push_back(std::move(sim));
        return *m_sims.back();
    }

    QString socketOf(const QString &serial) const
    {
        return m_folder->filePath(serial + QStringLiteral(".sock"));
    }

    OrvFactorySettings usbSettings(int firstPassDelayMs, int passIntervalMs)
    {
        OrvFactorySettings settings = m_rig.settings();
        settings.useUsb = true;
        settings.usbFirstPassDelayMs = firstPassDelayMs;
        settings.usbPassIntervalMs = passIntervalMs;
        return settings;
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<UsbTestbed> m_testbed;
    std::vector<std::unique_ptr<PeltoSimProcess>> m_sims;
    FactoryTestRig m_rig;
};

QTEST_MAIN(TestOrvFactoryUsb)
#include "tst_orvFactoryUsb.moc"
