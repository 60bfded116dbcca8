#include "ErrorHandler.h"
#include "NetworkDeviceManager.h"

#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace orvane::infra;
using namespace nimbrel::test;

namespace {

// An engine with no local address: it opens no socket and never touches the network; the tests
// report records to the manager as the engine would.
DeviceDiscoverySettings offline()
{
    DeviceDiscoverySettings settings;
    settings.localAddresses = [] { return std::vector<LocalAddress>{}; };
    return settings;
}

NetworkDeviceInfo robot(const char *address, std::uint32_t family,
                        const char *host = "robot-1.local", const char *serial = "1234")
{
    NetworkDeviceInfo info;
    info.hostName = host;
    info.serviceName = "robot-1";
    info.address = address;
    info.addressFamily = family;
    info.port = 2222;
    info.txtEntries["orvane_device_type"] = "sorvyn";
    info.txtEntries["orvane_device_serial"] = serial;
    info.ptrSeen = info.srvSeen = info.txtSeen = true;
    return info;
}

QStringList rows(const NetworkDeviceManager &manager)
{
    QStringList out;
    for (const NetworkDevice *d : manager.deviceList())
        out << d->hostname() + " " + d->addressv4() + " " + d->addressv6();
    return out;
}

// Fake programs first on PATH that write their argv, NUL-separated, to a file.
QString fakeBin(const QStringList &programs)
{
    const QString bin = testRoot() + "/bin";
    QDir(bin).removeRecursively();
    QDir().mkpath(bin);
    for (const QString &program : programs) {
        QFile file(bin + "/" + program);
        file.open(QIODevice::WriteOnly);
        file.write("#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" > \"" + testRoot().toUtf8() + "/argv."
                   + program.toUtf8() + ".$$\"\n");
        file.close();
        file.setPermissions(file.permissions() | QFile::ExeOwner);
    }
    return bin;
}

// The argv of every start of `program` so far.
QList<QStringList> invocations(const QString &program)
{
    QList<QStringList> found;
    const QDir root(testRoot());
    for (const QString &name : root.entryList({ "argv." + program + ".*" }, QDir::Files)) {
        QFile file(root.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray content = file.readAll();
        if (!content.endsWith('\0'))
            continue; // still being written
        QStringList args = QString::fromUtf8(content).split(QChar(0));
        args.removeLast();
        args.removeFirst(); // $0
        found << args;
    }
    return found;
}

QStringList recordedArgv(const QString &program)
{
    const auto all = invocations(program);
    return all.size() == 1 ? all.first() : QStringList{};
}

} // namespace

class TestNetworkDeviceManager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void mergesAddressFamilies();
    void removalTakesTheWholeRow();
    void reportsComeOnTheManagersThread();
    void launchSSH_data();
    void launchSSH();
    void refusedUserNamesStartNothing_data();
    void refusedUserNamesStartNothing();
    void terminalFallbacks();
    void sshMissing();
    void terminalMissing();

private:
    QByteArray m_path = qgetenv("PATH");
};

void TestNetworkDeviceManager::init()
{
    qputenv("PATH", m_path);
    qunsetenv("TERMINAL");
    ErrorHandler::instance()->clearNotifications();
    const QDir root(testRoot());
    for (const QString &name : root.entryList({ "argv.*" }, QDir::Files))
        QFile::remove(root.filePath(name));
}

