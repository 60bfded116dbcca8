// The toolchain list: rows in release order, their texts against dpkg's version order, progress
// reports and the notifications they make while the list is off screen.
#include "ErrorHandler.h"
#include "MatlabHelper.h"
#include "NotificationMessage.h"
#include "TestSupport.h"
#include "ToolchainHandlerGUI.h"

#include <QAbstractEventDispatcher>
#include <QSignalSpy>
#include <QTest>

using namespace nimbrel::test;

namespace {

class StaticSource : public MatlabInstallationSource
{
public:
    std::map<std::string, std::string> findInstallations() const override
    {
        // 6.50 names no release: it gets no row.
        return { { "9.12", "/m/R2022a" },
                 { "9.09", "/m/R2020b" },
                 { "9.10", "/m/R2021a" },
                 { "6.50", "/m/R2005b" } };
    }
};

std::unique_ptr<MatlabHelper> fakeMatlab()
{
    return std::make_unique<MatlabHelper>(
        std::make_unique<StaticSource>(),
        [](const QString &, const QStringList &, const QString &) { return true; });
}

QString notificationText(int key)
{
    auto *message
        = qobject_cast<NotificationMessage *>(ErrorHandler::instance()->getNotification(key));
    return message ? message->property("title").toString() + QLatin1Char('|')
            + message->property("message").toString()
                   : QString();
}

} // namespace

class TestToolchainList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rowsInReleaseOrder();
    void buttonTexts_data();
    void buttonTexts();
    void reportsAndNotifications();
    void uninstallWithoutToolchain();
};

void TestToolchainList::initTestCase()
{
    // Nothing may reach the maker's storage: downloads go to a closed port on loopback.
    qputenv("NIMBREL_STORAGE_BASE_URL", "https://127.0.0.1:1/");
}

void TestToolchainList::rowsInReleaseOrder()
{
    QTest::ignoreMessage(QtDebugMsg, "Unkown MATLAB version");
    ToolchainHandlerGUI list(nullptr, fakeMatlab());
    QStringList releases;
    for (InstalledMatlabEntry *row : list.installedMatlabs()) {
        releases.append(row->readableMatlabVersion());
        QCOMPARE(row->parent(), &list);
    }
    QCOMPARE(releases, (QStringList{ "R2020b", "R2021a", "R2022a" }));
    QCOMPARE(list.property("installedMatlabs").value<QList<InstalledMatlabEntry *>>().size(), 3);
}

void TestToolchainList::buttonTexts_data()
{
    QTest::addColumn<QString>("toolchain");
    QTest::addColumn<QString>("latest");
    QTest::addColumn<QString>("buttonText");
    QTest::newRow("update") << "1.2.0"
                            << "1.10.0"
                            << "Update to 1.10.0";
    QTest::newRow("current") << "1.10.0"
                             << "1.10.0"
                             << "Reinstall";
    QTest::newRow("newer than the catalogue") << "1.10.0"
                                              << "1.9.0"
                                              << "Reinstall";
    QTest::newRow("patch behind") << "1.10.0"
                                  << "1.10.1"
                                  << "Update to 1.10.1";
    QTest::newRow("none") << ""
                          << "1.10.0"
                          << "Install 1.10.0";
    QTest::newRow("none, catalogue unknown") << ""
                                             << ""
                                             << "Install ";
    QTest::newRow("catalogue unknown") << "1.2.0"
                                       << ""
                                       << "Reinstall";
}

void TestToolchainList::buttonTexts()
{
    QFETCH(QString, toolchain);
    QFETCH(QString, latest);
    QFETCH(QString, buttonText);
    QTest::ignoreMessage(QtDebugMsg, "Unkown MATLAB version");
    ToolchainHandlerGUI list(nullptr, fakeMatlab());
    InstalledMatlabEntry *row = list.installedMatlabs().at(1);
    QSignalSpy installedChanged(row, &InstalledMatlabEntry::InstalledToolchainVersionChanged);
    QSignalSpy latestChanged(row, &InstalledMatlabEntry::LatestToolchainVersionChanged);
    row->setToolchainVersion(toolchain.toUtf8());
    row->setLatestToolchainVersion(latest.toUtf8());
    QCOMPARE(installedChanged.size(), 1);
    QCOMPARE(latestChanged.size(), 1);
    bool newer = false;
    if (!latest.isEmpty()) {
        // dpkg orders the versions; an absent toolchain counts as 0.0.0.
        const ProcessResult dpkg = runProcess(
            QStringLiteral("dpkg"),
            { "--compare-versions", toolchain.isEmpty() ? QStringLiteral("0.0.0") : toolchain, "lt",
              latest });
        QVERIFY(dpkg.finished);
        newer = dpkg.exitCode == 0;
    }
    QCOMPARE(row->property("newVersionAvailable").toBool(), newer);
    QCOMPARE(row->property("installButtonText").toString(), buttonText);
    QCOMPARE(row->property("isInstalled").toBool(), !toolchain.isEmpty());
}

