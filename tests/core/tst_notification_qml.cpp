#include "ErrorHandler.h"
#include "NotificationMsgProgressButton.h"
#include "NotificationTestSupport.h"

#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The hub as the notification popup sees it: the context property "Notifications" and the
// "com.orvane" 1.0 registrations that start-up makes.
class TestNotificationQml : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void readsFromQml_data();
    void readsFromQml();
    void bindingsFollowTheHub();
    void writesExpandedFromQml();
    void typesAreNotCreatable_data();
    void typesAreNotCreatable();

private:
    std::unique_ptr<QObject> create(const QString &body, QString *errors = nullptr);

    QQmlEngine m_engine;
    ErrorHandler *m_hub = nullptr;
    QObject m_producer;
};

std::unique_ptr<QObject> TestNotificationQml::create(const QString &body, QString *errors)
{
    QQmlComponent component(&m_engine);
    component.setData(QStringLiteral("import QtQml\nimport com.orvane 1.0\n").toUtf8()
                          + body.toUtf8(),
                      QUrl(QStringLiteral("qrc:/tst_notification_qml/Snippet.qml")));
    if (component.isError()) {
        if (errors)
            *errors = component.errorString();
        else
            qWarning().noquote() << component.errorString();
        return nullptr;
    }
    std::unique_ptr<QObject> object(component.create());
    return object;
}

void TestNotificationQml::initTestCase()
{
    registerNotificationQmlTypes();
    registerNotificationQmlTypes(); // the application object may call it again
    m_hub = ErrorHandler::instance();
    m_engine.rootContext()->setContextProperty(QStringLiteral("Notifications"), m_hub);
}

void TestNotificationQml::init()
{
    NotificationLogCapture quiet;
    m_hub->pushNotification(nimbrel::Error, AbstractNotification::Device,
                            QStringLiteral("Pelto boot error"), QStringLiteral("No application"),
                            QStringLiteral("SN-0001"), QDateTime::currentDateTimeUtc());
    auto *button = new NotificationMsgProgressButton(
        &m_producer, nimbrel::Info, AbstractNotification::NimbrelLab,
        QStringLiteral("Firmware update"), QStringLiteral("Downloading"), QStringLiteral("Cancel"),
        QStringLiteral("Device updates"), QDateTime::currentDateTimeUtc());
    button->enableProgress(true);
    button->updateProgress(0.25f);
    m_hub->addNotification(button);
}

void TestNotificationQml::cleanup()
{
    m_hub->clearNotifications();
    runDeferredDeletes();
}

void TestNotificationQml::readsFromQml_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("expected");

    QTest::newRow("first title") << "Notifications.notificationList[0].title"
                                 << "Pelto boot error";
    QTest::newRow("list length") << "Notifications.notificationList.length"
                                 << "2";
    QTest::newRow("count") << "Notifications.notificationCount"
                           << "2";
    QTest::newRow("origin") << "Notifications.notificationList[0].origin"
                            << "SN-0001";
    QTest::newRow("level is an ErrorLevel")
        << "Notifications.notificationList[0].level === Nimbrel.Error"
        << "true";
    QTest::newRow("source") << "Notifications.notificationList[1].source"
                            << "1";
    QTest::newRow("type of the button kind")
        << "Notifications.notificationList[1].type === AbstractNotification.ButtonProgress_1"
        << "true";
    QTest::newRow("progress of a subclass") << "Notifications.notificationList[1].progress"
                                            << "0.25";
    QTest::newRow("button name") << "Notifications.notificationList[1].buttonName"
                                 << "Cancel";
    QTest::newRow("Nimbrel.None") << "Nimbrel.None"
                                  << "0";
    QTest::newRow("Nimbrel.Error") << "Nimbrel.Error"
                                   << "2";
    QTest::newRow("Nimbrel.Info") << "Nimbrel.Info"
                                  << "4";
    QTest::newRow("Nimbrel.Release") << "Nimbrel.Release"
                                     << "3";
    QTest::newRow("Progress_1") << "AbstractNotification.Progress_1"
                                << "5";
    QTest::newRow("Device") << "AbstractNotification.Device"
                            << "0";
}

