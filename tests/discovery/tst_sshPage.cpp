#include "NetworkDeviceManager.h"
#include "ZeroconfResponder.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(orvane_BrandingPlugin)
Q_IMPORT_QML_PLUGIN(orvane_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(orvane_RobotCommunicationPlugin)

using namespace orvane::infra;
using namespace nimbrel::test;

namespace {

bool inNamespace()
{
    return !ZeroconfResponder::peerNamespace().isEmpty();
}

NetworkDeviceInfo robot(const char *address, std::uint32_t family, const char *service = "robot-1")
{
    NetworkDeviceInfo info;
    info.hostName = std::string(service) + ".local";
    info.serviceName = service;
    info.address = address;
    info.addressFamily = family;
    info.port = 2222;
    info.txtEntries["orvane_device_type"] = "sorvyn";
    info.txtEntries["orvane_device_serial"] = "1234";
    return info;
}

// A fake x-terminal-emulator and ssh first on PATH; the terminal writes its argv, NUL-separated.
void installFakePrograms()
{
    const QString bin = testRoot() + "/bin";
    QDir().mkpath(bin);
    for (const char *program : { "x-terminal-emulator", "ssh" }) {
        QFile file(bin + "/" + program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nprintf '%s\\0' \"$@\" > \"" + testRoot().toUtf8() + "/argv.$$\"\n");
        file.close();
        file.setPermissions(file.permissions() | QFile::ExeOwner);
    }
    qputenv("PATH", bin.toUtf8() + ":" + qgetenv("PATH"));
}

QList<QStringList> terminalStarts()
{
    QList<QStringList> starts;
    const QDir root(testRoot());
    for (const QString &name : root.entryList({ "argv.*" }, QDir::Files)) {
        QFile file(root.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray content = file.readAll();
        if (!content.endsWith('\0'))
            continue;
        QStringList args = QString::fromUtf8(content).split(QChar(0));
        args.removeLast();
        starts << args;
    }
    return starts;
}

void clearTerminalStarts()
{
    const QDir root(testRoot());
    for (const QString &name : root.entryList({ "argv.*" }, QDir::Files))
        QFile::remove(root.filePath(name));
}

} // namespace

// The "Robot discovery" page, created as the page loader creates it (type Ssh of
// orvane.RobotCommunication). Outside a network namespace its engine gets no local address and
// the tests report records to its manager; inside with-netns.sh a zeroconf responder is found.
class TestSshPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void headerAndRows();
    void connectLaunchesTheTerminal();
    void cancelAndVanishedDeviceStartNothing();
    void refusedNameIsReplacedByTyping();
    void realResponderInANamespace();

private:
    QQuickItem *row(int index) const;
    QString cellText(int index, const char *cell) const;
    void click(QQuickItem *item);
    QObject *dialog() const { return m_page->findChild<QObject *>("sshConnectDialog"); }
    void acceptWithUser(const QString &user);

    NetworkDeviceManager *manager() const
    {
        return m_page->property("networkDeviceManager").value<NetworkDeviceManager *>();
    }

    QQuickView *m_view = nullptr;
    QQuickItem *m_page = nullptr;
};

void TestSshPage::initTestCase()
{
    installFakePrograms();
    if (!inNamespace()) {
        // Never discover on the machine's own network: no local address at all.
        NetworkDeviceManager::setDefaultSettingsFactory([] {
            DeviceDiscoverySettings settings;
            settings.localAddresses = [] { return std::vector<LocalAddress>{}; };
            return settings;
        });
    }
}

void TestSshPage::init()
{
    clearTerminalStarts();
    m_view = new QQuickView;
    m_view->engine()->addImportPath(QStringLiteral("qrc:/qt/qml"));
    QQmlComponent component(m_view->engine());
    // As the page loader does: the type by module and name.
    component.setData("import orvane.RobotCommunication\nSsh {}\n", QUrl());
    QObject *object = component.create();
    QVERIFY2(object, qPrintable(component.errorString()));
    m_page = qobject_cast<QQuickItem *>(object);
    m_view->setContent(QUrl(), &component, m_page);
    m_view->resize(1400, 700);
    m_page->setSize(m_view->size()); // as the loader makes its pages fill it
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view));
}

