#include "ManagerTestRig.h"

#include "ErrorHandler.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace nimbrel::test;
using namespace managertest;

namespace {

// A USB link whose destruction reports Invalid once more, as the USB transport does.
class InvalidOnDestructionLink : public FakeDataLink
{
public:
    InvalidOnDestructionLink()
        : FakeDataLink(USB)
    { }
    ~InvalidOnDestructionLink() override { injectState(Invalid); }
};

} // namespace

// The link manager's links: adoption and removal, the connection sequence up to the device's
// identity, the loss of the last link, the fan-out of received frames and the write path. The
// active link (set interface, heartbeats, watchdog) is tst_datalinkManagerActiveLink's.
class TestDatalinkManager : public QObject
{
    Q_OBJECT

private slots:
    void identityIsRandomPrintable();
    void addAndRemoveLinks();
    void connectSequenceReportsDeviceOnce();
    void deviceInfoTimeoutReportsUnavailableOnce();
    void lastLinkLossReportedOnce_data();
    void lastLinkLossReportedOnce();
    void staleStateOfReplacedLinkIsIgnored();
    void dataReadyFansOutEveryFrame();
    void writePath_data();
    void writePath();
    void wifiKeyExchangeAndSelfTimeout();
    void unsupportedVersionNotifiesOncePerDevice();
};

void TestDatalinkManager::identityIsRandomPrintable()
{
    DatalinkManager a;
    DatalinkManager b;
    const QByteArray idA = a.commChannel()->heartbeatMessage().mid(20, 32);
    const QByteArray idB = b.commChannel()->heartbeatMessage().mid(20, 32);
    QCOMPARE(idA.at(31), '\0');
    for (char c : idA.left(31))
        QVERIFY(c >= 32 && c <= 125);
    QVERIFY(idA != idB);
}

void TestDatalinkManager::addAndRemoveLinks()
{
    DatalinkManager manager;
    QSignalSpy usbStates(&manager, &DatalinkManager::usbLinkStateChanged);
    QSignalSpy wifiStates(&manager, &DatalinkManager::wifiLinkStateChanged);

    auto *usb = new FakeDataLink(AbstractDataLink::USB);
    QCOMPARE(manager.addDatalink(usb), 0);
    QCOMPARE(usb->parent(), &manager);
    QCOMPARE(usb->startReadingCalls, 1);
    QCOMPARE(manager.getDatalink(AbstractDataLink::USB), usb);
    QCOMPARE(manager.getUsbLinkState(), AbstractDataLink::Created);
    QCOMPARE(usbStates.size(), 1);

    FakeDataLink second(AbstractDataLink::USB);
    QCOMPARE(manager.addDatalink(&second), -1);
    QCOMPARE(manager.getDatalink(AbstractDataLink::USB), usb);
    QCOMPARE(second.parent(), nullptr);
    QCOMPARE(second.startReadingCalls, 0);

    auto *wifi = new FakeWifiLink;
    QCOMPARE(manager.addDatalink(wifi), 0);
    QCOMPARE(manager.getDatalink(AbstractDataLink::WiFi), wifi);
    QCOMPARE(wifiStates.size(), 1);
    FakeDataLink bt(AbstractDataLink::Bluetooth);
    QCOMPARE(manager.addDatalink(&bt), 0);
    QCOMPARE(bt.parent(), nullptr);
    QCOMPARE(manager.getBtLinkState(), AbstractDataLink::NotAvailable);

    QPointer<FakeDataLink> usbGuard(usb);
    QCOMPARE(manager.removeDatalink(AbstractDataLink::USB), 0);
    QCOMPARE(manager.getDatalink(AbstractDataLink::USB), nullptr);
    QCOMPARE(manager.getUsbLinkState(), AbstractDataLink::NotAvailable);
    QVERIFY(waitFor([&] { return usbGuard.isNull(); }, 2000)); // deleted later
    QCOMPARE(manager.getDatalink(AbstractDataLink::WiFi), wifi);
}

