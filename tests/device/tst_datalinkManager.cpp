#include "ChannelZeroMessages.h"
#include "DatalinkManager.h"
#include "FakeDataLink.h"

#include "ErrorHandler.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace nimbrel::test;

namespace {

quint16 u16(const QByteArray &m, int offset)
{
    return qFromLittleEndian<quint16>(m.constData() + offset);
}

// Channel-0 messages (frame header stripped) a fake link was given, optionally of one type.
QList<QByteArray> messagesOn(const FakeDataLink *link, int type = -1)
{
    QList<QByteArray> messages;
    for (const QByteArray &frame : link->channelZeroFrames()) {
        const QByteArray m = frame.mid(6);
        if (type < 0 || u16(m, 4) == type)
            messages.append(m);
    }
    return messages;
}

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

class TestDatalinkManager : public QObject
{
    Q_OBJECT

private:
    // Short timings for the tests of the two time-outs: heartbeat 40 ms, watchdog 1000 ms, device
    // info 500 ms.
    static DatalinkTimings fast() { return { 40, scaled(1000), scaled(500) }; }
    // For the other tests: heartbeats as fast, the time-outs out of their way however slow the
    // machine is.
    static DatalinkTimings steady() { return { 40, scaled(60000), scaled(60000) }; }
    // How long a test watches for something that must not happen: three times the timing that
    // would make it happen.
    static int quietPeriod(int timingMs) { return 3 * timingMs; }
    // A manager with a connected USB link that the device accepted as active.
    static FakeDataLink *activateUsb(DatalinkManager &manager);

private slots:
    void identityIsRandomPrintable();
    void addAndRemoveLinks();
    void connectSequenceReportsDeviceOnce();
    void deviceInfoTimeoutReportsUnavailableOnce();
    void setInterfaceFlow();
    void refusedOrUnknownReplyChangesNothing();
    void setInterfaceReplyNeedsItsRequest_data();
    void setInterfaceReplyNeedsItsRequest();
    void heartbeatsKeepActiveLinkAlive();
    void watchdogTimeoutEndsActiveLink();
    void watchdogTimeoutWithoutActiveLink();
    void inactiveHeartbeatOnActiveLinkDisconnects();
    void lastLinkLossReportedOnce_data();
    void lastLinkLossReportedOnce();
    void staleStateOfReplacedLinkIsIgnored();
    void dataReadyFansOutEveryFrame();
    void writePath_data();
    void writePath();
    void wifiKeyExchangeAndSelfTimeout();
    void unsupportedVersionNotifiesOncePerDevice();
    void deactivateStopsWatchdog();
};

FakeDataLink *TestDatalinkManager::activateUsb(DatalinkManager &manager)
{
    auto *usb = new FakeDataLink(AbstractDataLink::USB);
    usb->connectOnStart = true;
    manager.addDatalink(usb);
    // The device answers the device-info request, then accepts the link.
    usb->injectFrame(0, devmsg::heartbeat(1, "PX1", 1, false, AbstractDataLink::USB, 0));
    if (!waitFor([&] { return manager.isDeviceInfoReported(); }, 2000))
        return nullptr;
    manager.setActiveDatalinkConnection(AbstractDataLink::USB);
    usb->injectFrame(0, devmsg::setInterfaceReply(1, AbstractDataLink::USB, true));
    if (!waitFor([&] { return manager.getActiveLinkType() == AbstractDataLink::USB; }, 2000))
        return nullptr;
    return usb;
}

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

void TestDatalinkManager::setInterfaceFlow()
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

void TestDatalinkManager::refusedOrUnknownReplyChangesNothing()
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

void TestDatalinkManager::setInterfaceReplyNeedsItsRequest_data()
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
void TestDatalinkManager::setInterfaceReplyNeedsItsRequest()
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
void TestDatalinkManager::heartbeatsKeepActiveLinkAlive()
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

void TestDatalinkManager::watchdogTimeoutEndsActiveLink()
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

void TestDatalinkManager::watchdogTimeoutWithoutActiveLink()
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

void TestDatalinkManager::inactiveHeartbeatOnActiveLinkDisconnects()
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

void TestDatalinkManager::deactivateStopsWatchdog()
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

QTEST_GUILESS_MAIN(TestDatalinkManager)
#include "tst_datalinkManager.moc"
