// The log library against the simulated Pelto over USB: the real libusb Linux back end under
// umockdev, the device answered by pelto-sim through the USB testbed, found and connected by the
// device factory.

#include "FactoryTestRig.h"
#include "LogLibraryScenario.h"
#include "UsbTestbed.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

class TestLogLibraryUsb : public QObject
{
    Q_OBJECT

private slots:
    void overUsb()
    {
        QVERIFY2(UsbTestbed::underUmockdev(), "run this test under umockdev-wrapper");
        QTemporaryDir sockets(QDir::tempPath() + QStringLiteral("/usb-XXXXXX"));
        const QString socket = sockets.filePath(QStringLiteral("USB-LOGS.sock"));
        auto testbed = std::make_unique<UsbTestbed>();
        QVERIFY2(testbed->isValid(), qPrintable(testbed->errorString()));

        loglibrary::Folders folders;
        PeltoSimProcess sim;
        QVERIFY(
            sim.start({ QStringLiteral("--usb-socket"), socket, QStringLiteral("--serial"),
                        loglibrary::kSerial, QStringLiteral("--files"), folders.device.path() }));
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

        loglibrary::run(*pelto, sim, folders);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(
            sim.command(QStringLiteral("status"))[QStringLiteral("active_interface")].toString(),
            QStringLiteral("USB"));
        rig.factory.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_GUILESS_MAIN(TestLogLibraryUsb)
#include "tst_logLibraryUsb.moc"
