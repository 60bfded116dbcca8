#include "ManagerTestRig.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace nimbrel::test;
using namespace managertest;

// The link manager's active link: the set-interface exchange with the device, the heartbeat that
// keeps the active link alive and the watchdog that ends it.
class TestDatalinkManagerActiveLink : public QObject
{
    Q_OBJECT

private slots:
    void setInterfaceFlow();
    void refusedOrUnknownReplyChangesNothing();
    void setInterfaceReplyNeedsItsRequest_data();
    void setInterfaceReplyNeedsItsRequest();
    void heartbeatsKeepActiveLinkAlive();
    void watchdogTimeoutEndsActiveLink();
    void watchdogTimeoutWithoutActiveLink();
    void inactiveHeartbeatOnActiveLinkDisconnects();
    void deactivateStopsWatchdog();
};

void TestDatalinkManagerActiveLink::setInterfaceFlow()
{
    DatalinkManager manager;
    manager.setTimings(steady());
    QSignalSpy active(&manager, &DatalinkManager::activeLinkTypeChanged);
    QSignalSpy connected(&manager, &DatalinkManager::isConnected);
    QSignalSpy wifiDone(&manager, &DatalinkManager::wifiConnectionCompleted);
    auto *usb = new FakeDataLink(AbstractDataLink::USB);
    auto *wifi = new FakeWifiLink;
    manager.addDatalink(usb);
    manager.addDatalink(wifi);

    // Without an active link: heartbeat starts, the request goes directly on the requested link.
    manager.setActiveDatalinkConnection(AbstractDataLink::USB);
    QCOMPARE(manager.getActiveLinkType(), AbstractDataLink::None);
    QVERIFY(manager.commChannel()->isHeartbeatRunning());
    QVERIFY(manager.commChannel()->isWatchdogRunning());
    QList<QByteArray> sets = messagesOn(usb, 1);
    QCOMPARE(sets.size(), 1);
    QCOMPARE(u16(sets.first(), 44), quint16(AbstractDataLink::USB));
    QCOMPARE(messagesOn(usb, 0).size(), 0); // the first heartbeat had no active link
    QCOMPARE(wifi->selfTimeoutArmed, QList<bool>{ true });

    usb->injectFrame(0, devmsg::setInterfaceReply(1, AbstractDataLink::USB, true));
    QVERIFY(waitFor([&] { return active.size() == 1; }, 2000));
    QCOMPARE(manager.getActiveLinkType(), AbstractDataLink::USB);
    QCOMPARE(connected.size(), 1);
    QVERIFY(connected.first().at(0).toBool());
    QCOMPARE(usb->activeChanges, QList<AbstractDataLink::LinkType>{ AbstractDataLink::USB });
    QCOMPARE(wifi->activeChanges, QList<AbstractDataLink::LinkType>{ AbstractDataLink::USB });
    QVERIFY(waitFor([&] { return messagesOn(usb, 0).size() >= 3; }, 2000)); // heartbeats flow
    QCOMPARE(messagesOn(usb, 0).first(), manager.commChannel()->heartbeatMessage());

    // Switching: the request for Wi-Fi travels on the active USB link.
    manager.setActiveDatalinkConnection(AbstractDataLink::WiFi);
    sets = messagesOn(usb, 1);
    QCOMPARE(sets.size(), 2);
    QCOMPARE(u16(sets.last(), 44), quint16(AbstractDataLink::WiFi));
    QCOMPARE(messagesOn(wifi, 1).size(), 0);
    QCOMPARE(wifi->selfTimeoutArmed.last(), false);
    usb->injectFrame(0, devmsg::setInterfaceReply(1, AbstractDataLink::WiFi, true));
    QVERIFY(waitFor([&] { return active.size() == 2; }, 2000));
    QCOMPARE(wifiDone.size(), 1);
    QCOMPARE(manager.getActiveLinkType(), AbstractDataLink::WiFi);
    const qsizetype wifiHeartbeats = messagesOn(wifi, 0).size();
    QVERIFY(waitFor([&] { return messagesOn(wifi, 0).size() > wifiHeartbeats; }, 2000));

    // Asking for the active link again sends nothing.
    const qsizetype before = messagesOn(wifi, 1).size() + messagesOn(usb, 1).size();
    manager.setActiveDatalinkConnection(AbstractDataLink::WiFi);
    QCOMPARE(messagesOn(wifi, 1).size() + messagesOn(usb, 1).size(), before);
}

