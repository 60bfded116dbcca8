// The toolchain's round trip through the program as it runs: the application object with its
// single-instance handler is the first instance; pressing Install downloads the package from the
// storage on 127.0.0.1, checks, decrypts and unpacks it and starts the fake MATLAB, which starts
// the real program with --uri. That second start hands the "nimbrel:" link over the local socket,
// and the link is what sets the row's toolchain version.
#include "InstalledMatlabEntry.h"
#include "MainApplication.h"
#include "ToolchainFixture.h"
#include "ToolchainHandlerGUI.h"
#include "UriHandler.h"

#include <QApplication>
#include <QFileInfo>
#include <QQmlContext>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

namespace {

QUrl writeQml(const QString &name, const QByteArray &text)
{
    const QString path = testRoot() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return {};
    return QUrl::fromLocalFile(path);
}

QString field(const QStringList &fields, const QString &name)
{
    for (const QString &f : fields)
        if (f.startsWith(name + QLatin1Char('=')))
            return f.mid(name.size() + 1);
    return QStringLiteral("<missing>");
}

} // namespace

class TestToolchainUri : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void rowsFromTheFoldersOnDisk();
    void installAndUninstallComeBackAsLinks();

private:
    ToolchainHandlerGUI *list() const;

    ToolchainFixture m_fixture;
    std::unique_ptr<UriHandler> m_uriHandler;
    std::unique_ptr<main_Application> m_application;
};

void TestToolchainUri::initTestCase()
{
    const QString program = qEnvironmentVariable("NIMBREL_APP");
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
    QVERIFY(m_fixture.start());
    // A release too old to have a version key, and a second copy of R2021a under the second
    // root: neither may get a row or be started.
    QVERIFY(m_fixture.matlab().addRelease(QStringLiteral("first"), QStringLiteral("R2005b"),
                                          QStringLiteral("7.01")));
    QVERIFY(m_fixture.matlab().addRelease(QStringLiteral("second"), QStringLiteral("R2021a"),
                                          QStringLiteral("9.10")));
    qputenv("FAKE_MATLAB_PROGRAM", program.toUtf8());

    // The first instance, as start-up makes it: the handler, then the application object, then
    // the handler's links to the application object.
    m_uriHandler = std::make_unique<UriHandler>(QStringLiteral("nimbrel"));
    QVERIFY(m_uriHandler->isFirstInstance());
    const QUrl qml = writeQml(QStringLiteral("window.qml"), "import QtQml\nQtObject {}\n");
    QVERIFY(!qml.isEmpty());
    m_application = std::make_unique<main_Application>(nullptr, qApp, qml);
    QVERIFY(m_application->isMainWindowLoaded());
    connect(m_uriHandler.get(), &UriHandler::appCalled, m_application.get(),
            &main_Application::uriReceived);
    QVERIFY(list());

    QVERIFY(m_fixture.publish(QStringLiteral("deflate"), QStringLiteral("1.4.0")));
}

void TestToolchainUri::cleanupTestCase()
{
    m_application.reset();
    m_uriHandler.reset();
}

ToolchainHandlerGUI *TestToolchainUri::list() const
{
    return qobject_cast<ToolchainHandlerGUI *>(
        m_application->engine().rootContext()->contextProperty("toolchainInstall").value<QObject *>());
}

void TestToolchainUri::rowsFromTheFoldersOnDisk()
{
    QStringList releases;
    for (const InstalledMatlabEntry *row : list()->installedMatlabs())
        releases << row->readableMatlabVersion();
    QCOMPARE(releases, (QStringList{ "R2020b", "R2021a", "R2022a" }));
    // The catalogue reached the rows through the engine.
    QTRY_COMPARE(list()->installedMatlabs().at(1)->latestToolchainVersion(),
                 QStringLiteral("1.4.0"));
    QCOMPARE(list()->installedMatlabs().at(1)->installButtonText(),
             QStringLiteral("Install 1.4.0"));
}

