#include "ErrorHandler.h"
#include "NotificationMessage.h"
#include "NotificationMsgProgress.h"
#include "NotificationMsgProgressButton.h"
#include "NotificationTestSupport.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using nimbrel::ErrorLevel;
using Source = AbstractNotification::ErrorSource;

namespace {

const QDateTime kFirstTime(QDate(2024, 3, 1), QTime(10, 0), Qt::UTC);
const QDateTime kSecondTime(QDate(2024, 3, 1), QTime(10, 5), Qt::UTC);

// A level beyond Info, as a broken producer or a device might send it.
const auto kBeyondInfo = static_cast<ErrorLevel>(5);

AbstractNotification *makeLiving(const QString &kind, QObject *owner, ErrorLevel level,
                                 const QString &title, const QString &message,
                                 const QString &origin, const QDateTime &time)
{
    if (kind == QLatin1String("progress"))
        return new NotificationMsgProgress(owner, level, AbstractNotification::Device, title,
                                           message, origin, time);
    return new NotificationMsgProgressButton(owner, level, AbstractNotification::Device, title,
                                             message, QStringLiteral("Retry"), origin, time);
}

int notificationChildren(const ErrorHandler &hub)
{
    return static_cast<int>(
        hub.findChildren<AbstractNotification *>(Qt::FindDirectChildrenOnly).size());
}

} // namespace

class TestNotificationHub : public QObject
{
    Q_OBJECT

private slots:
    void repeatsFoldIntoTheListedText_data();
    void repeatsFoldIntoTheListedText();
    void pushNeverFoldsIntoLivingNotifications_data();
    void pushNeverFoldsIntoLivingNotifications();
    void levelsDecideListingAndLogging_data();
    void levelsDecideListingAndLogging();
    void foldedRepeatIsLoggedAgain();
    void refusedPushLeavesNothingBehind();
    void refusedAddLeavesNotificationWithItsOwner();
    void keysKeepGrowingAndListStaysOrdered();
    void takeUnlistsWithoutDeleting();
    void removeFromListDeletesDeferred();
    void requestDeleteRemovesAndDeletes();
    void directlyDeletedNotificationLeavesTheList();
    void addingTwiceOrNullIsHarmless();
    void instanceIsOneHub();
};

void TestNotificationHub::repeatsFoldIntoTheListedText_data()
{
    QTest::addColumn<ErrorLevel>("level");
    QTest::addColumn<Source>("source");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("origin");
    QTest::addColumn<bool>("folds");

    const QString title = QStringLiteral("Pelto boot error");
    const QString message = QStringLiteral("The application did not start");
    const QString origin = QStringLiteral("SN-0001");
    QTest::newRow("exact repeat") << nimbrel::Error << AbstractNotification::Device << title
                                  << message << origin << true;
    QTest::newRow("origin differs") << nimbrel::Error << AbstractNotification::Device << title
                                    << message << QStringLiteral("SN-0002") << false;
    QTest::newRow("title differs in case")
        << nimbrel::Error << AbstractNotification::Device << QStringLiteral("Pelto Boot Error")
        << message << origin << false;
    QTest::newRow("message differs")
        << nimbrel::Error << AbstractNotification::Device << title
        << QStringLiteral("The application stopped") << origin << false;
    QTest::newRow("source differs") << nimbrel::Error << AbstractNotification::NimbrelLab << title
                                    << message << origin << false;
    QTest::newRow("level differs")
        << nimbrel::Warning << AbstractNotification::Device << title << message << origin << false;
}