void TestSshPage::cleanup()
{
    delete m_view;
    m_view = nullptr;
    m_page = nullptr;
}

QQuickItem *TestSshPage::row(int index) const
{
    auto *table = m_page->findChild<QQuickItem *>("deviceTable");
    auto *list = table->property("listView").value<QQuickItem *>();
    QQuickItem *item = nullptr;
    QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, item),
                              Q_ARG(int, index));
    return item;
}

QQuickItem *buttonWithText(QQuickItem *item, const QString &text)
{
    if (item->isVisible() && item->inherits("QQuickAbstractButton")
        && item->property("text").toString() == text)
        return item;
    for (QQuickItem *child : item->childItems()) {
        if (QQuickItem *found = buttonWithText(child, text))
            return found;
    }
    return nullptr;
}

QString cellText(QQuickItem *row, const char *cell)
{
    QObject *item = row ? row->findChild<QObject *>(cell) : nullptr;
    return item ? item->property("text").toString() : QStringLiteral("<none>");
}

QString TestSshPage::cellText(int index, const char *cell) const
{
    return ::cellText(row(index), cell);
}

void TestSshPage::click(QQuickItem *item)
{
    QVERIFY(item && item->isVisible());
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseMove(m_view, centre.toPoint());
    QTest::mouseClick(m_view, Qt::LeftButton, {}, centre.toPoint());
}

void TestSshPage::acceptWithUser(const QString &user)
{
    QTRY_VERIFY(dialog()->property("opened").toBool());
    m_page->findChild<QObject *>("deviceUsername")->setProperty("text", user);
    // The Ok button, renamed "Connect" by the page.
    QQuickItem *ok = buttonWithText(m_view->contentItem(), "Connect");
    QVERIFY(ok);
    click(ok);
    QTRY_VERIFY(!dialog()->property("visible").toBool());
}

void TestSshPage::headerAndRows()
{
    if (inNamespace())
        QSKIP("reported records: runs outside the namespace");
    QStringList header;
    for (QObject *column : m_page->findChildren<QObject *>()) {
        if (QByteArray(column->metaObject()->className()).startsWith("HeaderColumn"))
            header << column->property("text").toString();
    }
    QCOMPARE(header,
             (QStringList{ "Actionbar", "Hostname", "Serial ID", "Device type", "IPv4", "IPv6" }));

    manager()->deviceAdded(robot("192.0.2.2", 0));
    manager()->deviceAdded(robot("fe80::2%vh", 1));
    manager()->deviceAdded(robot("192.0.2.3", 0, "robot-2"));
    QTRY_VERIFY(row(1));
    QVERIFY(!row(2));
    QCOMPARE(cellText(0, "hostnameCell"), "robot-1"); // the service name
    QCOMPARE(cellText(0, "serialCell"), "1234");
    QCOMPARE(cellText(0, "deviceTypeCell"), "sorvyn");
    QCOMPARE(cellText(0, "ipv4Cell"), "192.0.2.2");
    QCOMPARE(cellText(0, "ipv6Cell"), "fe80::2%vh");
    QCOMPARE(cellText(1, "hostnameCell"), "robot-2");
    QCOMPARE(cellText(1, "ipv6Cell"), "");
    // A goodbye for the IPv4 record of the first device removes its whole row.
    manager()->deviceRemoved(robot("192.0.2.2", 0));
    QTRY_COMPARE(cellText(0, "hostnameCell"), "robot-2");
    QTRY_VERIFY(!row(1));
}

void TestSshPage::connectLaunchesTheTerminal()
{
    if (inNamespace())
        QSKIP("reported records: runs outside the namespace");
    manager()->deviceAdded(robot("192.0.2.2", 0));
    QTRY_VERIFY(row(0));
    click(row(0)->findChild<QQuickItem *>("sshButton"));
    acceptWithUser("admin");
    QTRY_COMPARE(terminalStarts().size(), 1);
    QCOMPARE(terminalStarts()[0],
             (QStringList{ "-T", "SSH session with robot-1.local(1234)", "-e",
                           testRoot() + "/bin/ssh", "admin@192.0.2.2", "-p2222" }));
    // The field keeps its text for the next opening.
    click(row(0)->findChild<QQuickItem *>("sshButton"));
    QTRY_VERIFY(dialog()->property("opened").toBool());
    QCOMPARE(m_page->findChild<QObject *>("deviceUsername")->property("text").toString(), "admin");
}

