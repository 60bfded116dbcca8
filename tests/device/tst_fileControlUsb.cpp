#include "FactoryTestRig.h"
#include "FileControlScenario.h"
#include "UsbTestbed.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

// The file-control scenario over USB: the real libusb Linux back end under umockdev, the device
// answered by pelto-sim through the USB testbed, found and connected by the device factory.
class TestFileControlUsb : public QObject
{
    Q_OBJECT

private slots:
    void overUsb()
    {
        QVERIFY2(UsbTestbed::underUmockdev(), "run this test under umockdev-wrapper");
        QTemporaryDir sockets(QDir::tempPath() + QStringLiteral("/usb-XXXXXX"));
        const QString socket = sockets.filePath(QStringLiteral("USB-FC.sock"));
        auto testbed = std::make_unique<UsbTestbed>();
        QVERIFY2(testbed->isValid(), qPrintable(testbed->errorString()));

        DeviceFolder device;
        QTemporaryDir local(testRoot() + QStringLiteral("/local-XXXXXX"));
        PeltoSimProcess sim;
        QVERIFY(
            sim.start({ QStringLiteral("--usb-socket"), socket, QStringLiteral("--serial"),
                        QStringLiteral("USB-FC"), QStringLiteral("--files"), device.dir.path() }));
        QVERIFY2(testbed->addDevice(UsbDeviceSpec::pelto(512), socket) > 0,
                 qPrintable(testbed->errorString()));

        FactoryTestRig rig;
        OrvFactorySettings settings = rig.settings();
        settings.useUsb = true;
        settings.usbFirstPassDelayMs = 0;
        // The heartbeats queue behind megabytes of download on the one bulk pipe; under
        // ThreadSanitizer on a loaded machine they arrive later than the product's 15 s allow.
        // The watchdog has tests of its own; here it must not end the link mid-scenario.
        settings.timings.watchdogTimeoutMs = scaled(60000);
        rig.start(settings);
        QVERIFY(waitFor([&] { return rig.connected(0); }, 15000));
        Pelto *pelto = rig.device(0);
        QCOMPARE(pelto->getActiveDatalink(), AbstractDataLink::USB);

        QSignalSpy opened(pelto, &Pelto::FileControlOpenedClosed);
        pelto->openCloseFileControl(true);
        QVERIFY(opened.wait(scaled(10000)));
        QPointer<FileControlChannel> channel = opened.last().at(0).value<FileControlChannel *>();
        QVERIFY(channel);
        runFileControlScenario(*channel, sim, device, local);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(
            sim.command(QStringLiteral("status"))[QStringLiteral("active_interface")].toString(),
            QStringLiteral("USB"));

        rig.factory.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(testbed->unhandledRequests().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFileControlUsb)
#include "tst_fileControlUsb.moc"