void TestDatalinkManagerActiveLink::refusedOrUnknownReplyChangesNothing()
{
    DatalinkManager manager;
    manager.setTimings(steady());
    QSignalSpy active(&manager, &DatalinkManager::activeLinkTypeChanged);
    QSignalSpy replies(manager.commChannel(), &DatalinkCommChannel::SetActiveDatalinkReceived);
    auto *usb = new FakeDataLink(AbstractDataLink::USB);
    manager.addDatalink(usb);
    manager.setActiveDatalinkConnection(AbstractDataLink::USB);
    usb->injectFrame(0, devmsg::setInterfaceReply(1, AbstractDataLink::USB, false));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("Ignoring set-interface reply for unknown datalink"));
    usb->injectFrame(0, devmsg::setInterfaceReply(1, 7, true));
    QVERIFY(waitFor([&] { return replies.size() == 2; }, 2000));
    QCOMPARE(active.size(), 0);
    QCOMPARE(manager.getActiveLinkType(), AbstractDataLink::None);
}

void TestDatalinkManagerActiveLink::setInterfaceReplyNeedsItsRequest_data()
{
    QTest::addColumn<bool>("withUsb"); // a USB link is held besides the active Wi-Fi link
    QTest::addColumn<int>("request"); // the link the host asks for next; -1: it asks nothing
    QTest::addColumn<bool>("usbGoesFirst"); // the USB link is removed before the answer arrives
    QTest::addColumn<int>("replyLink");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("activeAfter");
    QTest::addColumn<bool>("ignored");

    const int none = AbstractDataLink::None;
    const int usb = AbstractDataLink::USB;
    const int wifi = AbstractDataLink::WiFi;
    QTest::newRow("USB accepted while no USB link is held")
        << false << -1 << false << usb << true << wifi << true;
    QTest::newRow("USB accepted, never asked")
        << true << -1 << false << usb << true << wifi << true;
    QTest::newRow("None accepted, never asked")
        << false << -1 << false << none << true << wifi << true;
    QTest::newRow("None refused, never asked")
        << false << -1 << false << none << false << wifi << true;
    QTest::newRow("Wi-Fi accepted while USB was asked for")
        << true << usb << false << wifi << true << wifi << true;
    QTest::newRow("USB accepted after the USB link went")
        << true << usb << true << usb << true << wifi << true;
    QTest::newRow("USB accepted as asked") << true << usb << false << usb << true << usb << false;
    QTest::newRow("USB refused as asked") << true << usb << false << usb << false << wifi << false;
    QTest::newRow("None accepted as asked")
        << false << none << false << none << true << none << false;
}