void TestNotificationQml::readsFromQml()
{
    QFETCH(QString, expression);
    QFETCH(QString, expected);
    auto object
        = create(QStringLiteral("QtObject { property string value: String(%1) }").arg(expression));
    QVERIFY(object);
    QCOMPARE(object->property("value").toString(), expected);
}

void TestNotificationQml::bindingsFollowTheHub()
{
    auto object = create(QStringLiteral(
        "QtObject {\n"
        "    property int count: Notifications.notificationCount\n"
        "    property int listLength: Notifications.notificationList.length\n"
        "    property string title: Notifications.notificationList[0].title\n"
        "    property real progress: Notifications.notificationList[1].progress ?? -1\n"
        "}"));
    QVERIFY(object);
    const NotificationList list = m_hub->getNotificationList();
    list.at(0)->changeTitleTextSlot(QStringLiteral("Pelto boot error (again)"));
    QCOMPARE(object->property("title").toString(), QStringLiteral("Pelto boot error (again)"));
    qobject_cast<NotificationMsgProgressButton *>(list.at(1))->updateProgress(0.75f);
    QCOMPARE(object->property("progress").toDouble(), 0.75);

    m_hub->pushNotification(nimbrel::Info, AbstractNotification::NimbrelLab,
                            QStringLiteral("Log saved"), QString(), QString(),
                            QDateTime::currentDateTimeUtc());
    QCOMPARE(object->property("count").toInt(), 3);
    QCOMPARE(object->property("listLength").toInt(), 3);
    list.at(1)->deleteSelf();
    QCOMPARE(object->property("count").toInt(), 2);
    QCOMPARE(object->property("listLength").toInt(), 2);
    runDeferredDeletes();
}

void TestNotificationQml::writesExpandedFromQml()
{
    auto object = create(QStringLiteral(
        "QtObject {\n"
        "    function expand(index, on) { Notifications.notificationList[index].expanded = on }\n"
        "    function deleteFirst() { Notifications.notificationList[0].deleteSelf() }\n"
        "}"));
    QVERIFY(object);
    QPointer<AbstractNotification> first = m_hub->getNotificationList().at(0);
    QSignalSpy expandedSpy(first.data(), &AbstractNotification::expandedChanged);

    QVERIFY(QMetaObject::invokeMethod(object.get(), "expand", Q_ARG(QVariant, 0),
                                      Q_ARG(QVariant, true)));
    QVERIFY(first->isExpanded());
    QCOMPARE(expandedSpy.size(), 1);
    QVERIFY(!m_hub->getNotificationList().at(1)->isExpanded());

    QVERIFY(QMetaObject::invokeMethod(object.get(), "deleteFirst"));
    QCOMPARE(m_hub->getNotificationCount(), 1u);
    runDeferredDeletes();
    QVERIFY(first.isNull());
}

void TestNotificationQml::typesAreNotCreatable_data()
{
    QTest::addColumn<QString>("type");
    QTest::newRow("ErrorHandler") << "ErrorHandler";
    QTest::newRow("AbstractNotification") << "AbstractNotification";
    QTest::newRow("Nimbrel") << "Nimbrel";
}

void TestNotificationQml::typesAreNotCreatable()
{
    QFETCH(QString, type);
    QString errors;
    auto object = create(type + QStringLiteral(" {}"), &errors);
    QVERIFY(!object);
    QVERIFY2(errors.contains(QLatin1String("not creatable"))
                 || errors.contains(QLatin1String("uncreatable")),
             qPrintable(errors));
}

QTEST_GUILESS_MAIN(TestNotificationQml)
#include "tst_notification_qml.moc"
