#include "FactoryTestRig.h"
#include "UpdateScenario.h"
#include "UsbTestbed.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

// The upload scenario over USB: the real libusb Linux back end under umockdev, the device
// answered by pelto-sim through the USB testbed, found and connected by the device factory.
class TestUpdateUsb : public QObject
{
    Q_OBJECT

private slots:
    void overUsb()
    {
        QVERIFY2(UsbTestbed::underUmockdev(), "run this test under umockdev-wrapper");
        QTemporaryDir sockets(QDir::tempPath() + QStringLiteral("/usb-XXXXXX"));
        const QString socket = sockets.filePath(QStringLiteral("USB-UP.sock"));
        auto testbed = std::make_unique<UsbTestbed>();
        QVERIFY2(testbed->isValid(), qPrintable(testbed->errorString()));

        UpdateImages images;
        PeltoSimProcess sim;
        QVERIFY(sim.start({ QStringLiteral("--usb-socket"), socket, QStringLiteral("--serial"),
                            QStringLiteral("USB-UP"), QStringLiteral("--update-image"),
                            images.received }));
        QVERIFY2(testbed->addDevice(UsbDeviceSpec::pelto(512), socket) > 0,
                 qPrintable(testbed->errorString()));

        FactoryTestRig rig;
        OrvFactorySettings settings = rig.settings();
        settings.useUsb = true;
        settings.usbFirstPassDelayMs = 0;
        rig.start(settings);
        QVERIFY(waitFor([&] { return rig.connected(0); }, 15000));
        Pelto *pelto = rig.device(0);
        QCOMPARE(pelto->getActiveDatalink(), AbstractDataLink::USB);

        runUpdateScenario(*pelto, sim, images);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(
            sim.command(QStringLiteral("status"))[QStringLiteral("active_interface")].toString(),
            QStringLiteral("USB"));
        QCOMPARE(sim.counters()[QStringLiteral("frames")][QStringLiteral("tcp")].toInt(), 0);

        rig.factory.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(testbed->unhandledRequests().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestUpdateUsb)
#include "tst_updateUsb.moc"
