#include "ErrorHandler.h"
#include "FakeDataLink.h"
#include "NotificationMessage.h"
#include "Pelto.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <memory>

using namespace nimbrel::test;

namespace {

// Control codes of the channel-1 requests a link carried, in order.
QList<int> controlCodes(const FakeDataLink &link, qsizetype from = 0)
{
    QList<int> codes;
    for (qsizetype i = from; i < link.sent.size(); ++i) {
        const QByteArray &frame = link.sent[i].frame;
        if (link.sent[i].channel != 1 || frame.size() < 10)
            continue;
        codes << qFromLittleEndian<quint16>(frame.constData() + 8);
    }
    return codes;
}

// A request's payload (after the 6-byte frame header and the 5-byte control header).
QByteArray lastPayload(const FakeDataLink &link, int code)
{
    for (qsizetype i = link.sent.size() - 1; i >= 0; --i) {
        const QByteArray &frame = link.sent[i].frame;
        if (link.sent[i].channel == 1 && qFromLittleEndian<quint16>(frame.constData() + 8) == code)
            return frame.mid(11);
    }
    return {};
}

// Channel-4 payloads a link carried, in order.
QList<QByteArray> updateMessages(const FakeDataLink &link)
{
    QList<QByteArray> out;
    for (const auto &sent : link.sent)
        if (sent.channel == 4)
            out << sent.frame.mid(6);
    return out;
}

QByteArray updateHeader(quint32 command, quint32 length)
{
    QByteArray b(12, '\0');
    qToLittleEndian<quint32>(0xDDCCBBAA, b.data());
    qToLittleEndian<quint32>(command, b.data() + 4);
    qToLittleEndian<quint32>(length, b.data() + 8);
    return b;
}

ControlChannel::TimeDate timeDate(const QDateTime &t)
{
    ControlChannel::TimeDate d;
    d.second = t.time().second();
    d.minute = t.time().minute();
    d.hour = t.time().hour();
    d.dayOfMonth = t.date().day();
    d.month = t.date().month();
    d.year = t.date().year();
    d.dayOfWeek = t.date().dayOfWeek();
    d.dayOfYear = t.date().dayOfYear();
    return d;
}

ControlChannel::WifiIP wifiIp(std::initializer_list<uint8_t> address, bool ipv6 = false)
{
    ControlChannel::WifiIP ip;
    ip.bytes[0] = ipv6 ? 1 : 0;
    ip.bytes[1] = ipv6 ? 1 : 0;
    size_t i = ControlChannel::WifiIP::AddressOffset;
    for (uint8_t b : address)
        ip.bytes[i++] = b;
    return ip;
}

// A Pelto taken over from an identified generic device, on a fake USB link that is active.
struct Rig
{
    std::unique_ptr<OrvDevice> generic
        = std::make_unique<OrvDevice>(static_cast<QObject *>(nullptr));
    FakeDataLink *link = new FakeDataLink(AbstractDataLink::USB);
    std::unique_ptr<Pelto> pelto;

    Rig()
    {
        generic->addDatalink(link);
        pelto = std::make_unique<Pelto>(generic.get());
        pelto->setPollInterval(3600 * 1000); // polls are driven by hand
        // The host asks for the link and the device accepts it, which connects the Pelto; the
        // tests start disconnected.
        auto *manager = pelto->property("datalinkManager").value<DatalinkManager *>();
        manager->setTimings({ 3600 * 1000, 3600 * 1000, 3600 * 1000 });
        pelto->setActiveDatalinkUsb();
        manager->handleSetActiveDatalinkReceived(AbstractDataLink::USB, true);
        pelto->setProperty("isConnected", false);
        QCoreApplication::processEvents();
        link->sent.clear();
    }
    void connect()
    {
        pelto->setProperty("isConnected", true);
        QCoreApplication::processEvents();
    }
};

QList<AbstractNotification *> notifications()
{
    return ErrorHandler::instance()->getNotificationList();
}

} // namespace