void TestNotificationHub::repeatsFoldIntoTheListedText()
{
    QFETCH(ErrorLevel, level);
    QFETCH(Source, source);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QFETCH(QString, origin);
    QFETCH(bool, folds);

    NotificationLogCapture log;
    ErrorHandler hub;
    const int first = hub.pushNotification(
        nimbrel::Error, AbstractNotification::Device, QStringLiteral("Pelto boot error"),
        QStringLiteral("The application did not start"), QStringLiteral("SN-0001"), kFirstTime);
    QCOMPARE(first, 1);
    AbstractNotification *listed = hub.getNotification(first);
    QVERIFY(listed);

    SignalOrder order;
    order.watch(&hub);
    order.watch(listed);
    const int second = hub.pushNotification(level, source, title, message, origin, kSecondTime);

    if (folds) {
        QCOMPARE(second, first);
        QCOMPARE(hub.getNotificationCount(), 1u);
        QCOMPARE(listed->getFiredTime(), kSecondTime);
        QCOMPARE(order.events, QStringList{ QStringLiteral("firedTimeChanged") });
        // The repeat itself does not linger as a hidden child of the hub.
        QCOMPARE(notificationChildren(hub), 1);
    } else {
        QCOMPARE(second, first + 1);
        QCOMPARE(hub.getNotificationCount(), 2u);
        QCOMPARE(listed->getFiredTime(), kFirstTime);
        QCOMPARE(order.events, kListSignals);
        QCOMPARE(hub.getNotificationList(),
                 (NotificationList{ listed, hub.getNotification(second) }));
    }
}

void TestNotificationHub::pushNeverFoldsIntoLivingNotifications_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("progress") << QStringLiteral("progress");
    QTest::newRow("progress with button") << QStringLiteral("button");
}

void TestNotificationHub::pushNeverFoldsIntoLivingNotifications()
{
    QFETCH(QString, kind);
    NotificationLogCapture log;
    ErrorHandler hub;
    const QString title = QStringLiteral("Firmware update");
    const QString message = QStringLiteral("Downloading");
    const QString origin = QStringLiteral("SN-0001");

    QObject producer;
    AbstractNotification *living
        = makeLiving(kind, &producer, nimbrel::Info, title, message, origin, kFirstTime);
    const int livingKey = hub.addNotification(living);
    QCOMPARE(livingKey, 1);
    QSignalSpy livingTime(living, &AbstractNotification::firedTimeChanged);

    // The same texts as a one-off message: it must get its own row, or it would disappear when
    // the producer withdraws its progress notification.
    const int pushed = hub.pushNotification(nimbrel::Info, AbstractNotification::Device, title,
                                            message, origin, kSecondTime);
    QCOMPARE(pushed, 2);
    QCOMPARE(hub.getNotificationCount(), 2u);
    QCOMPARE(livingTime.size(), 0);
    QCOMPARE(living->getFiredTime(), kFirstTime);
    QCOMPARE(hub.getNotification(pushed)->getType(), AbstractNotification::String);

    // A further repeat skips the living notification and folds into the text one.
    QCOMPARE(hub.pushNotification(nimbrel::Info, AbstractNotification::Device, title, message,
                                  origin, kSecondTime.addSecs(60)),
             pushed);
    QCOMPARE(hub.getNotificationCount(), 2u);
    QCOMPARE(livingTime.size(), 0);

    // Withdrawing the living notification leaves the message alone.
    QPointer<AbstractNotification> watchedLiving(living);
    living->deleteSelf();
    runDeferredDeletes();
    QVERIFY(watchedLiving.isNull());
    QCOMPARE(hub.getNotificationList(), NotificationList{ hub.getNotification(pushed) });
}

void TestNotificationHub::levelsDecideListingAndLogging_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<ErrorLevel>("level");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<int>("logType"); // -1: nothing logged

    QTest::newRow("text critical")
        << QStringLiteral("text") << nimbrel::CriticalError << true << int(QtCriticalMsg);
    QTest::newRow("text error") << QStringLiteral("text") << nimbrel::Error << true
                                << int(QtCriticalMsg);
    QTest::newRow("text warning") << QStringLiteral("text") << nimbrel::Warning << true
                                  << int(QtWarningMsg);
    QTest::newRow("text info") << QStringLiteral("text") << nimbrel::Info << true << -1;
    QTest::newRow("text none") << QStringLiteral("text") << nimbrel::None << true << -1;
    QTest::newRow("text beyond info") << QStringLiteral("text") << kBeyondInfo << false << -1;
    QTest::newRow("progress error")
        << QStringLiteral("progress") << nimbrel::Error << true << int(QtCriticalMsg);
    QTest::newRow("button warning")
        << QStringLiteral("button") << nimbrel::Warning << true << int(QtWarningMsg);
    QTest::newRow("button beyond info") << QStringLiteral("button") << kBeyondInfo << false << -1;
}

