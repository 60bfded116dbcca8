#include "AppBinaryManager.h"
#include "AppFileTestRig.h"
#include "NotificationMsgProgressButton.h"
#include "QOlm.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

namespace {

QString homeLibrary()
{
    return QDir::homePath() + QStringLiteral("/NimbrelStudio/AppBinaries");
}

// Empties the library folder between tests; the folder itself must stay (the watcher has it).
void emptyLibrary()
{
    QDir dir(homeLibrary());
    for (const QString &name : dir.entryList(QDir::Files | QDir::NoDotAndDotDot))
        dir.remove(name);
}

QStringList listedNames(const AppBinaryManager &library)
{
    QStringList names;
    for (const AppFile *file : library.list()->toList())
        names << file->baseName();
    names.sort();
    return names;
}

int livingFiles(const AppBinaryManager &library)
{
    return int(library.findChildren<AppFile *>(Qt::FindDirectChildrenOnly).size());
}

NotificationMsgProgressButton *currentOffer(const AppBinaryManager &library)
{
    return qobject_cast<NotificationMsgProgressButton *>(
        ErrorHandler::instance()->getNotification(library.offerKey()));
}

// Waits until the folder watcher's rescan after the last write has run: a rescan rebuilds every
// row, so a row object that survives a round trip means no rescan is pending.
bool settled(AppBinaryManager &library)
{
    QSignalSpy changed(&library, &AppBinaryManager::AppBinaryListChanged);
    return !changed.wait(scaled(1500)) || settled(library);
}

} // namespace

// The library folder, the roads in, duplicates, rescans and what a rescan keeps alive; no device
// is attached here (the end-to-end tests attach simulated Peltos).
class TestAppBinaryManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void importByCallGetsSuffixAndRescanKeepsBoth();
    void duplicates_data();
    void duplicates();
    void tagsAndRenameSurviveRescan();
    void handCopiedFileShowsUpNewestFirst();
    void screenImportKeepsItsRow();
    void refusedImportsAreNotified_data();
    void refusedImportsAreNotified();
    void rowsThatLeaveAreDeleted();
    void newBinaryWithoutDeviceOffersConnect();
    void boardTypeOfDevice_data();
    void boardTypeOfDevice();

private:
    QTemporaryDir m_dir;
    QString m_elf;
};

void TestAppBinaryManager::initTestCase()
{
    m_elf = rig::makeModelElf(m_dir.path());
    QVERIFY(!m_elf.isEmpty());
}

void TestAppBinaryManager::init()
{
    ErrorHandler::instance()->clearNotifications();
    emptyLibrary();
}

void TestAppBinaryManager::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// An ELF given by call twice: two app-binary files, the second with "-1", both listed again
// after the rescan their creation causes.
void TestAppBinaryManager::importByCallGetsSuffixAndRescanKeepsBoth()
{
    AppBinaryManager library;
    QAbstractItemModelTester listTester(library.list());
    QAbstractItemModelTester proxyTester(library.getAppBinaryList());
    QVERIFY(library.isReady());
    QCOMPARE(QFileInfo(library.libraryFolder()).canonicalFilePath(),
             QFileInfo(homeLibrary()).canonicalFilePath());

    library.pushElfBinaryFromUri(m_elf, QStringLiteral("1.4.2"), QString(), QString());
    library.pushElfBinaryFromUri(m_elf, QStringLiteral("1.4.2"), QString(), QString());
    QVERIFY(settled(library));
    QCOMPARE(rig::filesIn(homeLibrary()),
             (QStringList{ "model[1.4.2]-1.napbf", "model[1.4.2].napbf" }));
    QCOMPARE(listedNames(library), (QStringList{ "model[1.4.2]", "model[1.4.2]-1" }));
    QCOMPARE(library.getAppBinaryList()->rowCount(), 2);
    // Both headers are the format's own, read back by the struct-only reader.
    QCOMPARE(rig::readHeader(QDir(homeLibrary()).filePath("model[1.4.2]-1.napbf"))["app_name"]
                 .toString(),
             QStringLiteral("model-1"));
    // An invalid file is not listed.
    QTest::ignoreMessage(QtDebugMsg, "File is not a valid app elf file");
    library.pushElfBinaryFromFile(m_dir.filePath("missing.elf"));
    QCOMPARE(library.list()->count(), 2);
}

