#include "BinaryLibraryScenario.h"
#include "FactoryTestRig.h"
#include "UsbTestbed.h"

#include <QTemporaryDir>

#include <memory>

using namespace nimbrel::test;

// The library against pelto-sim over USB: the real libusb back end under umockdev, the device
// found and connected by the device factory.
class TestBinaryLibraryUsb : public QObject
{
    Q_OBJECT

private slots:
    void offersAndUploadOverUsb()
    {
        QVERIFY2(UsbTestbed::underUmockdev(), "run this test under umockdev-wrapper");
        QTemporaryDir dir;
        const QString elf = rig::makeModelElf(dir.path());
        QVERIFY(!elf.isEmpty());
        QTemporaryDir sockets(QDir::tempPath() + QStringLiteral("/usb-XXXXXX"));
        const QString socket = sockets.filePath(QStringLiteral("USB-LIB.sock"));
        auto testbed = std::make_unique<UsbTestbed>();
        QVERIFY2(testbed->isValid(), qPrintable(testbed->errorString()));

        const QString received = dir.filePath(QStringLiteral("received.bin"));
        PeltoSimProcess sim;
        QStringList arguments = scenario::simArguments(received);
        arguments << QStringLiteral("--usb-socket") << socket << QStringLiteral("--serial")
                  << QStringLiteral("USB-LIB");
        QVERIFY(sim.start(arguments));
        QVERIFY2(testbed->addDevice(UsbDeviceSpec::pelto(512), socket) > 0,
                 qPrintable(testbed->errorString()));

        FactoryTestRig rig;
        scenario::runOfferScenario(sim, received, elf, [&] {
            OrvFactorySettings settings = rig.settings();
            settings.useUsb = true;
            settings.usbFirstPassDelayMs = 0;
            return &rig.start(settings);
        });
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(
            sim.command(QStringLiteral("status"))[QStringLiteral("active_interface")].toString(),
            QStringLiteral("USB"));
        QCOMPARE(sim.counters()[QStringLiteral("frames")][QStringLiteral("tcp")].toInt(), 0);
        rig.factory.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_GUILESS_MAIN(TestBinaryLibraryUsb)
#include "tst_binaryLibraryUsb.moc"