void TestNotificationHub::levelsDecideListingAndLogging()
{
    QFETCH(QString, kind);
    QFETCH(ErrorLevel, level);
    QFETCH(bool, listed);
    QFETCH(int, logType);

    // Quotes and a line break show the debug stream's quoting and escaping in the log line.
    const QString title = QStringLiteral("Pelto \"boot\" error");
    const QString message = QStringLiteral("Start failed\non channel 1");
    const QString expectedText
        = QStringLiteral(R"("[Pelto \"boot\" error] Start failed\non channel 1")");

    NotificationLogCapture log;
    ErrorHandler hub;
    QObject producer;
    SignalOrder order;
    order.watch(&hub);
    int key = 0;
    if (kind == QLatin1String("text")) {
        key = hub.pushNotification(level, AbstractNotification::Device, title, message,
                                   QStringLiteral("SN-0001"), kFirstTime);
    } else {
        key = hub.addNotification(makeLiving(kind, &producer, level, title, message,
                                             QStringLiteral("SN-0001"), kFirstTime));
    }

    QCOMPARE(key, listed ? 1 : -1);
    QCOMPARE(hub.getNotificationCount(), listed ? 1u : 0u);
    QCOMPARE(order.events, listed ? kListSignals : QStringList());
    if (logType < 0) {
        QVERIFY(log.lines().isEmpty());
    } else {
        QCOMPARE(log.lines().size(), 1);
        QCOMPARE(int(log.lines().first().type), logType);
        QCOMPARE(log.lines().first().text, expectedText);
    }
}

void TestNotificationHub::foldedRepeatIsLoggedAgain()
{
    NotificationLogCapture log;
    ErrorHandler hub;
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(hub.pushNotification(nimbrel::Error, AbstractNotification::NimbrelLab,
                                      QStringLiteral("Upload failed"), QStringLiteral("No seed"),
                                      QStringLiteral("Binary list"), kFirstTime),
                 1);
    }
    QCOMPARE(log.lines().size(), 2);
    for (const LoggedLine &line : log.lines()) {
        QCOMPARE(line.type, QtCriticalMsg);
        QCOMPARE(line.text, QStringLiteral(R"("[Upload failed] No seed")"));
    }
}

void TestNotificationHub::refusedPushLeavesNothingBehind()
{
    ErrorHandler hub;
    SignalOrder order;
    order.watch(&hub);
    QCOMPARE(hub.pushNotification(kBeyondInfo, AbstractNotification::Device,
                                  QStringLiteral("Chatter"), QStringLiteral("Ignored"), QString(),
                                  kFirstTime),
             -1);
    QCOMPARE(hub.getNotificationCount(), 0u);
    QVERIFY(order.events.isEmpty());
    QCOMPARE(notificationChildren(hub), 0);
}

void TestNotificationHub::refusedAddLeavesNotificationWithItsOwner()
{
    ErrorHandler hub;
    SignalOrder order;
    order.watch(&hub);
    auto producer = std::make_unique<QObject>();
    QPointer<AbstractNotification> refused(
        makeLiving(QStringLiteral("progress"), producer.get(), kBeyondInfo,
                   QStringLiteral("Chatter"), QStringLiteral("Ignored"), QString(), kFirstTime));
    QCOMPARE(hub.addNotification(refused), -1);
    QCOMPARE(refused->parent(), producer.get());
    QCOMPARE(notificationChildren(hub), 0);

    // The hub did not take it on: its delete request does not reach the hub.
    refused->deleteSelf();
    runDeferredDeletes();
    QVERIFY(!refused.isNull());
    QVERIFY(order.events.isEmpty());

    producer.reset();
    QVERIFY(refused.isNull());
}