// The device's set-interface reply names a link. Taken without a request for that link, or for a
// link the host does not hold, it would point the active link at nothing: heartbeats and every
// service's writes would go nowhere while the device still read as connected.
void TestDatalinkManagerActiveLink::setInterfaceReplyNeedsItsRequest()
{
    QFETCH(bool, withUsb);
    QFETCH(int, request);
    QFETCH(bool, usbGoesFirst);
    QFETCH(int, replyLink);
    QFETCH(bool, accepted);
    QFETCH(int, activeAfter);
    QFETCH(bool, ignored);

    DatalinkManager manager;
    manager.setTimings(steady());
    auto *wifi = new FakeWifiLink;
    wifi->connectOnStart = true;
    manager.addDatalink(wifi);
    wifi->injectFrame(0, devmsg::heartbeat(1, "PX1", 1, false, AbstractDataLink::WiFi, 0));
    QVERIFY(waitFor([&] { return manager.isDeviceInfoReported(); }, 2000));
    manager.setActiveDatalinkConnection(AbstractDataLink::WiFi);
    wifi->injectFrame(0, devmsg::setInterfaceReply(1, AbstractDataLink::WiFi, true));
    QVERIFY(waitFor([&] { return manager.getActiveLinkType() == AbstractDataLink::WiFi; }, 2000));
    if (withUsb)
        manager.addDatalink(new FakeDataLink(AbstractDataLink::USB));
    if (request >= 0)
        manager.setActiveDatalinkConnection(AbstractDataLink::LinkType(request));
    if (usbGoesFirst)
        manager.removeDatalink(AbstractDataLink::USB);

    QSignalSpy active(&manager, &DatalinkManager::activeLinkTypeChanged);
    QSignalSpy connected(&manager, &DatalinkManager::isConnected);
    QSignalSpy replies(manager.commChannel(), &DatalinkCommChannel::SetActiveDatalinkReceived);
    const QRegularExpression warning("Ignoring set-interface reply");
    if (ignored)
        QTest::ignoreMessage(QtWarningMsg, warning);
    else
        QTest::failOnWarning(warning);
    wifi->injectFrame(0, devmsg::setInterfaceReply(1, quint16(replyLink), accepted));
    QVERIFY(replies.wait(scaled(2000)));

    QCOMPARE(int(manager.getActiveLinkType()), activeAfter);
    const bool switched = !ignored && accepted;
    QCOMPARE(active.size(), switched ? 1 : 0);
    QCOMPARE(connected.size(), switched ? 1 : 0);
    if (switched)
        QCOMPARE(connected.first().at(0).toBool(), activeAfter != AbstractDataLink::None);
    if (activeAfter == AbstractDataLink::WiFi) {
        // Heartbeats still reach the device on the link it really uses.
        const qsizetype sent = messagesOn(wifi, 0).size();
        QVERIFY(waitFor([&] { return messagesOn(wifi, 0).size() > sent + 1; }, 2000));
    }

    if (!ignored) {
        // The request has had its answer: a second copy is not another one.
        QTest::ignoreMessage(QtWarningMsg, warning);
        wifi->injectFrame(0, devmsg::setInterfaceReply(1, quint16(replyLink), accepted));
        QVERIFY(replies.wait(scaled(2000)));
        QCOMPARE(int(manager.getActiveLinkType()), activeAfter);
        QCOMPARE(active.size(), switched ? 1 : 0);
    }
}

// Device heartbeats every fifth of the watchdog time carry the link through two and a half
// watchdog times; only a pause of a whole watchdog time between two of them could end it.
void TestDatalinkManagerActiveLink::heartbeatsKeepActiveLinkAlive()
{
    const int watchdog = scaled(1500);
    DatalinkManager manager;
    manager.setTimings({ 40, watchdog, scaled(60000) });
    FakeDataLink *usb = activateUsb(manager);
    QVERIFY(usb);
    QSignalSpy disconnect(&manager, &DatalinkManager::DisconnectDatalinkSignal);
    QSignalSpy heartbeats(manager.commChannel(), &DatalinkCommChannel::HeartbeatReceived);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < watchdog * 5 / 2) {
        usb->injectFrame(0, devmsg::heartbeat(1, "PX1", 1, true, 1, 0));
        QVERIFY(heartbeats.wait(scaled(2000)));
        QTest::qWait(watchdog / 5);
    }
    QCOMPARE(disconnect.size(), 0);
    QCOMPARE(manager.getDatalink(AbstractDataLink::USB), usb);
}

void TestDatalinkManagerActiveLink::watchdogTimeoutEndsActiveLink()
{
    DatalinkManager manager;
    manager.setTimings(fast());
    FakeDataLink *usb = activateUsb(manager);
    QVERIFY(usb);
    QPointer<FakeDataLink> guard(usb);
    QSignalSpy disconnect(&manager, &DatalinkManager::DisconnectDatalinkSignal);
    QSignalSpy connected(&manager, &DatalinkManager::isConnected);
    QSignalSpy unavailable(&manager, &DatalinkManager::deviceNotAvailable);
    QSignalSpy active(&manager, &DatalinkManager::activeLinkTypeChanged);

    QTest::ignoreMessage(QtWarningMsg, "Heartbeat Timeout");
    QVERIFY(waitFor([&] { return disconnect.size() == 1; }, 3000));
    QVERIFY(waitFor([&] { return guard.isNull(); }, 2000));
    QCOMPARE(manager.getDatalink(AbstractDataLink::USB), nullptr);
    QCOMPARE(manager.getActiveLinkType(), AbstractDataLink::None);
    QCOMPARE(active.size(), 1);
    QCOMPARE(connected.size(), 1);
    QVERIFY(!connected.first().at(0).toBool());
    QCOMPARE(unavailable.size(), 1);
    QVERIFY(!manager.isDeviceInfoReported());
    QVERIFY(!manager.commChannel()->isWatchdogRunning());
    QTest::qWait(quietPeriod(fast().watchdogTimeoutMs));
    QCOMPARE(disconnect.size(), 1);
    QCOMPARE(unavailable.size(), 1);
}

