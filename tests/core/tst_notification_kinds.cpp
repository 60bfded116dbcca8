#include "ErrorHandler.h"
#include "NotificationMsgProgress.h"
#include "NotificationMsgProgressButton.h"
#include "NotificationTestSupport.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <limits>

// Progress and button notifications as their producers use them: listed with the hub, updated
// through their slots, and ending by their own delete request.
class TestNotificationKinds : public QObject
{
    Q_OBJECT

private slots:
    void progressCompletion_data();
    void progressCompletion();
    void buttonPress_data();
    void buttonPress();
    void stateSignalsOnlyOnChange();
    void textChangesRefreshTheTime();

private:
    AbstractNotification *makeListed(const QString &kind);

    QObject m_producer;
};

namespace {

const QDateTime kOldTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
const float kNaN = std::numeric_limits<float>::quiet_NaN();

void updateProgress(AbstractNotification *notification, float value)
{
    if (auto *progress = qobject_cast<NotificationMsgProgress *>(notification))
        progress->updateProgress(value);
    else
        qobject_cast<NotificationMsgProgressButton *>(notification)->updateProgress(value);
}

void setDeleteOnComplete(AbstractNotification *notification, bool enabled)
{
    if (auto *progress = qobject_cast<NotificationMsgProgress *>(notification))
        progress->deleteAfterFireButton(enabled);
    else
        qobject_cast<NotificationMsgProgressButton *>(notification)
            ->deleteOnProgressComplete(enabled);
}

float progressOf(const AbstractNotification *notification)
{
    return notification->property("progress").toFloat();
}

} // namespace

AbstractNotification *TestNotificationKinds::makeListed(const QString &kind)
{
    AbstractNotification *notification = nullptr;
    if (kind == QLatin1String("progress")) {
        notification = new NotificationMsgProgress(
            &m_producer, nimbrel::Info, AbstractNotification::NimbrelLab,
            QStringLiteral("Converting log"), QStringLiteral("log_0001.dat"),
            QStringLiteral("Log downloader"), kOldTime);
    } else {
        notification = new NotificationMsgProgressButton(
            &m_producer, nimbrel::Info, AbstractNotification::NimbrelLab,
            QStringLiteral("Firmware update"), QStringLiteral("Ready to flash"),
            QStringLiteral("Flash"), QStringLiteral("Device updates"), kOldTime);
    }
    return notification;
}

void TestNotificationKinds::progressCompletion_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("deleteOnComplete");
    QTest::addColumn<QList<float>>("values");
    QTest::addColumn<QStringList>("events");

    const QString changed = QStringLiteral("ProgressChanged");
    const QStringList deleted = QStringList{ QStringLiteral("RequestDelete") } + kListSignals;
    for (const QString &kind : { QStringLiteral("progress"), QStringLiteral("button") }) {
        auto row = [&kind](const char *name) -> QTestData & {
            return QTest::addRow("%s: %s", qPrintable(kind), name) << kind;
        };
        row("complete, delete set")
            << true << QList<float>{ 1.0f } << QStringList{ changed } + deleted;
        row("complete, delete clear") << false << QList<float>{ 1.0f } << QStringList{ changed };
        row("complete twice") << false << QList<float>{ 1.0f, 1.0f } << QStringList{ changed };
        row("half, then complete")
            << true << QList<float>{ 0.5f, 1.0f } << QStringList{ changed, changed } + deleted;
        row("half only, delete set") << true << QList<float>{ 0.5f } << QStringList{ changed };
        row("overshoot, delete set")
            << true << QList<float>{ 1.5f } << QStringList{ changed } + deleted;
        row("start value again") << true << QList<float>{ 0.0f } << QStringList{};
        // NaN never equals the stored value, so it always counts as news, and never completes.
        row("NaN twice") << true << QList<float>{ kNaN, kNaN } << QStringList{ changed, changed };
    }
}