void TestNetworkDeviceManager::mergesAddressFamilies()
{
    NetworkDeviceManager manager(offline());
    QSignalSpy listChanged(&manager, &NetworkDeviceManager::deviceListUpdated);
    manager.deviceAdded(robot("192.0.2.2", 0));
    manager.deviceAdded(robot("fe80::2%vh", 1));
    QTRY_COMPARE(rows(manager), QStringList{ "robot-1.local 192.0.2.2 fe80::2%vh" });
    QCOMPARE(listChanged.size(), 1);
    // Same device, another IPv4 address: overwrites; the signal comes even without a change.
    QSignalSpy v4(manager.deviceList()[0], &NetworkDevice::addressV4Updated);
    manager.deviceAdded(robot("192.0.2.9", 0));
    manager.deviceAdded(robot("192.0.2.9", 0));
    QTRY_COMPARE(v4.size(), 2);
    QCOMPARE(rows(manager), QStringList{ "robot-1.local 192.0.2.9 fe80::2%vh" });
    // Another host name is another device.
    manager.deviceAdded(robot("192.0.2.3", 0, "robot-1b.local"));
    QTRY_COMPARE(manager.deviceList().size(), 2);
    const NetworkDevice *first = manager.deviceList()[0];
    QCOMPARE(first->serial(), "1234");
    QCOMPARE(first->devicetype(), "sorvyn");
    QCOMPARE(first->servicename(), "robot-1");
    QCOMPARE(first->port(), 2222u);
    QCOMPARE(first->parent(), &manager);
}

void TestNetworkDeviceManager::removalTakesTheWholeRow()
{
    NetworkDeviceManager manager(offline());
    manager.deviceAdded(robot("192.0.2.2", 0));
    manager.deviceAdded(robot("fe80::2%vh", 1));
    QTRY_COMPARE(manager.deviceList().size(), 1);
    QPointer<NetworkDevice> device = manager.deviceList()[0];
    // Not its address of that family, or another serial: nothing.
    manager.deviceRemoved(robot("192.0.2.7", 0));
    manager.deviceRemoved(robot("192.0.2.2", 0, "robot-1.local", "9"));
    manager.deviceRemoved(robot("192.0.2.2", 1));
    QTest::qWait(0);
    QCoreApplication::processEvents();
    QCOMPARE(manager.deviceList().size(), 1);
    QSignalSpy listChanged(&manager, &NetworkDeviceManager::deviceListUpdated);
    manager.deviceRemoved(robot("192.0.2.2", 0));
    QTRY_COMPARE(listChanged.size(), 1);
    QVERIFY(manager.deviceList().isEmpty());
    QTRY_VERIFY(device.isNull()); // deleted later
}

void TestNetworkDeviceManager::reportsComeOnTheManagersThread()
{
    NetworkDeviceManager manager(offline());
    std::thread engineThread([&] { manager.deviceAdded(robot("192.0.2.2", 0)); });
    engineThread.join();
    QVERIFY(manager.deviceList().isEmpty()); // queued, not applied on the calling thread
    QTRY_COMPARE(manager.deviceList().size(), 1);
    QCOMPARE(manager.deviceList()[0]->thread(), QThread::currentThread());
}

void TestNetworkDeviceManager::launchSSH_data()
{
    QTest::addColumn<QString>("username");
    QTest::addColumn<QString>("v6");
    QTest::addColumn<QString>("target");
    QTest::newRow("user, IPv6 preferred") << "admin"
                                          << "fe80::2%vh"
                                          << "admin@fe80::2%vh";
    QTest::newRow("user, IPv4 only") << "admin"
                                     << ""
                                     << "admin@192.0.2.2";
    QTest::newRow("no user") << ""
                             << ""
                             << "192.0.2.2";
    QTest::newRow("dots and digits") << "ro.bot_1"
                                     << ""
                                     << "ro.bot_1@192.0.2.2";
}

void TestNetworkDeviceManager::launchSSH()
{
    QFETCH(QString, username);
    QFETCH(QString, v6);
    QFETCH(QString, target);
    const QString bin = fakeBin({ "x-terminal-emulator", "ssh" });
    qputenv("PATH", bin.toUtf8());
    NetworkDevice device(robot("192.0.2.2", 0), nullptr);
    if (!v6.isEmpty())
        device.updateAddress(robot(qPrintable(v6), 1));
    device.launchSSH(username);
    QTRY_COMPARE(recordedArgv("x-terminal-emulator"),
                 (QStringList{ "-T", "SSH session with robot-1.local(1234)", "-e", bin + "/ssh",
                               target, "-p2222" }));
}