void TestToolchainUri::installAndUninstallComeBackAsLinks()
{
    const QList<InstalledMatlabEntry *> rows = list()->installedMatlabs();
    QCOMPARE(rows.size(), 3);
    InstalledMatlabEntry *row = rows.at(1);
    QCOMPARE(row->readableMatlabVersion(), QStringLiteral("R2021a"));
    QVERIFY(row->toolchainVersion().isEmpty());
    QVERIFY(m_fixture.matlab().allRecords().isEmpty());
    QSignalSpy links(m_uriHandler.get(), &UriHandler::appCalled);

    row->install();
    QCOMPARE(row->readableMsg(), QStringLiteral("Downloading latest toolchain version."));
    QVERIFY(row->isBusy());
    // Only the link sets the version: nothing else re-reads the version files while running.
    QTRY_COMPARE_WITH_TIMEOUT(row->toolchainVersion(), QStringLiteral("1.4.0"), scaled(60000));
    QCOMPARE(links.size(), 1);
    QCOMPARE(links.first().first().toUrl(),
             QUrl(QStringLiteral("nimbrel:install_tc?version=9.10&progress=100&flags=0")));
    QVERIFY(!row->isBusy());
    QVERIFY(!row->errorHappened());
    QVERIFY(row->isInstalled());
    QCOMPARE(row->installButtonText(), QStringLiteral("Reinstall"));
    QVERIFY(rows.at(0)->toolchainVersion().isEmpty());
    QVERIFY(rows.at(2)->toolchainVersion().isEmpty());
    QVERIFY(m_fixture.unpackedMatchesSources());

    const QString packageFolder = QFileInfo(ToolchainFixture::packageFolder()).canonicalFilePath();
    QTRY_COMPARE(m_fixture.matlab().allRecords().size(), 1);
    auto [release, fields] = m_fixture.matlab().allRecords().first();
    QCOMPARE(release, QStringLiteral("R2021a"));
    QCOMPARE(field(fields, QStringLiteral("cwd")), packageFolder);
    QCOMPARE(fields.filter(QRegularExpression(QStringLiteral("^arg="))),
             (QStringList{ "arg=-sd", "arg=" + packageFolder, "arg=-r",
                           "arg=installNimbrelToolchain", "arg=-nosplash" }));
    // The first root's copy was started, and the program's second start handed the link over.
    QCOMPARE(field(fields, QStringLiteral("launcher")),
             m_fixture.matlab().installFolder(QStringLiteral("first/R2021a/bin/matlab")));
    QCOMPARE(field(fields, QStringLiteral("uri_status")), QStringLiteral("0"));
    const QString versionFile
        = ToolchainFixture::versionFolder() + QStringLiteral("/R2021a_9_10.json");
    QVERIFY(QFileInfo::exists(versionFile));

    // The package is current now: uninstalling starts MATLAB at once, and its link clears the row.
    row->uninstall();
    QCOMPARE(row->readableMsg(), QStringLiteral("Starting MATLAB."));
    QTRY_VERIFY_WITH_TIMEOUT(row->toolchainVersion().isEmpty(), scaled(60000));
    QCOMPARE(links.size(), 2);
    QCOMPARE(links.last().first().toUrl(),
             QUrl(QStringLiteral("nimbrel:uninstall_tc?version=9.10&progress=100&flags=0")));
    QVERIFY(!row->isInstalled());
    QVERIFY(!QFileInfo::exists(versionFile));
    QTRY_COMPARE(m_fixture.matlab().allRecords().size(), 2);
    QStringList functions;
    for (const auto &[name, startFields] : m_fixture.matlab().allRecords()) {
        QCOMPARE(name, QStringLiteral("R2021a"));
        functions << startFields.filter(QRegularExpression(QStringLiteral("^arg="))).value(3);
    }
    functions.sort();
    QCOMPARE(functions,
             (QStringList{ "arg=installNimbrelToolchain", "arg=uninstallNimbrelToolchain" }));
}

QTEST_MAIN(TestToolchainUri)
#include "tst_toolchainUri.moc"