void TestToolchainList::reportsAndNotifications()
{
    QTest::ignoreMessage(QtDebugMsg, "Unkown MATLAB version");
    ToolchainHandlerGUI list(nullptr, fakeMatlab());
    InstalledMatlabEntry *row = list.installedMatlabs().at(1);
    QCOMPARE(row->matlabVersion(), QStringLiteral("9.10"));
    list.setVisibility(false);
    QCOMPARE(row->notificationKey(), 0);

    row->install();
    QVERIFY(row->isBusy());
    QCOMPARE(row->readableMsg(), QStringLiteral("Downloading latest toolchain version."));
    const int first = row->notificationKey();
    QCOMPARE(notificationText(first),
             QStringLiteral(
                 "Installing toolchain in MATLAB R2021a|Downloading latest toolchain version."));

    // Every row hears every report; only the row of 9.10 takes it.
    QSignalSpy messages(row, &InstalledMatlabEntry::ReadableMsgChanged);
    list.installToolchainUriReceived(QStringLiteral("9.10"), QStringLiteral("Done"), 100, 0, false);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(row->readableMsg(), QStringLiteral("Done"));
    QVERIFY(!row->isBusy());
    QVERIFY(!row->errorHappened());
    QCOMPARE(list.installedMatlabs().at(0)->readableMsg(), QString());
    QCOMPARE(list.installedMatlabs().at(2)->readableMsg(), QString());
    QVERIFY(ErrorHandler::instance()->getNotification(first) == nullptr);
    const int second = row->notificationKey();
    QVERIFY(second > first);
    QCOMPARE(notificationText(second),
             QStringLiteral("Installing toolchain in MATLAB R2021a|Done"));
    // The toolchain versions follow the report, queued.
    QSignalSpy versions(row, &InstalledMatlabEntry::InstalledToolchainVersionChanged);
    QVERIFY(versions.wait(scaled(5000)));

    // Showing the list withdraws the notification; hiding it while idle makes none.
    list.setVisibility(true);
    QCOMPARE(row->notificationKey(), 0);
    QVERIFY(ErrorHandler::instance()->getNotification(second) == nullptr);
    list.setVisibility(false);
    QCOMPARE(row->notificationKey(), 0);

    // Hiding it while busy shows the last message again; a failure report marks the error.
    list.setVisibility(true);
    row->install();
    QCOMPARE(row->notificationKey(), 0);
    list.setVisibility(false);
    QCOMPARE(notificationText(row->notificationKey()),
             QStringLiteral(
                 "Installing toolchain in MATLAB R2021a|Downloading latest toolchain version."));
    list.installToolchainUriReceived(QStringLiteral("9.10"), QStringLiteral("Failed"), 100, 1,
                                     false);
    QVERIFY(row->errorHappened());
}

void TestToolchainList::uninstallWithoutToolchain()
{
    QTest::ignoreMessage(QtDebugMsg, "Unkown MATLAB version");
    ToolchainHandlerGUI list(nullptr, fakeMatlab());
    InstalledMatlabEntry *row = list.installedMatlabs().at(0);
    QVERIFY(!row->isInstalled());
    QSignalSpy messages(row, &InstalledMatlabEntry::ReadableMsgChanged);
    QSignalSpy errors(row, &InstalledMatlabEntry::ErrorHappenedChanged);
    row->uninstall();
    QCOMPARE(errors.size(), 1);
    QCOMPARE(messages.size(), 0);
    QVERIFY(!row->isBusy());
    QVERIFY(!list.engine().isDownloading());
    // An idle row makes no notification when the list goes off screen.
    list.setVisibility(true);
    list.setVisibility(false);
    QCOMPARE(row->notificationKey(), 0);
}

QTEST_MAIN(TestToolchainList)
#include "tst_toolchainList.moc"