void TestNetworkDeviceManager::refusedUserNamesStartNothing_data()
{
    QTest::addColumn<QString>("username");
    QTest::newRow("option") << "-oProxyCommand=touch /tmp/x";
    QTest::newRow("space") << "admin -p1";
    QTest::newRow("tab") << "a\tb";
    QTest::newRow("newline") << "a\nb";
    QTest::newRow("control") << QString("a") + QChar(0x1b) + "b";
    QTest::newRow("leading dash only") << "-";
}

// Nothing the user types may turn into an ssh option; a refused name starts no terminal.
void TestNetworkDeviceManager::refusedUserNamesStartNothing()
{
    QFETCH(QString, username);
    qputenv("PATH", fakeBin({ "x-terminal-emulator", "ssh" }).toUtf8());
    NetworkDevice device(robot("192.0.2.2", 0), nullptr);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("user name"));
    device.launchSSH(username);
    QVERIFY(!device.acceptsUserName(username));
    // The refusal is seen, not only logged.
    const NotificationList told = ErrorHandler::instance()->getNotificationList();
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.first()->getTitle(), QStringLiteral("SSH session not started"));
    QVERIFY2(told.first()->getMessage().contains(QStringLiteral("user name")),
             qPrintable(told.first()->getMessage()));
    device.launchSSH("admin"); // the control: this one must arrive, and only this one
    QTRY_COMPARE(invocations("x-terminal-emulator").size(), 1);
    QTest::qWait(scaled(200));
    QCOMPARE(invocations("x-terminal-emulator").size(), 1);
    QCOMPARE(recordedArgv("x-terminal-emulator").value(4), "admin@192.0.2.2");
}

void TestNetworkDeviceManager::terminalFallbacks()
{
    NetworkDevice device(robot("192.0.2.2", 0), nullptr);
    qputenv("PATH", fakeBin({ "my-term", "xterm", "ssh" }).toUtf8());
    qputenv("TERMINAL", "my-term");
    device.launchSSH("admin");
    QTRY_COMPARE(recordedArgv("my-term").value(4), "admin@192.0.2.2");
    qputenv("PATH", fakeBin({ "xterm", "ssh" }).toUtf8());
    device.launchSSH("admin");
    QTRY_COMPARE(recordedArgv("xterm").value(0), "-T");
}

void TestNetworkDeviceManager::sshMissing()
{
    qputenv("PATH", fakeBin({ "x-terminal-emulator" }).toUtf8());
    NetworkDevice device(robot("192.0.2.2", 0), nullptr);
    QTest::ignoreMessage(QtCriticalMsg, "Could not find ssh executable");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ssh"));
    device.launchSSH("admin");
    QTest::qWait(scaled(200));
    QVERIFY(invocations("x-terminal-emulator").isEmpty());
    const NotificationList told = ErrorHandler::instance()->getNotificationList();
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.first()->getMessage().contains(QStringLiteral("ssh")),
             qPrintable(told.first()->getMessage()));
}

// Without any terminal program nothing starts, and the person is told what to install.
void TestNetworkDeviceManager::terminalMissing()
{
    qputenv("PATH", fakeBin({ "ssh" }).toUtf8());
    NetworkDevice device(robot("192.0.2.2", 0), nullptr);
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("terminal"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("terminal"));
    device.launchSSH("admin");
    const NotificationList told = ErrorHandler::instance()->getNotificationList();
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.first()->getTitle(), QStringLiteral("SSH session not started"));
    QVERIFY2(told.first()->getMessage().contains(QStringLiteral("terminal")),
             qPrintable(told.first()->getMessage()));
}

QTEST_GUILESS_MAIN(TestNetworkDeviceManager)
#include "tst_networkDeviceManager.moc"