void TestAppBinaryManager::duplicates_data()
{
    QTest::addColumn<QString>("firstBuild");
    QTest::addColumn<QString>("secondBuild");
    QTest::addColumn<bool>("fromLibraryFile");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("refused");

    // Build IDs as the toolchain's links give them: 32 characters, filling the header's field.
    const QString same = QStringLiteral("5ea1ed0b1d0000000000000000000001");
    const QString other = QStringLiteral("5ea1ed0b1d0000000000000000000002");

    QTest::newRow("same build ID: the copy goes")
        << same << same << false << QStringList{ "model[1.4.2].napbf" } << true;
    QTest::newRow("other build ID")
        << same << other << false << QStringList{ "model[1.4.2]-1.napbf", "model[1.4.2].napbf" }
        << false;
    QTest::newRow("no build ID: two binaries")
        << ""
        << "" << false << QStringList{ "model[1.4.2]-1.napbf", "model[1.4.2].napbf" } << false;
    // The user opens a file that lies in the library already: refused, and it stays.
    QTest::newRow("the library's own file")
        << same << same << true << QStringList{ "model[1.4.2].napbf" } << true;
}

void TestAppBinaryManager::duplicates()
{
    QFETCH(QString, firstBuild);
    QFETCH(QString, secondBuild);
    QFETCH(bool, fromLibraryFile);
    QFETCH(QStringList, files);
    QFETCH(bool, refused);

    AppBinaryManager library;
    const QByteArray original = rig::sha256(m_elf);
    library.pushElfBinaryFromUri(m_elf, QStringLiteral("1.4.2"), firstBuild, QString());
    QVERIFY(settled(library));
    ErrorHandler::instance()->clearNotifications();
    if (fromLibraryFile)
        library.pushElfBinaryFromFile(QDir(homeLibrary()).filePath("model[1.4.2].napbf"));
    else
        library.pushElfBinaryFromUri(m_elf, QStringLiteral("1.4.2"), secondBuild, QString());
    QVERIFY(settled(library));

    QCOMPARE(rig::filesIn(homeLibrary()), files);
    QCOMPARE(library.list()->count(), files.size());
    QCOMPARE(rig::sha256(m_elf), original);
    const QStringList refusal{ QStringLiteral(
        "Importing binary failed: Could not add the binary into the binary list. This binary is "
        "already added to the binary list") };
    QCOMPARE(rig::notifications().filter(QStringLiteral("Importing")),
             refused ? refusal : QStringList());
    // Refused or not, nothing is left behind but the rows and the file the offer names.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const bool offerOffList
        = library.offerFile() && !library.list()->toList().contains(library.offerFile());
    QCOMPARE(livingFiles(library), library.list()->count() + (offerOffList ? 1 : 0));
}

// Tags live in the header and names on disk: the rows a rescan builds show both.
void TestAppBinaryManager::tagsAndRenameSurviveRescan()
{
    AppBinaryManager library;
    library.pushElfBinaryFromUri(m_elf, QStringLiteral("1.4.2"), QString(), QString());
    QVERIFY(settled(library));
    QCOMPARE(library.list()->count(), 1);
    AppFile *file = library.list()->get(0);
    file->setTag2(QStringLiteral("field test"));
    QVERIFY(settled(library));
    library.list()->get(0)->setFileName(QStringLiteral("renamed"));
    QVERIFY(settled(library));

    QCOMPARE(rig::filesIn(homeLibrary()), QStringList{ "renamed.napbf" });
    QCOMPARE(rig::readHeader(QDir(homeLibrary()).filePath("renamed.napbf"))["tags"][1].toString(),
             QStringLiteral("field test"));
    library.handleFolderChanged();
    QCOMPARE(library.list()->count(), 1);
    QCOMPARE(library.list()->get(0)->baseName(), QStringLiteral("renamed"));
    QCOMPARE(library.list()->get(0)->tag2(), QStringLiteral("field test"));
}