void TestNotificationHub::keysKeepGrowingAndListStaysOrdered()
{
    ErrorHandler hub;
    auto push = [&hub](const QString &title) {
        return hub.pushNotification(nimbrel::Info, AbstractNotification::NimbrelLab, title,
                                    QStringLiteral("body"), QString(), kFirstTime);
    };
    QList<QPointer<AbstractNotification>> cleared;
    for (const char *title : { "a", "b", "c" }) {
        const int key = push(QString::fromLatin1(title));
        cleared.append(hub.getNotification(key));
    }
    QCOMPARE(hub.getNotificationCount(), 3u);

    SignalOrder order;
    order.watch(&hub);
    hub.clearNotifications();
    QCOMPARE(order.events, kListSignals);
    QCOMPARE(hub.getNotificationCount(), 0u);
    QVERIFY(hub.getNotificationList().isEmpty());
    for (const auto &notification : cleared)
        QVERIFY(!notification.isNull()); // deferred
    runDeferredDeletes();
    for (const auto &notification : cleared)
        QVERIFY(notification.isNull());

    // The same texts after clearing are new notifications with new keys.
    QCOMPARE(push(QStringLiteral("a")), 4);
    hub.removeFromList(4);
    QCOMPARE(push(QStringLiteral("a")), 5);
    QVERIFY(hub.takeNotification(5));
    QCOMPARE(push(QStringLiteral("a")), 6);
    QVERIFY(!hub.getNotification(4));
    QVERIFY(!hub.getNotification(5));

    const int x = push(QStringLiteral("x"));
    const int y = push(QStringLiteral("y"));
    const int z = push(QStringLiteral("z"));
    hub.removeFromList(y);
    QStringList titles;
    for (const AbstractNotification *notification : hub.getNotificationList())
        titles << notification->getTitle();
    QCOMPARE(titles, (QStringList{ "a", "x", "z" }));
    QCOMPARE(hub.getNotification(x)->getTitle(), QStringLiteral("x"));
    QCOMPARE(hub.getNotification(z)->getTitle(), QStringLiteral("z"));
}

void TestNotificationHub::takeUnlistsWithoutDeleting()
{
    ErrorHandler hub;
    const int key = hub.pushNotification(nimbrel::Info, AbstractNotification::NimbrelLab,
                                         QStringLiteral("Write settings"), QStringLiteral("busy"),
                                         QStringLiteral("Hardware setup"), kFirstTime);
    SignalOrder order;
    order.watch(&hub);

    QCOMPARE(hub.takeNotification(key + 1), nullptr);
    QVERIFY(order.events.isEmpty());

    QPointer<AbstractNotification> taken(hub.takeNotification(key));
    QVERIFY(taken);
    QCOMPARE(order.events, kListSignals);
    QCOMPARE(hub.getNotificationCount(), 0u);
    QCOMPARE(hub.getNotification(key), nullptr);
    QCOMPARE(hub.takeNotification(key), nullptr);
    runDeferredDeletes();
    QVERIFY(!taken.isNull());

    // Replacing a notification: the taker asks for its end and the hub still carries it out.
    taken->deleteSelf();
    runDeferredDeletes();
    QVERIFY(taken.isNull());
}

void TestNotificationHub::removeFromListDeletesDeferred()
{
    ErrorHandler hub;
    QPointer<AbstractNotification> kept(hub.getNotification(
        hub.pushNotification(nimbrel::Info, AbstractNotification::Device, QStringLiteral("kept"),
                             QString(), QString(), kFirstTime)));
    const int key
        = hub.pushNotification(nimbrel::Info, AbstractNotification::Device,
                               QStringLiteral("removed"), QString(), QString(), kFirstTime);
    QPointer<AbstractNotification> removed(hub.getNotification(key));

    SignalOrder order;
    order.watch(&hub);
    hub.removeFromList(key);
    QCOMPARE(order.events, kListSignals);
    QCOMPARE(hub.getNotificationList(), NotificationList{ kept.data() });
    QVERIFY(!removed.isNull());
    runDeferredDeletes();
    QVERIFY(removed.isNull());

    // A key that is not listed deletes nothing; the list signals still go out.
    order.events.clear();
    hub.removeFromList(key);
    hub.removeFromList(-1);
    QCOMPARE(order.events, kListSignals + kListSignals);
    runDeferredDeletes();
    QVERIFY(!kept.isNull());
    QCOMPARE(hub.getNotificationCount(), 1u);
}