void TestDatalinkManager::connectSequenceReportsDeviceOnce()
{
    DatalinkManager manager;
    manager.setTimings(fast());
    QSignalSpy info(&manager, &DatalinkManager::deviceInfoReceived);
    QSignalSpy unavailable(&manager, &DatalinkManager::deviceNotAvailable);
    auto *usb = new FakeDataLink(AbstractDataLink::USB);
    usb->connectOnStart = true;
    manager.addDatalink(usb);

    // Connected arrives queued; the device-info request goes directly on that link.
    QVERIFY(waitFor([&] { return !messagesOn(usb).isEmpty(); }, 2000));
    const QList<QByteArray> requests = messagesOn(usb);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().size(), 68);
    QCOMPARE(requests.first().mid(12), manager.commChannel()->heartbeatMessage());
    QCOMPARE(manager.getLastConnectedLinkType(), AbstractDataLink::USB);

    usb->injectFrame(0, devmsg::heartbeat(1, "PX0001", 1, false, 1, 12));
    QVERIFY(waitFor([&] { return info.size() == 1; }, 2000));
    QCOMPARE(info.first().at(0).toString(), QString("PX0001"));
    QCOMPARE(int(info.first().at(1).value<dlComm::Type>()), 1);
    QCOMPARE(info.first().at(2).value<AbstractDataLink::LinkType>(), AbstractDataLink::USB);
    QCOMPARE(info.first().at(3).toInt(), 12);
    QCOMPARE(manager.datalinkVersion(), 1);

    QSignalSpy heartbeats(manager.commChannel(), &DatalinkCommChannel::HeartbeatReceived);
    usb->injectFrame(0, devmsg::heartbeat(1, "OTHER", 2, false, 1, 3));
    QVERIFY(heartbeats.wait(scaled(2000)));
    // Well past the device-info time-out: the timer was stopped.
    QTest::qWait(quietPeriod(fast().deviceInfoTimeoutMs));
    QCOMPARE(info.size(), 1);
    QCOMPARE(unavailable.size(), 0);
}

void TestDatalinkManager::deviceInfoTimeoutReportsUnavailableOnce()
{
    DatalinkManager manager;
    manager.setTimings(fast());
    QSignalSpy unavailable(&manager, &DatalinkManager::deviceNotAvailable);
    auto *usb = new FakeDataLink(AbstractDataLink::USB);
    usb->connectOnStart = true;
    QElapsedTimer clock;
    clock.start();
    manager.addDatalink(usb);
    QVERIFY(unavailable.wait(scaled(2000)));
    // Not before its time (a coarse timer may be up to 5 % early), and only once.
    QVERIFY2(clock.elapsed() >= fast().deviceInfoTimeoutMs * 95 / 100,
             qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(quietPeriod(fast().deviceInfoTimeoutMs));
    QCOMPARE(unavailable.size(), 1);
}

void TestDatalinkManager::lastLinkLossReportedOnce_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Wi-Fi link fails") << 0;
    QTest::newRow("Wi-Fi link reports Invalid twice") << 1;
    QTest::newRow("USB link reports Invalid again while destroyed") << 2;
    QTest::newRow("held link deleted by someone else") << 3;
}

void TestDatalinkManager::lastLinkLossReportedOnce()
{
    QFETCH(int, how);
    DatalinkManager manager;
    manager.setTimings(steady());
    QSignalSpy connected(&manager, &DatalinkManager::isConnected);
    QSignalSpy unavailable(&manager, &DatalinkManager::deviceNotAvailable);
    QSignalSpy wifiStates(&manager, &DatalinkManager::wifiLinkStateChanged);

    FakeDataLink *link = nullptr;
    if (how == 2) {
        link = new InvalidOnDestructionLink;
    } else {
        link = new FakeWifiLink;
    }
    QPointer<FakeDataLink> guard(link);
    const AbstractDataLink::LinkType type = link->getLinkType();
    manager.addDatalink(link);
    switch (how) {
    case 0:
    case 2:
        link->injectState(AbstractDataLink::Invalid);
        break;
    case 1:
        link->injectState(AbstractDataLink::Invalid);
        link->injectState(AbstractDataLink::Invalid);
        break;
    case 3:
        delete link;
        break;
    }
    QVERIFY(waitFor([&] { return unavailable.size() == 1; }, 2000));
    QVERIFY(waitFor([&] { return guard.isNull(); }, 2000));
    // State changes the link reported last (while it was destroyed, too) are handled now.
    QCoreApplication::sendPostedEvents();
    QCOMPARE(unavailable.size(), 1);
    QCOMPARE(connected.size(), 1);
    QVERIFY(!connected.first().at(0).toBool());
    QCOMPARE(manager.getDatalink(type), nullptr);
    if (how == 0)
        QCOMPARE(wifiStates.last().at(0).value<AbstractDataLink::DatalinkState>(),
                 AbstractDataLink::Invalid);

    // A new link makes the next loss reportable again.
    auto *again = new FakeDataLink(AbstractDataLink::USB);
    manager.addDatalink(again);
    again->injectState(AbstractDataLink::Invalid);
    QVERIFY(waitFor([&] { return unavailable.size() == 2; }, 2000));
}