void TestAppBinaryManager::handCopiedFileShowsUpNewestFirst()
{
    AppBinaryManager library;
    QAbstractItemModelTester proxyTester(library.getAppBinaryList());
    library.pushElfBinaryFromUri(m_elf, QStringLiteral("1.0.0"), QString(), QString());
    QVERIFY(settled(library));

    const QString outside = m_dir.filePath("copied[2.0.0].napbf");
    const QString tomorrow = QDateTime::currentDateTimeUtc().addDays(1).toString(Qt::TextDate);
    QVERIFY(rig::writeNapbf(
        outside, m_elf,
        { { "version_number", "2.0.0" }, { "app_name", "copied" }, { "time", tomorrow } }));
    QVERIFY(QFile::copy(outside, QDir(homeLibrary()).filePath("copied[2.0.0].napbf")));
    QTRY_COMPARE_WITH_TIMEOUT(library.list()->count(), 2, scaled(5000));
    const QModelIndex top = library.getAppBinaryList()->index(0, 0);
    QCOMPARE(top.data(Qt::DisplayRole).toString(), QStringLiteral("copied[2.0.0]"));

    // A filter on the shown name, whatever the case.
    library.setFilterQuery(QStringLiteral("COPIED*"));
    QCOMPARE(library.getAppBinaryList()->rowCount(), 1);
    library.setFilterQuery(QString());
    // Oldest first on request.
    library.setSortColumn(QByteArrayLiteral("createDate"), Qt::AscendingOrder);
    QCOMPARE(library.getAppBinaryList()->index(0, 0).data(Qt::DisplayRole).toString(),
             QStringLiteral("model[1.0.0]"));
}

// The screen's import selects the new row and neither rescans nor uploads.
void TestAppBinaryManager::screenImportKeepsItsRow()
{
    AppBinaryManager library;
    QSignalSpy changed(&library, &AppBinaryManager::AppBinaryListChanged);
    library.importAppBinary(QUrl::fromLocalFile(m_elf));
    QCOMPARE(library.list()->count(), 1);
    QPointer<AppFile> row = library.list()->get(0);
    QVERIFY(row->isSelected());
    QVERIFY(!changed.wait(scaled(1500)));
    QVERIFY(row);
    QCOMPARE(library.list()->get(0), row.data());
    QCOMPARE(rig::filesIn(homeLibrary()), QStringList{ "model[].napbf" });
}

void TestAppBinaryManager::refusedImportsAreNotified_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    QTest::newRow("text file") << "text" << "is not an app-binary or ELF file";
    QTest::newRow("wrong magic") << "magic" << "is not an app-binary or ELF file";
    QTest::newRow("no ELF after the header") << "noelf" << "header is damaged";
    QTest::newRow("header cut short") << "short" << "header is damaged";
}

// A file the library cannot take is refused where the person sees it, once per import; nothing
// is listed and nothing is left in the library folder.
void TestAppBinaryManager::refusedImportsAreNotified()
{
    QFETCH(QString, kind);
    QFETCH(QString, says);
    const QString path = m_dir.filePath(QStringLiteral("refused-") + kind + ".napbf");
    QFile::remove(path);
    if (kind == QLatin1String("text")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("just some notes, not a binary\n");
    } else if (kind == QLatin1String("magic")) {
        QVERIFY(rig::writeNapbf(path, m_elf, { { "magic", "NotAFile" } }));
    } else if (kind == QLatin1String("noelf")) {
        const QString notes = m_dir.filePath(QStringLiteral("notes.txt"));
        QFile file(notes);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("no ELF here");
        file.close();
        QVERIFY(rig::writeNapbf(path, notes, { { "version_text", "1.0.0" } }));
    } else {
        QVERIFY(rig::writeNapbf(path, m_elf, { { "version_text", "1.0.0" } }));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(300));
    }
    AppBinaryManager library;
    QVERIFY(settled(library));
    library.importAppBinary(QUrl::fromLocalFile(path));
    QCOMPARE(library.list()->count(), 0);
    const NotificationList told = ErrorHandler::instance()->getNotificationList();
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.first()->getTitle(), QStringLiteral("Importing binary failed"));
    QVERIFY2(told.first()->getMessage().contains(QFileInfo(path).fileName())
                 && told.first()->getMessage().contains(says),
             qPrintable(told.first()->getMessage()));
    QCOMPARE(rig::filesIn(homeLibrary()), QStringList{});
}