void TestDatalinkManagerActiveLink::watchdogTimeoutWithoutActiveLink()
{
    DatalinkManager manager;
    manager.setTimings(fast());
    auto *usb = new FakeDataLink(AbstractDataLink::USB);
    manager.addDatalink(usb);
    QSignalSpy disconnect(&manager, &DatalinkManager::DisconnectDatalinkSignal);
    QSignalSpy connected(&manager, &DatalinkManager::isConnected);
    manager.setActiveDatalinkConnection(AbstractDataLink::USB); // the device never answers
    QTest::ignoreMessage(QtWarningMsg, "Heartbeat Timeout");
    QVERIFY(waitFor([&] { return disconnect.size() == 1; }, 3000));
    QCOMPARE(connected.size(), 1);
    QVERIFY(!connected.first().at(0).toBool());
    QCOMPARE(manager.getDatalink(AbstractDataLink::USB), usb); // nothing active to remove
}

void TestDatalinkManagerActiveLink::inactiveHeartbeatOnActiveLinkDisconnects()
{
    DatalinkManager manager;
    manager.setTimings(steady());
    FakeDataLink *usb = activateUsb(manager);
    QVERIFY(usb);
    QSignalSpy disconnect(&manager, &DatalinkManager::DisconnectDatalinkSignal);
    usb->injectFrame(0, devmsg::heartbeat(1, "PX1", 1, false, AbstractDataLink::USB, 0));
    QVERIFY(waitFor([&] { return disconnect.size() == 1; }, 2000));
    // Heartbeats that call another interface inactive, or this one active, are no such reason.
    QSignalSpy heartbeats(manager.commChannel(), &DatalinkCommChannel::HeartbeatReceived);
    usb->injectFrame(0, devmsg::heartbeat(1, "PX1", 1, false, AbstractDataLink::WiFi, 0));
    usb->injectFrame(0, devmsg::heartbeat(1, "PX1", 1, true, AbstractDataLink::USB, 0));
    QVERIFY(waitFor([&] { return heartbeats.size() == 2; }, 2000));
    QCOMPARE(disconnect.size(), 1);
}

void TestDatalinkManagerActiveLink::deactivateStopsWatchdog()
{
    DatalinkManager manager;
    manager.setTimings(fast());
    FakeDataLink *usb = activateUsb(manager);
    QVERIFY(usb);
    QSignalSpy disconnect(&manager, &DatalinkManager::DisconnectDatalinkSignal);
    usb->sent.clear();
    manager.setActiveDatalinkConnection(AbstractDataLink::None);
    QVERIFY(!manager.commChannel()->isWatchdogRunning());
    const QList<QByteArray> sets = messagesOn(usb, 1);
    QCOMPARE(sets.size(), 1); // on the still active link
    QCOMPARE(u16(sets.first(), 44), quint16(AbstractDataLink::None));
    QCOMPARE(manager.getActiveLinkType(), AbstractDataLink::USB); // until the device answers
    QTest::qWait(quietPeriod(fast().watchdogTimeoutMs));
    QCOMPARE(disconnect.size(), 0);

    QSignalSpy connected(&manager, &DatalinkManager::isConnected);
    usb->injectFrame(0, devmsg::setInterfaceReply(1, AbstractDataLink::None, true));
    QVERIFY(waitFor([&] { return connected.size() == 1; }, 2000));
    QVERIFY(!connected.first().at(0).toBool());
    QCOMPARE(manager.getActiveLinkType(), AbstractDataLink::None);
}

QTEST_GUILESS_MAIN(TestDatalinkManagerActiveLink)
#include "tst_datalinkManagerActiveLink.moc"