void TestDatalinkManager::staleStateOfReplacedLinkIsIgnored()
{
    DatalinkManager manager;
    manager.setTimings(steady());
    QSignalSpy unavailable(&manager, &DatalinkManager::deviceNotAvailable);
    auto *old = new FakeDataLink(AbstractDataLink::USB);
    manager.addDatalink(old);
    old->injectState(AbstractDataLink::Invalid); // queued, not handled yet
    manager.removeDatalink(AbstractDataLink::USB);
    QCOMPARE(unavailable.size(), 1);
    auto *fresh = new FakeDataLink(AbstractDataLink::USB);
    QCOMPARE(manager.addDatalink(fresh), 0);
    QCoreApplication::sendPostedEvents(); // the old link's Invalid arrives now
    QCOMPARE(manager.getDatalink(AbstractDataLink::USB), fresh);
    QCOMPARE(unavailable.size(), 1);
}

void TestDatalinkManager::dataReadyFansOutEveryFrame()
{
    DatalinkManager manager;
    auto *usb = new FakeDataLink(AbstractDataLink::USB);
    auto *wifi = new FakeWifiLink;
    manager.addDatalink(usb);
    manager.addDatalink(wifi);
    QSignalSpy first(&manager, &DatalinkManager::DataReady);
    QSignalSpy second(&manager, &DatalinkManager::DataReady);
    usb->injectFrame(1, "control");
    wifi->injectFrame(9, "files");
    usb->injectFrame(0, devmsg::setInterfaceReply(1, 1, false));
    for (QSignalSpy *spy : { &first, &second }) {
        QCOMPARE(spy->size(), 3);
        QCOMPARE(spy->at(0).at(0).toUInt(), 1u);
        QCOMPARE(spy->at(0).at(1).toByteArray(), QByteArray("control"));
        QCOMPARE(spy->at(1).at(0).toUInt(), 9u);
        QCOMPARE(spy->at(1).at(1).toByteArray(), QByteArray("files"));
        QCOMPARE(spy->at(2).at(0).toUInt(), 0u);
    }
}

void TestDatalinkManager::writePath_data()
{
    QTest::addColumn<int>("target"); // -1: write() on the active link
    QTest::addColumn<int>("payloadSize");
    QTest::addColumn<bool>("activate");
    QTest::addColumn<bool>("sent");

    QTest::newRow("write on the active link") << -1 << 10 << true << true;
    QTest::newRow("write without active link is dropped") << -1 << 10 << false << false;
    QTest::newRow("empty payload") << int(AbstractDataLink::USB) << 0 << false << true;
    QTest::newRow("1018 bytes fill one frame")
        << int(AbstractDataLink::USB) << 1018 << false << true;
    QTest::newRow("1019 bytes are refused") << int(AbstractDataLink::USB) << 1019 << false << false;
    QTest::newRow("write on active link refuses 4096 bytes") << -1 << 4096 << true << false;
    QTest::newRow("absent Wi-Fi link drops") << int(AbstractDataLink::WiFi) << 10 << false << false;
    QTest::newRow("type None drops") << int(AbstractDataLink::None) << 10 << false << false;
}