void TestSshPage::cancelAndVanishedDeviceStartNothing()
{
    if (inNamespace())
        QSKIP("reported records: runs outside the namespace");
    manager()->deviceAdded(robot("192.0.2.2", 0));
    QTRY_VERIFY(row(0));
    click(row(0)->findChild<QQuickItem *>("sshButton"));
    QTRY_VERIFY(dialog()->property("opened").toBool());
    QMetaObject::invokeMethod(dialog(), "reject");
    QTRY_VERIFY(!dialog()->property("visible").toBool());

    // The device goes while the dialog is open: Connect starts nothing.
    click(row(0)->findChild<QQuickItem *>("sshButton"));
    QTRY_VERIFY(dialog()->property("opened").toBool());
    manager()->deviceRemoved(robot("192.0.2.2", 0));
    QTRY_VERIFY(dialog()->property("device").value<QObject *>() == nullptr);
    acceptWithUser("admin");
    QTest::qWait(scaled(300));
    QCOMPARE(terminalStarts().size(), 0);
}

// A refused user name is not left for new typing to be appended to: on the next opening it is
// selected, so what the person types replaces it.
void TestSshPage::refusedNameIsReplacedByTyping()
{
    if (inNamespace())
        QSKIP("reported records: runs outside the namespace");
    manager()->deviceAdded(robot("192.0.2.2", 0));
    QTRY_VERIFY(row(0));
    click(row(0)->findChild<QQuickItem *>("sshButton"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("user name"));
    acceptWithUser("-oProxyCommand=x");
    QTest::qWait(scaled(300));
    QCOMPARE(terminalStarts().size(), 0);

    click(row(0)->findChild<QQuickItem *>("sshButton"));
    QTRY_VERIFY(dialog()->property("opened").toBool());
    QObject *field = m_page->findChild<QObject *>("deviceUsername");
    QTRY_VERIFY(field->property("activeFocus").toBool());
    for (const char c : QByteArrayLiteral("admin"))
        QTest::keyClick(m_view, c);
    QCOMPARE(field->property("text").toString(), "admin");
    QQuickItem *ok = buttonWithText(m_view->contentItem(), "Connect");
    click(ok);
    QTRY_COMPARE(terminalStarts().size(), 1);
    QCOMPARE(terminalStarts()[0].value(4), "admin@192.0.2.2");
}

void TestSshPage::realResponderInANamespace()
{
    if (!inNamespace())
        QSKIP("needs with-netns.sh: a private network namespace with a zeroconf peer");
    ZeroconfResponder responder;
    QVERIFY2(responder.start(), responder.errors().constData());
    QVERIFY(responder.command("register", "registered"));
    QTRY_VERIFY_WITH_TIMEOUT(
        !cellText(0, "ipv4Cell").isEmpty() && !cellText(0, "ipv6Cell").isEmpty(), scaled(20000));
    QVERIFY(!row(1));
    QCOMPARE(cellText(0, "hostnameCell"), "robot-1");
    QCOMPARE(cellText(0, "ipv4Cell"), "192.0.2.2");
    const QString v6 = cellText(0, "ipv6Cell");
    QVERIFY2(v6.startsWith("fe80::") && v6.endsWith("%vh"), qPrintable(v6));

    click(row(0)->findChild<QQuickItem *>("sshButton"));
    acceptWithUser("admin");
    QTRY_COMPARE(terminalStarts().size(), 1);
    QCOMPARE(terminalStarts()[0],
             (QStringList{ "-T", "SSH session with robot-1.local(1234)", "-e",
                           testRoot() + "/bin/ssh", "admin@" + v6, "-p2222" }));

    QVERIFY(responder.command("unregister", "unregistered"));
    QTRY_VERIFY_WITH_TIMEOUT(!row(0), scaled(10000));
}

QTEST_MAIN(TestSshPage)
#include "tst_sshPage.moc"