void TestNotificationHub::requestDeleteRemovesAndDeletes()
{
    ErrorHandler hub;
    const int key = hub.pushNotification(nimbrel::Info, AbstractNotification::Device,
                                         QStringLiteral("Pelto boot error"), QString(),
                                         QStringLiteral("SN-0001"), kFirstTime);
    QPointer<AbstractNotification> notification(hub.getNotification(key));
    // The hub is connected first, so the record shows its reaction before the request itself.
    SignalOrder order;
    order.watch(&hub);
    order.watch(notification.data());

    notification->deleteSelf();
    QCOMPARE(order.events, kListSignals + QStringList{ "RequestDelete" });
    QCOMPARE(hub.getNotificationCount(), 0u);
    QVERIFY(!notification.isNull());
    runDeferredDeletes();
    QVERIFY(notification.isNull());
    QCOMPARE(hub.pushNotification(nimbrel::Info, AbstractNotification::Device,
                                  QStringLiteral("Pelto boot error"), QString(),
                                  QStringLiteral("SN-0001"), kFirstTime),
             key + 1);
}

void TestNotificationHub::directlyDeletedNotificationLeavesTheList()
{
    ErrorHandler hub;
    QObject producer;
    AbstractNotification *living
        = makeLiving(QStringLiteral("button"), &producer, nimbrel::Info, QStringLiteral("Flash"),
                     QStringLiteral("Ready"), QString(), kFirstTime);
    const int livingKey = hub.addNotification(living);
    const int textKey = hub.pushNotification(nimbrel::Info, AbstractNotification::NimbrelLab,
                                             QStringLiteral("Log"), QStringLiteral("Saved"),
                                             QString(), kFirstTime);
    SignalOrder order;
    order.watch(&hub);

    delete living; // a producer that kept the raw pointer
    QCOMPARE(order.events, kListSignals);
    QCOMPARE(hub.getNotification(livingKey), nullptr);
    QCOMPARE(hub.getNotificationCount(), 1u);
    const NotificationList remaining = hub.getNotificationList();
    QCOMPARE(remaining.size(), 1);
    QCOMPARE(remaining.first()->getTitle(), QStringLiteral("Log")); // no dangling entry to read
    QCOMPARE(hub.pushNotification(nimbrel::Info, AbstractNotification::NimbrelLab,
                                  QStringLiteral("Flash"), QStringLiteral("Ready"), QString(),
                                  kFirstTime),
             textKey + 1);

    // Clearing afterwards must not touch the deleted object (AddressSanitizer watches this).
    hub.clearNotifications();
    runDeferredDeletes();
    QCOMPARE(hub.getNotificationCount(), 0u);
}

void TestNotificationHub::addingTwiceOrNullIsHarmless()
{
    ErrorHandler hub;
    QObject producer;
    AbstractNotification *living
        = makeLiving(QStringLiteral("progress"), &producer, nimbrel::Info,
                     QStringLiteral("Download"), QString(), QString(), kFirstTime);
    const int key = hub.addNotification(living);
    QCOMPARE(living->parent(), &hub);

    SignalOrder order;
    order.watch(&hub);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("listed already"));
    QCOMPARE(hub.addNotification(living), key);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("null notification"));
    QCOMPARE(hub.addNotification(nullptr), -1);
    QVERIFY(order.events.isEmpty());
    QCOMPARE(hub.getNotificationCount(), 1u);

    // One entry only: one delete request empties the list.
    QPointer<AbstractNotification> watched(living);
    living->deleteSelf();
    QCOMPARE(hub.getNotificationCount(), 0u);
    runDeferredDeletes();
    QVERIFY(watched.isNull());
}

void TestNotificationHub::instanceIsOneHub()
{
    ErrorHandler *hub = ErrorHandler::instance();
    QVERIFY(hub);
    QCOMPARE(ErrorHandler::instance(), hub);
    QCOMPARE(hub->parent(), nullptr);
    QCOMPARE(QMetaType::fromName("NotificationList"), QMetaType::fromType<NotificationList>());
}

QTEST_GUILESS_MAIN(TestNotificationHub)
#include "tst_notification_hub.moc"
