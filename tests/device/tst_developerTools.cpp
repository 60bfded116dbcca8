// The developer and manufacturing tools' own operations: the serial-number rule, the test-packet
// flood, the upload progress and the manufacturing results reported to the notification hub.
#include "DataLinkTest.h"
#include "DeveloperModule.h"
#include "ErrorHandler.h"
#include "ManufacturingModule.h"
#include "NotificationMessage.h"

#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#include <cmath>

class TestDeveloperTools : public QObject
{
    Q_OBJECT

private slots:
    void isValidSerial_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<bool>("valid");
        QTest::newRow("digits") << "P1234567" << true;
        QTest::newRow("letters and digits") << "PZ0A9B8C" << true;
        QTest::newRow("lower-case p") << "p1234567" << false;
        QTest::newRow("seven characters") << "P123456" << false;
        QTest::newRow("nine characters") << "P12345678" << false;
        QTest::newRow("hyphen") << "P123-567" << false;
        QTest::newRow("lower-case letter") << "P123456a" << false;
        QTest::newRow("other first letter") << "Q1234567" << false;
        QTest::newRow("non-ASCII letter") << QString::fromUtf8("P123456\xc3\x84") << false;
    }
    void isValidSerial()
    {
        QFETCH(QString, serial);
        QFETCH(bool, valid);
        ManufacturingModule module;
        QCOMPARE(module.isValidSerial(serial), valid);
    }

    void sendTestCountsAndRamps()
    {
        DataLinkTest first(nullptr, 7, true, nullptr);
        DataLinkTest second(nullptr, 8, false, nullptr);
        QSignalSpy firstWrites(&first, &AbstractService::write);
        QSignalSpy secondWrites(&second, &AbstractService::write);
        first.sendTest();
        first.sendTest();
        second.sendTest();
        QCOMPARE(firstWrites.size(), 2);
        QCOMPARE(secondWrites.size(), 1);
        QCOMPARE(firstWrites[0][0].value<DatalinkChannelId>(), DatalinkChannelId(7));
        QCOMPARE(firstWrites[0][1].toBool(), true);
        QCOMPARE(secondWrites[0][1].toBool(), false);
        const QByteArray a = firstWrites[0][2].toByteArray();
        const QByteArray b = firstWrites[1][2].toByteArray();
        const QByteArray c = secondWrites[0][2].toByteArray();
        for (const QByteArray &packet : { a, b, c })
            QCOMPARE(packet.size(), 516);
        // Each instance counts its own packets from 0.
        QCOMPARE(qFromLittleEndian<quint32>(a.constData()), 0u);
        QCOMPARE(qFromLittleEndian<quint32>(b.constData()), 1u);
        QCOMPARE(qFromLittleEndian<quint32>(c.constData()), 0u);
        // The ramp start is shared: it rises by one with every packet of any instance.
        const auto start = [](const QByteArray &packet) { return quint8(packet[4]); };
        QCOMPARE(quint8(start(b) - start(a)), quint8(1));
        QCOMPARE(quint8(start(c) - start(b)), quint8(1));
        for (int i = 0; i < DataLinkTest::rampSize; ++i)
            QCOMPARE(quint8(a[4 + i]), quint8((start(a) + i) & 0xFF));
    }

    void progressIsReportedOnChange()
    {
        DeveloperModule module;
        QSignalSpy spy(&module, &DeveloperModule::UpdateProgressChanged);
        module.updateProgressUpdated(0.5f);
        module.updateProgressUpdated(0.5f);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(module.flashUploadPercentage(), 0.5f);
        module.updateProgressUpdated(std::nanf(""));
        module.updateProgressUpdated(std::nanf(""));
        QCOMPARE(spy.size(), 3);
    }

    void withoutADeviceNothingHappens()
    {
        DeveloperModule module;
        QSignalSpy available(&module, &DeveloperModule::PeltoAvailableChanged);
        module.setDevice(nullptr);
        QCOMPARE(available.size(), 1);
        QCOMPARE(available[0][0].toBool(), false);
        QVERIFY(!module.peltoAvailable());
        QVERIFY(!module.mscState());
        module.goToSerialDownloader();
        module.restoreDefaultSettings();
        module.setMscState(true);
        QSignalSpy urls(&module, &DeveloperModule::FileDialogUrlReceived);
        module.fileDialog(QUrl(QStringLiteral("file:///tmp/app.elf")));
        QCOMPARE(urls.size(), 1);
    }

    void manufacturingResults_data()
    {
        QTest::addColumn<int>("handler");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("serial") << 0 << "Serial fuse burning failed"
                                << "The burning of the serial number failed: %1";
        QTest::newRow("keys") << 1 << "Security key fuse burning failed"
                              << "The burning of the security keys failed: %1";
        QTest::newRow("board info") << 2 << "Board info fuse burning failed"
                                    << "The burning of the board info failed: %1";
        QTest::newRow("restore") << 3 << "Resetting failed"
                                 << "Resetting the device to factory settings failed: %1";
    }
    void manufacturingResults()
    {
        QFETCH(int, handler);
        QFETCH(QString, title);
        QFETCH(QString, text);
        ManufacturingModule module;
        const auto call = [&](int code) {
            const auto response = ControlChannel::ResponseCode(code);
            switch (handler) {
            case 0: module.setFuseSerialCompleted(response); break;
            case 1: module.setFuseKeysCompleted(response); break;
            case 2: module.setFuseBoardInfoCompleted(response); break;
            default: module.restoreDefaultSettingsCompleted(response); break;
            }
        };
        QSignalSpy failed(&module, &ManufacturingModule::evtOperationFailed);
        ErrorHandler *hub = ErrorHandler::instance();
        hub->clearNotifications();
        call(1);
        QCOMPARE(failed.size(), 0);
        QCOMPARE(hub->getNotificationCount(), 0u);
        call(5);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(hub->getNotificationCount(), 1u);
        const AbstractNotification *note = hub->getNotificationList().constFirst();
        QCOMPARE(note->getTitle(), title);
        QCOMPARE(note->getMessage(), text.arg(5));
        QCOMPARE(note->getOrigin(), QStringLiteral("Manufacturing tool"));
        QCOMPARE(note->getLevel(), nimbrel::Error);
        QCOMPARE(note->getSource(), AbstractNotification::NimbrelLab);
        hub->clearNotifications();
    }
};

QTEST_GUILESS_MAIN(TestDeveloperTools)
#include "tst_developerTools.moc"