void TestDatalinkManager::writePath()
{
    QFETCH(int, target);
    QFETCH(int, payloadSize);
    QFETCH(bool, activate);
    QFETCH(bool, sent);

    DatalinkManager manager;
    manager.setTimings({ scaled(10000), scaled(20000), scaled(10000) });
    FakeDataLink *usb = nullptr;
    if (activate) {
        usb = activateUsb(manager);
        QVERIFY(usb);
    } else {
        usb = new FakeDataLink(AbstractDataLink::USB);
        manager.addDatalink(usb);
    }
    usb->sent.clear();

    QByteArray payload(payloadSize, Qt::Uninitialized);
    for (int i = 0; i < payloadSize; ++i)
        payload[i] = char(i * 13 + 1);
    if (payloadSize > 1018)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Refusing to send"));
    if (target < 0)
        manager.write(5, false, payload);
    else
        manager.writeToLink(5, false, payload, AbstractDataLink::LinkType(target));

    QCOMPARE(usb->sent.size(), sent ? 1 : 0);
    if (!sent)
        return;
    const FakeDataLink::SentFrame &f = usb->sent.first();
    QCOMPARE(f.channel, uint16_t(5));
    QVERIFY(!f.isReliable);
    const int length = payloadSize + 6;
    QCOMPARE(f.frame.left(6).toHex(' '),
             QByteArray("cd ab 05 00 ")
                 + QByteArray::number(length & 0xFF, 16).rightJustified(2, '0') + ' '
                 + QByteArray::number(length >> 8, 16).rightJustified(2, '0'));
    QCOMPARE(f.frame.mid(6), payload);
}

void TestDatalinkManager::wifiKeyExchangeAndSelfTimeout()
{
    DatalinkManager manager;
    manager.setTimings(steady());
    auto *wifi = new FakeWifiLink;
    manager.addDatalink(wifi);

    emit wifi->requestAesKeys();
    const QList<QByteArray> requests = messagesOn(wifi, 3);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().size(), 12);

    wifi->injectFrame(0, devmsg::keyReply(1, QByteArray(32, 'k'), QByteArray(16, 'v')));
    QVERIFY(waitFor([&] { return !wifi->key.isEmpty(); }, 2000));
    QCOMPARE(wifi->key, QByteArray(32, 'k'));
    QCOMPARE(wifi->iv, QByteArray(16, 'v'));

    // A link without the key exchange is wired without complaint.
    auto *usb = new FakeDataLink(AbstractDataLink::USB);
    QCOMPARE(manager.addDatalink(usb), 0);
}

void TestDatalinkManager::unsupportedVersionNotifiesOncePerDevice()
{
    ErrorHandler *hub = ErrorHandler::instance();
    hub->clearNotifications();
    for (int device = 0; device < 2; ++device) {
        DatalinkManager manager;
        manager.setTimings(steady());
        auto *usb = new FakeDataLink(AbstractDataLink::USB);
        manager.addDatalink(usb);
        QSignalSpy info(&manager, &DatalinkManager::deviceInfoReceived);
        QSignalSpy unsupported(manager.commChannel(),
                               &DatalinkCommChannel::unsupportedDeviceConnected);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Unsupported device connected"));
        // The hub logs the notification itself.
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("Unsupported device"));
        for (int i = 0; i < 4; ++i)
            usb->injectFrame(0, devmsg::heartbeat(2, "PX9", 1, true, 1, 0));
        QVERIFY(waitFor([&] { return unsupported.size() == 4; }, 2000));
        QCOMPARE(info.size(), 0);
        QCOMPARE(manager.datalinkVersion(), 2);
        const NotificationList list = hub->getNotificationList();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.first()->getTitle(), QString("Unsupported device"));
        QCOMPARE(list.first()->getMessage(),
                 QString("Unsupported device connected: Invalid datalink version.\n\nPlease "
                         "update your Nimbrel Lab to the latest version."));
        QCOMPARE(list.first()->getLevel(), nimbrel::Error);
        QCOMPARE(list.first()->getSource(), AbstractNotification::NimbrelLab);
        QVERIFY(list.first()->getOrigin().isEmpty());
        hub->clearNotifications(); // the user dismissed it; the next device raises its own
    }
}

QTEST_GUILESS_MAIN(TestDatalinkManager)
#include "tst_datalinkManager.moc"