class TestPelto : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        ErrorHandler::instance()->clearNotifications();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void connectSequence()
    {
        Rig rig;
        rig.pelto->setProperty("isConnected", true);
        QCOMPARE(controlCodes(*rig.link), (QList<int>{ 11, 32, 34, 33, 38, 132, 131 }));
        QCoreApplication::processEvents();
        QCOMPARE(controlCodes(*rig.link),
                 (QList<int>{ 11, 32, 34, 33, 38, 132, 131, 37, 130, 64, 129, 6, 99, 131 }));
    }

    void pollAsksVersionsUntilVerified()
    {
        Rig rig;
        rig.connect();
        qsizetype mark = rig.link->sent.size();
        rig.pelto->pollPeltoState();
        QCOMPARE(controlCodes(*rig.link, mark),
                 (QList<int>{ 64, 129, 100, 106, 32, 34, 33, 38, 132, 131, 131 }));

        rig.pelto->setVersionFW(true, QStringLiteral("1.4.0"), 0, 0);
        rig.pelto->setVersionESP(false, QString()); // no wireless version to verify
        rig.pelto->currentBuildIDReceived(ControlChannel::Answer, "build-1");
        mark = rig.link->sent.size();
        rig.pelto->pollPeltoState();
        QCOMPARE(controlCodes(*rig.link, mark), (QList<int>{ 64, 129, 100, 106 }));
    }

    void clockCorrection_data()
    {
        QTest::addColumn<int>("offsetSeconds");
        QTest::addColumn<bool>("corrected");
        QTest::newRow("6 s ahead") << 6 << true;
        QTest::newRow("6 s behind") << -6 << true;
        QTest::newRow("5 s ahead") << 5 << false;
        QTest::newRow("in time") << 0 << false;
    }

    void clockCorrection()
    {
        QFETCH(int, offsetSeconds);
        QFETCH(bool, corrected);
        Rig rig;
        rig.pelto->dateTimeReceived(ControlChannel::Answer,
                                    timeDate(QDateTime::currentDateTime().addSecs(offsetSeconds)));
        const QList<int> codes = controlCodes(*rig.link);
        QCOMPARE(codes.count(7), corrected ? 1 : 0);
        if (corrected) {
            const QByteArray payload = lastPayload(*rig.link, 7);
            QCOMPARE(payload.size(), 36);
            const auto sent = ControlChannel::TimeDate::fromBytes(payload.constData());
            const QDateTime sentTime(QDate(sent.year, sent.month, sent.dayOfMonth),
                                     QTime(sent.hour, sent.minute, sent.second));
            QVERIFY(qAbs(sentTime.secsTo(QDateTime::currentDateTime())) <= 2);
            QCOMPARE(sent.dayOfWeek, sentTime.date().dayOfWeek());
            QCOMPARE(sent.reserved, 0);
        }
    }

    void zeroClockRecordChangesNothing()
    {
        Rig rig;
        rig.pelto->dateTimeReceived(ControlChannel::NothingToReport, ControlChannel::TimeDate{});
        QVERIFY(!controlCodes(*rig.link).contains(7));
        QVERIFY(!rig.pelto->deviceTime().isValid());
    }

    void wifiAddress()
    {
        Rig rig;
        QSignalSpy changed(rig.pelto.get(), &Pelto::IpChanged);
        rig.pelto->setCurrentIP(ControlChannel::Answer, wifiIp({ 10, 1, 2, 3 }));
        QCOMPARE(rig.pelto->getIpAddress(), QStringLiteral("10.1.2.3"));
        QVERIFY(rig.pelto->isIpAvailable());
        rig.pelto->setCurrentIP(ControlChannel::Answer, wifiIp({ 10, 1, 2, 3 }));
        QCOMPARE(changed.size(), 1);
        rig.pelto->setCurrentIP(ControlChannel::NothingToReport, wifiIp({ 10, 9, 9, 9 }));
        QCOMPARE(changed.size(), 1);
        rig.pelto->setCurrentIP(ControlChannel::Answer, wifiIp({ 0, 0, 0, 0 }));
        QCOMPARE(changed.size(), 2);
        QVERIFY(rig.pelto->getIpAddress().isEmpty());
        QVERIFY(!rig.pelto->isIpAvailable());
        rig.pelto->setCurrentIP(
            ControlChannel::Answer,
            wifiIp({ 0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 }, true));
        QCOMPARE(rig.pelto->getIpAddress(), QStringLiteral("fe80::1"));
    }

    void bootFlags_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("messageStart"); // empty: no notification
        QTest::newRow("fallback wins over crash loop") << 0xA0 << "Pelto has started in fallback";
        QTest::newRow("crash loop") << 0x80 << "Pelto has disabled the running";
        QTest::newRow("in rollback") << 0x08 << "The Pelto has been rolled back";
        QTest::newRow("rolled back") << 0x10 << "The Pelto has been rolled back";
        QTest::newRow("firmware only") << 0x04 << "";
    }

    void bootFlags()
    {
        QFETCH(int, flags);
        QFETCH(QString, messageStart);
        Rig rig;
        rig.pelto->setSerialNumber(QStringLiteral("SN42"));
        ControlChannel::ImageDetails details;
        details.bytes[0] = uint8_t(flags);
        QSignalSpy runMode(rig.pelto.get(), &Pelto::RunModeChanged);
        rig.pelto->setImageDetails(ControlChannel::Answer, details);
        QCOMPARE(runMode.size(), 1);
        QCOMPARE(rig.pelto->isInFallback(), bool(flags & 0x20));
        QCOMPARE(rig.pelto->isInCrashLoop(), bool(flags & 0x80));
        QCOMPARE(rig.pelto->isInFirmware(), bool(flags & 0x04));
        const auto listed = notifications();
        QCOMPARE(listed.size(), messageStart.isEmpty() ? 0 : 1);
        if (!messageStart.isEmpty()) {
            QCOMPARE(listed[0]->getTitle(), QStringLiteral("Pelto boot error"));
            QVERIFY(listed[0]->getMessage().startsWith(messageStart));
            QCOMPARE(listed[0]->getOrigin(), QStringLiteral("SN42"));
            QCOMPARE(listed[0]->getLevel(), nimbrel::Error);
        }
    }

    void deviceMessages_data()
    {
        QTest::addColumn<bool>("kernel");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title"); // empty: no notification
        QTest::addColumn<QString>("message");
        QTest::newRow("app error") << false << 4 << "[motor] Motor fault"
                                   << "Error received from Pelto"
                                   << "Motor fault";
        QTest::newRow("app warning") << false << 3 << "[x] Low battery"
                                     << "Warning received from Pelto"
                                     << "Low battery";
        QTest::newRow("app critical") << false << 5 << "[x]Overheat"
                                      << "Critical error received from Pelto"
                                      << "Overheat";
        QTest::newRow("no tag keeps the text") << false << 4 << "Plain text"
                                               << "Error received from Pelto"
                                               << "Plain text";
        QTest::newRow("app info dropped") << false << 2 << "[x] info"
                                          << ""
                                          << "";
        QTest::newRow("kernel warning dropped") << true << 3 << "[k] warn"
                                                << ""
                                                << "";
        QTest::newRow("kernel error") << true << 4 << "[k] Bus error"
                                      << "Error received from Pelto"
                                      << "Bus error";
    }

    void deviceMessages()
    {
        QFETCH(bool, kernel);
        QFETCH(int, level);
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(QString, message);
        Rig rig;
        rig.pelto->handleErrorChannelServiceOpenedClosed(ControlChannel::Answer, true);
        ErrorChannel *channel = rig.pelto->errorChannel();
        QVERIFY(channel);
        if (kernel)
            emit channel->kernelMessageReceived(ErrorChannel::LogLevel(level), text);
        else
            emit channel->messageReceived(ErrorChannel::LogLevel(level), text);
        const auto listed = notifications();
        QCOMPARE(listed.size(), title.isEmpty() ? 0 : 1);
        if (!title.isEmpty()) {
            QCOMPARE(listed[0]->getTitle(), title);
            QCOMPARE(listed[0]->getMessage(), message);
            QCOMPARE(listed[0]->getSource(), AbstractNotification::Device);
        }
    }

    void crashedAppSwitchesMonitoringOff()
    {
        Rig rig;
        QSignalSpy status(rig.pelto.get(), &Pelto::AppStatusChanged);
        rig.pelto->appStateReceived(ControlChannel::Answer, ControlChannel::Running);
        rig.pelto->appStateReceived(ControlChannel::Answer, ControlChannel::Crashed);
        QCOMPARE(controlCodes(*rig.link), QList<int>{ 10 });
        QCOMPARE(lastPayload(*rig.link, 10), QByteArray(1, '\0'));
        rig.pelto->appStateReceived(ControlChannel::Answer, ControlChannel::Crashed);
        rig.pelto->appStateReceived(ControlChannel::Failure, ControlChannel::Running);
        QCOMPARE(status.size(), 2);
        QCOMPARE(rig.pelto->getAppRunningState(), ControlChannel::Crashed);
        QVERIFY(rig.pelto->isAppStateSafeForDownload());
    }

    void nameIsReadWithinItsField()
    {
        Rig rig;
        ControlChannel::WifiSettings settings;
        settings.bytes.fill('A'); // no zero byte anywhere
        QSignalSpy named(rig.pelto.get(), &OrvDevice::NameChanged);
        rig.pelto->wifiSettingsReceived(ControlChannel::Answer, settings);
        QCOMPARE(rig.pelto->getName(), QString(32, QLatin1Char('A')));
        rig.pelto->wifiSettingsReceived(ControlChannel::Answer, settings);
        QCOMPARE(named.size(), 1);
    }

    void disconnectDropsServices()
    {
        Rig rig;
        rig.connect();
        rig.pelto->handleErrorChannelServiceOpenedClosed(ControlChannel::Answer, true);
        QPointer<ErrorChannel> channel = rig.pelto->errorChannel();
        QSignalSpy status(rig.pelto.get(), &Pelto::AppStatusChanged);
        rig.pelto->setProperty("isConnected", false);
        QCOMPARE(status.size(), 1);
        QCOMPARE(rig.pelto->getAppRunningState(), ControlChannel::Unknown);
        QVERIFY(!rig.pelto->errorChannel());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(channel.isNull());
    }

    // The update service lives from the device's "open" to its "closed" or the connection's end;
    // a firmware file waits for it and is started once.
    void updateServiceLifetimeAndPendingFirmware()
    {
        QTemporaryDir dir(testRoot() + QStringLiteral("/fw-XXXXXX"));
        const QString path = dir.filePath(QStringLiteral("os.fwb"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(2001, 'x'));
        file.close();

        Rig rig;
        rig.connect();
        rig.link->sent.clear();
        QSignalSpy opened(rig.pelto.get(), &Pelto::UpdateServiceOpenedClosed);
        rig.pelto->tempUploadFirmware(QUrl::fromLocalFile(path));
        QCOMPARE(controlCodes(*rig.link), QList<int>{ 9 });
        QCOMPARE(lastPayload(*rig.link, 9), QByteArray(1, '\1'));
        QCOMPARE(updateMessages(*rig.link), QList<QByteArray>{});

        // A refused answer creates nothing and keeps the file waiting.
        rig.pelto->handleUpdateServiceOpenedClosed(ControlChannel::Failure, true);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.last().at(0).value<SoftwareUpdate *>(), nullptr);
        QVERIFY(!rig.pelto->pendingFirmwareUrl().isEmpty());

        rig.pelto->handleUpdateServiceOpenedClosed(ControlChannel::Answer, true);
        QPointer<SoftwareUpdate> service = rig.pelto->updateService();
        QVERIFY(service);
        QCOMPARE(opened.last().at(0).value<SoftwareUpdate *>(), service.data());
        QCOMPARE(updateMessages(*rig.link).size(), 1);
        QVERIFY(updateMessages(*rig.link).first().startsWith(updateHeader(2, 8)));
        QCOMPARE(qFromLittleEndian<quint32>(updateMessages(*rig.link).first().constData() + 12),
                 2004u);
        QCOMPARE(rig.pelto->pendingFirmwareUrl(), QString());

        // A second "open" keeps the service and starts nothing.
        rig.pelto->handleUpdateServiceOpenedClosed(ControlChannel::Answer, true);
        QCOMPARE(rig.pelto->updateService(), service.data());
        QCOMPARE(updateMessages(*rig.link).size(), 1);

        // With the service open a file starts at once, without asking the device again.
        rig.link->sent.clear();
        rig.pelto->tempUploadFirmware(QUrl::fromLocalFile(path));
        QCOMPARE(controlCodes(*rig.link), QList<int>{});
        QCOMPARE(updateMessages(*rig.link).size(), 1);

        // Progress, the wireless version and the reconnection wish reach the Pelto.
        QSignalSpy progress(rig.pelto.get(), &Pelto::UpdateProgressChanged);
        QSignalSpy reconnect(rig.pelto.get(), &OrvDevice::AddToAutoConnectSignal);
        rig.link->injectFrame(4, updateHeader(2, 0));
        QCOMPARE(progress.size(), 1);
        QCOMPARE(rig.pelto->getUpdatePercentage(), progress.last().at(0).toFloat());
        QVERIFY(rig.pelto->getUpdatePercentage() > 0.4f);
        rig.link->injectFrame(4, updateHeader(5, 0));
        QCOMPARE(reconnect.size(), 1);
        QCOMPARE(reconnect.last().at(1).value<AbstractDataLink::LinkType>(), AbstractDataLink::USB);
        emit service->SetVersionESPReceived(true, QStringLiteral("4.5.6"));
        QCOMPARE(rig.pelto->getVersionESP(), QStringLiteral("4.5.6"));

        rig.pelto->handleUpdateServiceOpenedClosed(ControlChannel::Answer, false);
        QCOMPARE(opened.last().at(0).value<SoftwareUpdate *>(), nullptr);
        QCOMPARE(rig.pelto->updateService(), nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(service.isNull());

        // Losing the connection disposes of a reopened service without a signal.
        rig.pelto->handleUpdateServiceOpenedClosed(ControlChannel::Answer, true);
        service = rig.pelto->updateService();
        QVERIFY(service);
        const qsizetype signalCount = opened.size();
        rig.pelto->setProperty("isConnected", false);
        QCOMPARE(rig.pelto->updateService(), nullptr);
        QCOMPARE(opened.size(), signalCount);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(service.isNull());
    }

    void secondWifiLinkIsNotKept()
    {
        Rig rig;
        WifiDatalinkSettings settings;
        settings.streamPort = 1; // nothing listens; the link is never used
        settings.localUdpPort = 0;
        rig.pelto->setWifiLinkSettings(settings);
        QVERIFY(rig.pelto->wifiConnect(QStringLiteral("127.0.0.1")));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("already has a Wi-Fi link")));
        QVERIFY(!rig.pelto->wifiConnect(QStringLiteral("127.0.0.1")));
        QCOMPARE(rig.pelto->findChildren<WifiDatalink *>().size(), 1);
    }

    void identityIsLearntOnce()
    {
        OrvDevice device(static_cast<QObject *>(nullptr));
        QSignalSpy info(&device, &OrvDevice::DeviceInfoUpdated);
        auto *manager = device.property("datalinkManager").value<DatalinkManager *>();
        emit manager->deviceInfoReceived(QStringLiteral("SN1"), dlComm::Type(1),
                                         AbstractDataLink::USB, 13);
        emit manager->deviceInfoReceived(QStringLiteral("SN2"), dlComm::Type(2),
                                         AbstractDataLink::USB, 15);
        QCOMPARE(info.size(), 1);
        QCOMPARE(device.getSerialNumber(), QStringLiteral("SN1"));
        QCOMPARE(device.getDeviceType(), OrvDevice::Pelto);
        QCOMPARE(device.getExtendedDeviceType(), orvdevice::Torvik);

        device.setProperty("isConnected", true);
        Pelto pelto(&device);
        QCOMPARE(pelto.getSerialNumber(), QStringLiteral("SN1"));
        QVERIFY(pelto.getIsConnected());
        QVERIFY(pelto.getName().isEmpty());
        QVERIFY(!pelto.isFirmwareVerified());
        QCOMPARE(device.addDatalink(new FakeDataLink(AbstractDataLink::USB, &device)), -1);
        QCOMPARE(manager->parent(), &pelto);
    }
};

QTEST_GUILESS_MAIN(TestPelto)
#include "tst_pelto.moc"