// Every rescan builds new rows; the old ones must go, except the file an offer still names.
void TestAppBinaryManager::rowsThatLeaveAreDeleted()
{
    AppBinaryManager library;
    library.pushElfBinaryFromFile(m_elf);
    library.pushElfBinaryFromFile(m_elf);
    QVERIFY(settled(library));
    QPointer<AppFile> offered = library.offerFile();
    QVERIFY(offered);
    for (int i = 0; i < 5; ++i)
        library.handleFolderChanged();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(library.list()->count(), 2);
    // The two rows and the offer's file, which no longer is a row.
    QCOMPARE(livingFiles(library), 3);
    QVERIFY(offered);
    QVERIFY(!library.list()->toList().contains(offered.data()));

    // A row deleted from the list goes as well.
    library.list()->get(0)->deleteAppFromList();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(library.list()->count(), 1);

    // Once the offer is gone, so is its file.
    ErrorHandler::instance()->removeFromList(library.offerKey());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!offered);
    QCOMPARE(library.offerKey(), 0);
    QCOMPARE(library.offerState(), 0);
    QCOMPARE(livingFiles(library), library.list()->count());
}

void TestAppBinaryManager::newBinaryWithoutDeviceOffersConnect()
{
    AppBinaryManager library;
    QSignalSpy query(&library, &AppBinaryManager::QueryPeltoSoftwareUpdate);
    library.pushElfBinaryFromUri(m_elf, QStringLiteral("1.4.2"), QString(), QString());
    QCOMPARE(library.offerState(), 2);
    NotificationMsgProgressButton *offer = currentOffer(library);
    QVERIFY(offer);
    QCOMPARE(offer->getTitle(), QStringLiteral("Connect device to upload model"));
    QCOMPARE(offer->getMessage(),
             QStringLiteral("A model is available for uploading. Connect a supported device to "
                            "upload this model."));
    QCOMPARE(offer->getButtonName(), QStringLiteral("Upload"));
    QVERIFY(!offer->getButtonEnabled());
    QCOMPARE(offer->getOrigin(), QStringLiteral("Binary list"));
    QCOMPARE(library.deviceNumber(), -1);

    // A second binary replaces the offer without a completion message.
    library.pushElfBinaryFromUri(m_elf, QStringLiteral("1.4.3"), QString(), QString());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(ErrorHandler::instance()->getNotificationCount(), 1u);
    QCOMPARE(currentOffer(library)->getTitle(), QStringLiteral("Connect device to upload model"));
    QCOMPARE(library.offerFile()->versionText(), QStringLiteral("1.4.3"));
    QCOMPARE(query.size(), 0);
}

void TestAppBinaryManager::boardTypeOfDevice_data()
{
    QTest::addColumn<int>("extendedType");
    QTest::addColumn<int>("boardType");
    QTest::newRow("no shield") << 0 << int(AppFile::Pelto_Exploration);
    QTest::newRow("shield X9") << 9 << int(AppFile::Pelto_Exploration);
    QTest::newRow("industrial") << 10 << int(AppFile::Pelto_Industrial);
    QTest::newRow("EVK") << 11 << int(AppFile::Pelto_Generic);
    QTest::newRow("dev board") << 12 << int(AppFile::Pelto_Development_Board);
    QTest::newRow("Torvik") << 13 << int(AppFile::Torvik);
    QTest::newRow("test board") << 14 << int(AppFile::Unknown);
    QTest::newRow("rugged") << 15 << int(AppFile::Pelto_Rugged);
    QTest::newRow("Sorvyn") << 16 << int(AppFile::Sorvyn);
    QTest::newRow("CES") << 17 << int(AppFile::Unknown);
    QTest::newRow("Quintar") << 22 << int(AppFile::Torvik);
    QTest::newRow("Torvik 1.5") << 23 << int(AppFile::Torvik);
    QTest::newRow("read error") << -1 << int(AppFile::Unknown);
    QTest::newRow("echo test") << 256 << int(AppFile::Unknown);
}

void TestAppBinaryManager::boardTypeOfDevice()
{
    QFETCH(int, extendedType);
    QFETCH(int, boardType);
    QCOMPARE(AppBinaryManager::boardTypeFor(extendedType), boardType);
}

QTEST_GUILESS_MAIN(TestAppBinaryManager)
#include "tst_appBinaryManager.moc"