void TestNotificationKinds::progressCompletion()
{
    QFETCH(QString, kind);
    QFETCH(bool, deleteOnComplete);
    QFETCH(QList<float>, values);
    QFETCH(QStringList, events);

    ErrorHandler hub;
    QPointer<AbstractNotification> notification(makeListed(kind));
    setDeleteOnComplete(notification, deleteOnComplete);
    // Watched before the hand-over, so that the recorder hears RequestDelete before the hub
    // reacts to it and the record shows the order of emission.
    SignalOrder order;
    order.watch(notification.data());
    QCOMPARE(hub.addNotification(notification), 1);
    order.watch(&hub);
    QSignalSpy progressSpy(notification.data(), SIGNAL(ProgressChanged(float)));
    for (float value : values)
        updateProgress(notification, value);

    QCOMPARE(order.events, events);
    const bool expectDeleted = events.contains(QStringLiteral("RequestDelete"));
    QCOMPARE(hub.getNotificationCount(), expectDeleted ? 0u : 1u);
    if (!progressSpy.isEmpty()) {
        const float last = values.last();
        const float carried = progressSpy.last().first().toFloat();
        QVERIFY(std::isnan(last) ? std::isnan(carried) : carried == last);
    }
    QVERIFY(!notification.isNull()); // deletion is deferred
    if (!std::isnan(values.last()))
        QCOMPARE(progressOf(notification), values.last());
    runDeferredDeletes();
    QCOMPARE(notification.isNull(), expectDeleted);
}

void TestNotificationKinds::buttonPress_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("deleteOnPress");
    QTest::addColumn<QStringList>("events");

    const QString fire = QStringLiteral("FireButton");
    QTest::newRow("enabled, delete on press")
        << true << true << QStringList{ fire, QStringLiteral("RequestDelete") } + kListSignals;
    QTest::newRow("enabled") << true << false << QStringList{ fire };
    QTest::newRow("disabled, delete on press") << false << true << QStringList{};
    QTest::newRow("disabled") << false << false << QStringList{};
}

void TestNotificationKinds::buttonPress()
{
    QFETCH(bool, enabled);
    QFETCH(bool, deleteOnPress);
    QFETCH(QStringList, events);

    ErrorHandler hub;
    auto *button
        = static_cast<NotificationMsgProgressButton *>(makeListed(QStringLiteral("button")));
    QPointer<AbstractNotification> watched(button);
    button->enableButton(enabled);
    button->deleteOnFireButton(deleteOnPress);
    SignalOrder order;
    order.watch(button);
    hub.addNotification(button);
    order.watch(&hub);
    // The notification row presses the button through the meta-object, as QML does.
    QVERIFY(QMetaObject::invokeMethod(button, "buttonPressed"));
    QCOMPARE(order.events, events);
    runDeferredDeletes();
    QCOMPARE(watched.isNull(), events.contains(QStringLiteral("RequestDelete")));
}

void TestNotificationKinds::stateSignalsOnlyOnChange()
{
    auto *button
        = static_cast<NotificationMsgProgressButton *>(makeListed(QStringLiteral("button")));
    auto *progress = static_cast<NotificationMsgProgress *>(makeListed(QStringLiteral("progress")));
    SignalOrder order;
    order.watch(button);
    order.watch(progress);

    // Each setter twice: only the first call changes anything.
    for (int i = 0; i < 2; ++i) {
        progress->enableProgress(true);
        button->enableProgress(true);
        button->enableButton(true);
    }
    button->changeButtonName(QStringLiteral("Flash")); // the name it was made with
    button->changeButtonName(QStringLiteral("FLASH")); // names compare case-sensitively
    button->changeButtonName(QStringLiteral("FLASH"));
    button->enableButton(false);
    QCOMPARE(order.events,
             (QStringList{ "ProgressEnabledChanged", "ProgressEnabledChanged",
                           "ButtonEnabledChanged", "ButtonNameChanged", "ButtonEnabledChanged" }));
    QCOMPARE(button->getButtonName(), QStringLiteral("FLASH"));
    QVERIFY(!button->getButtonEnabled());
    delete button;
    delete progress;
}

void TestNotificationKinds::textChangesRefreshTheTime()
{
    auto *notification = makeListed(QStringLiteral("progress"));
    SignalOrder order;
    order.watch(notification);
    QSignalSpy titleSpy(notification, &AbstractNotification::titleTextChanged);

    const QDateTime before = QDateTime::currentDateTimeUtc();
    // The same text again still counts: producers use it to say "this is still going on".
    notification->changeTitleTextSlot(notification->getTitle());
    notification->changeMessageTextSlot(QStringLiteral("log_0002.dat"));
    QCOMPARE(order.events,
             (QStringList{ "titleTextChanged", "firedTimeChanged", "messageTextChanged",
                           "firedTimeChanged" }));
    QCOMPARE(titleSpy.first().first().toString(), QStringLiteral("Converting log"));
    QVERIFY(notification->getFiredTime() >= before);
    QCOMPARE(notification->getFiredTime().timeSpec(), Qt::UTC);

    notification->changeFiredTime(kOldTime);
    QCOMPARE(notification->getFiredTime(), kOldTime);
    delete notification;
}

QTEST_GUILESS_MAIN(TestNotificationKinds)
#include "tst_notification_kinds.moc"
