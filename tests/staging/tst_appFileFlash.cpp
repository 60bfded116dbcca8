#include "AppFileTestRig.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace nimbrel::test;

namespace {

const QString incorrectFirmware = QStringLiteral(
    "Binary flashing failed: The binary coult not be flashed on the connected device due to a "
    "incorrect firmware. Update the device and try again.");

// An app-binary file in `dir` written by the struct-only header writer around `elf`.
QString writeAppFile(const QString &dir, const QString &elf, int board, int firmware,
                     const QString &buildIdHex = QString())
{
    const QString path = QDir(dir).filePath("model[1.4.2].napbf");
    const bool ok = rig::writeNapbf(path, elf,
                                    { { "version_number", "1.4.2" },
                                      { "version_text", "1.4.2-rc" },
                                      { "app_name", "model" },
                                      { "flags", 0x40000001 },
                                      { "board", board },
                                      { "firmware", firmware },
                                      { "build_id_hex", buildIdHex } });
    return ok ? path : QString();
}

} // namespace

// Everything a listed file does after it was taken up: flash checks and the flash image, upload
// progress, the on-Pelto mark, delete, rename and the texts the list shows.
class TestAppFileFlash : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void flashChecks_data();
    void flashChecks();
    void flashSendsOracleImage();
    void unreadableElfIsNotSent();
    void changedFileIsRefused();
    void uploadProgress();
    void uploadState_data();
    void uploadState();
    void onPelto_data();
    void onPelto();
    void deleteReportsFailedTrash_data();
    void deleteReportsFailedTrash();
    void rename_data();
    void rename();
    void sizeText_data();
    void sizeText();

private:
    QString m_elf;
};

void TestAppFileFlash::initTestCase()
{
    m_elf = rig::makeModelElf(testRoot());
    QVERIFY(!m_elf.isEmpty());
}

void TestAppFileFlash::init()
{
    ErrorHandler::instance()->clearNotifications();
}

void TestAppFileFlash::flashChecks_data()
{
    QTest::addColumn<int>("fileBoard");
    QTest::addColumn<int>("firmware");
    QTest::addColumn<int>("deviceNumber");
    QTest::addColumn<int>("deviceBoard");
    QTest::addColumn<QString>("refusal");

    const QString incompatible = QStringLiteral(
        "Binary flashing failed: The binary coult not be flashed on the connected device due to "
        "an incompatibility problem. The current binary is compiled for a %1 where a %2 is "
        "connected. Connect the correct device and try again.");
    QTest::newRow("no Pelto") << 3 << 0 << -1 << 0 << incorrectFirmware;
    QTest::newRow("firmware below the device's") << 3 << 0 << 1 << 3 << incorrectFirmware;
    QTest::newRow("same board") << 3 << 0 << 0 << 3 << QString();
    QTest::newRow("firmware above the device's") << 3 << 5 << 2 << 3 << QString();
    QTest::newRow("other board") << 4 << 0 << 0 << 6
                                 << incompatible.arg("Pelto Industrial", "Pelto Rugged");
    QTest::newRow("generic binary on any board") << 1 << 0 << 0 << 7 << QString();
    QTest::newRow("unknown binary on any board") << 0 << 0 << 0 << 5 << QString();
    QTest::newRow("any binary on an unknown board") << 5 << 0 << 0 << 0 << QString();
    QTest::newRow("board 9 shows Unknown, refused by a known board")
        << 9 << 0 << 0 << 2 << incompatible.arg("Unknown", "Pelto Development Board");
    QTest::newRow("board 9 on an unknown board") << 9 << 0 << 0 << 0 << QString();
}

void TestAppFileFlash::flashChecks()
{
    QFETCH(int, fileBoard);
    QFETCH(int, firmware);
    QFETCH(int, deviceNumber);
    QFETCH(int, deviceBoard);
    QFETCH(QString, refusal);
    QTemporaryDir library;
    DeviceState device;
    const auto file = rig::takeUp(writeAppFile(library.path(), m_elf, fileBoard, firmware),
                                  QString(), library.path(), device);
    QVERIFY(file->isValid());
    QCOMPARE(file->getDeviceType(),
             fileBoard == 9 ? QStringLiteral("Unknown") : AppFile::boardTypeName(fileBoard, true));
    QSignalSpy canBeFlashed(file.get(), &AppFile::CanBeFlashedChanged);
    QSignalSpy flashed(file.get(), &AppFile::FlashAppBinSignal);

    device.number = deviceNumber;
    device.boardType = deviceBoard;
    file->connectedDeviceUpdated();
    QCOMPARE(canBeFlashed.size(), 1);
    QCOMPARE(canBeFlashed.at(0).at(0).toBool(), refusal.isEmpty());
    QCOMPARE(file->property("appCanBeFlashed").toBool(), refusal.isEmpty());

    file->flashAppFile();
    QCOMPARE(rig::notifications(), refusal.isEmpty() ? QStringList{} : QStringList{ refusal });
    QCOMPARE(flashed.size(), refusal.isEmpty() ? 1 : 0);
    QCOMPARE(file->isUploading(), refusal.isEmpty());
}

void TestAppFileFlash::flashSendsOracleImage()
{
    QTemporaryDir library;
    DeviceState device{ 0, 0, {} };
    const QString path = writeAppFile(library.path(), m_elf, 1, 0);
    const auto file = rig::takeUp(path, QString(), library.path(), device);
    QVERIFY(file->isValid());
    QSignalSpy flashed(file.get(), &AppFile::FlashAppBinSignal);

    file->flashAppFile();
    QCOMPARE(flashed.size(), 1);
    QCOMPARE(flashed.at(0).at(0).value<AppFile *>(), file.get());
    const auto image = flashed.at(0).at(1).value<QSharedPointer<QBuffer>>();
    QVERIFY(image);

    const QString expected = path + ".expected";
    const auto r = runProcess(python(),
                              { fixturePath("flash_image_oracle.py"), path, "1.4.2",
                                QString::number(0x40000001), "660", expected });
    QCOMPARE(r.out.trimmed(), QByteArray("image"));
    QCOMPARE(image->data().toHex(), rig::readAll(expected).toHex());
    QCOMPARE(image->data().size(), 404);
    QVERIFY(file->isUploading());
}

void TestAppFileFlash::unreadableElfIsNotSent()
{
    // The ELF magic after the header is all the header check looks at; the ELF behind it is cut
    // off in its program-header table.
    QTemporaryDir library;
    const QString cut = library.filePath("cut.elf");
    QFile out(cut);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QVERIFY(out.write(rig::readAll(m_elf).left(60)) == 60);
    out.close();
    DeviceState device{ 0, 0, {} };
    const QString path = writeAppFile(library.path(), cut, 0, 0);
    const auto file = rig::takeUp(path, QString(), library.path(), device);
    QVERIFY(file->isValid());
    QSignalSpy flashed(file.get(), &AppFile::FlashAppBinSignal);

    file->flashAppFile();
    QCOMPARE(flashed.size(), 0);
    QVERIFY(!file->isUploading());
    QCOMPARE(rig::notifications().size(), 1);
    QVERIFY(rig::notifications().first().startsWith("Binary flashing failed: "));
}

void TestAppFileFlash::changedFileIsRefused()
{
    QTemporaryDir library;
    DeviceState device{ 0, 0, {} };
    const QString path = writeAppFile(library.path(), m_elf, 0, 0);
    const auto file = rig::takeUp(path, QString(), library.path(), device);
    QVERIFY(file->isValid());
    QFile grow(path);
    QVERIFY(grow.open(QIODevice::Append) && grow.write("x") == 1);
    grow.close();
    QSignalSpy deleted(file.get(), &AppFile::RequestDelete);
    QSignalSpy flashed(file.get(), &AppFile::FlashAppBinSignal);

    file->flashAppFile();
    QCOMPARE(rig::notifications(),
             QStringList{ "Binary flashing failed: The binary coult not be flashed due to a "
                          "corruption a the file." });
    QCOMPARE(deleted.size(), 1);
    QCOMPARE(flashed.size(), 0);
    QVERIFY(QFile::exists(path));
}

void TestAppFileFlash::uploadProgress()
{
    QTemporaryDir library;
    DeviceState device{ 0, 0, {} };
    const auto file
        = rig::takeUp(writeAppFile(library.path(), m_elf, 0, 0), QString(), library.path(), device);
    QSignalSpy progress(file.get(), &AppFile::UploadProgressChanged);
    QSignalSpy finished(file.get(), &AppFile::uploadFinished);

    file->uploadProgressUpdated(0.5f); // not uploading: ignored
    QCOMPARE(progress.size(), 0);
    QCOMPARE(file->getUpdateProgress(), 0.0f);
    file->flashAppFile();
    QVERIFY(file->isUploading());
    file->uploadProgressUpdated(0.25f);
    file->uploadProgressUpdated(1.0f);
    QCOMPARE(progress.size(), 2);
    QCOMPARE(file->getUpdateProgress(), 1.0f);
    QCOMPARE(finished.size(), 1);
    QVERIFY(!file->isUploading());
    file->uploadProgressUpdated(0.75f);
    QCOMPARE(file->getUpdateProgress(), 0.0f);
    QCOMPARE(progress.size(), 2);
}

void TestAppFileFlash::uploadState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("final");
    QTest::addColumn<float>("progress");

    QTest::newRow("finished") << int(SoftwareUpdate::UpdateFinished) << true << 1.0f;
    QTest::newRow("timed out") << int(SoftwareUpdate::TimedOut) << true << 0.0f;
    QTest::newRow("error") << int(SoftwareUpdate::UpdateError) << true << 0.0f;
    QTest::newRow("sending") << int(SoftwareUpdate::SendBinaryData) << false << 0.4f;
    QTest::newRow("seed") << int(SoftwareUpdate::SeedRequested) << false << 0.4f;
    QTest::newRow("app running") << int(SoftwareUpdate::AppStillRunning) << false << 0.4f;
}

// The channel's final states end the upload whatever the last progress figure was; the others
// leave it running, so later progress still counts.
void TestAppFileFlash::uploadState()
{
    QFETCH(int, state);
    QFETCH(bool, final);
    QFETCH(float, progress);

    QTemporaryDir library;
    DeviceState device{ 0, 0, {} };
    const auto file
        = rig::takeUp(writeAppFile(library.path(), m_elf, 0, 0), QString(), library.path(), device);
    file->flashAppFile();
    QVERIFY(file->isUploading());
    file->uploadProgressUpdated(0.4f);
    QSignalSpy changed(file.get(), &AppFile::UploadProgressChanged);

    file->uploadStateUpdated(SoftwareUpdate::UpdateState(state));
    QCOMPARE(file->isUploading(), !final);
    QCOMPARE(file->getUpdateProgress(), progress);
    QCOMPARE(changed.size(), final ? 1 : 0);
    if (final)
        QCOMPARE(changed.first().at(0).toFloat(), progress);

    // After a final state a late progress figure is no longer the upload's.
    file->uploadProgressUpdated(0.6f);
    QCOMPARE(file->getUpdateProgress(), final ? 0.0f : 0.6f);
}

void TestAppFileFlash::onPelto_data()
{
    QTest::addColumn<QString>("fileBuildIdHex");
    QTest::addColumn<QByteArray>("deviceBuildId");
    QTest::addColumn<bool>("onPelto");

    const QByteArray id("1a2b3c4d5e6f");
    QTest::newRow("same build") << QString::fromLatin1(id.toHex()) << id << true;
    QTest::newRow("other build") << QString::fromLatin1(QByteArray("1a2b3c4d5e60").toHex()) << id
                                 << false;
    QTest::newRow("device reports nothing")
        << QString::fromLatin1(id.toHex()) << QByteArray() << false;
    QTest::newRow("32 zero bytes are no build ID")
        << QString(64, '0') << QByteArray(1, '\0') << false;
    QTest::newRow("32 zero digits are no build ID")
        << QString::fromLatin1(QByteArray(32, '0').toHex()) << QByteArray("00") << false;
}

void TestAppFileFlash::onPelto()
{
    QFETCH(QString, fileBuildIdHex);
    QFETCH(QByteArray, deviceBuildId);
    QFETCH(bool, onPelto);
    QTemporaryDir library;
    DeviceState device{ 0, 0, {} };
    const auto file = rig::takeUp(writeAppFile(library.path(), m_elf, 0, 0, fileBuildIdHex),
                                  QString(), library.path(), device);
    QVERIFY(file->isValid());
    QSignalSpy changed(file.get(), &AppFile::IsOnPeltoChanged);
    device.buildId = deviceBuildId;
    file->connectedDeviceUpdated();
    file->connectedDeviceUpdated();
    QCOMPARE(file->getIsOnPelto(), onPelto);
    QCOMPARE(changed.size(), onPelto ? 1 : 0);
}

void TestAppFileFlash::deleteReportsFailedTrash_data()
{
    QTest::addColumn<int>("trash");
    QTest::addColumn<bool>("gone");

    QTest::newRow("trash refuses") << 0 << false;
    QTest::newRow("trash takes it") << 1 << true;
    QTest::newRow("the desktop trash") << 2 << true;
}

void TestAppFileFlash::deleteReportsFailedTrash()
{
    QFETCH(int, trash);
    QFETCH(bool, gone);
    QTemporaryDir library;
    DeviceState device;
    FakeTrash fake(trash == 1);
    const QString path = writeAppFile(library.path(), m_elf, 0, 0);
    const auto file
        = rig::takeUp(path, QString(), library.path(), device, trash == 2 ? nullptr : &fake);
    QVERIFY(file->isValid());
    QSignalSpy deleted(file.get(), &AppFile::RequestDelete);

    file->deleteAppFile();
    QCOMPARE(fake.moved, trash == 2 ? QStringList{} : QStringList{ path });
    QCOMPARE(QFile::exists(path), !gone);
    QCOMPARE(deleted.size(), gone ? 1 : 0);
    QCOMPARE(rig::notifications().size(), gone ? 0 : 1);
    if (trash == 2) {
        // freedesktop.org trash under the test's own XDG_DATA_HOME
        const QString trashed
            = qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files/model[1.4.2].napbf";
        QCOMPARE(rig::readHeader(trashed)["app_name"].toString(), QStringLiteral("model"));
    }
}

void TestAppFileFlash::rename_data()
{
    QTest::addColumn<QString>("newName");
    QTest::addColumn<bool>("renamed");

    QTest::newRow("plain name") << "flight model" << true;
    QTest::newRow("name of another file") << "other" << false;
    QTest::newRow("into the parent folder") << "../escaped" << false;
    QTest::newRow("empty") << "" << false;
}

void TestAppFileFlash::rename()
{
    QFETCH(QString, newName);
    QFETCH(bool, renamed);
    QTemporaryDir library;
    DeviceState device;
    const QString path = writeAppFile(library.path(), m_elf, 0, 0);
    QFile other(library.filePath("other.napbf"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();
    const auto file = rig::takeUp(path, QString(), library.path(), device);
    QVERIFY(file->isValid());
    QSignalSpy changed(file.get(), &AppFile::FileNameChanged);

    file->setFileName(newName);
    QCOMPARE(changed.size(), renamed ? 1 : 0);
    QCOMPARE(file->property("fileName").toString(), renamed ? newName : "model[1.4.2]");
    QCOMPARE(QFile::exists(path), !renamed);
    QCOMPARE(QFile::exists(library.filePath(newName + ".napbf")), renamed || newName == "other");
    QCOMPARE(rig::filesIn(QFileInfo(library.path()).absolutePath()).contains("escaped.napbf"),
             false);
    QCOMPARE(rig::notifications(),
             renamed ? QStringList{}
                     : QStringList{ "Binary renaming failed: Renaming binary file failed. Try "
                                    "again with a different name." });
    QCOMPARE(file->getApplicationName(), QStringLiteral("model"));
}

void TestAppFileFlash::sizeText_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("1 500 bytes") << 1500 << "1KB";
    QTest::newRow("300 bytes") << 300 << "0KB";
    QTest::newRow("5 000 000 bytes") << 5000000 << "5MB";
    QTest::newRow("just below 1 MiB") << 1048575 << "1024KB";
}

void TestAppFileFlash::sizeText()
{
    QFETCH(int, bytes);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QFile f(dir.filePath("sized.bin"));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(bytes));
    f.close();
    DeviceState device;
    const auto file = rig::takeUp(f.fileName(), QString(), dir.path(), device);
    QVERIFY(!file->isValid());
    QCOMPARE(file->getFileSize(), text);
    QCOMPARE(file->property("fileSizeBytes").toInt(), bytes);
}

QTEST_GUILESS_MAIN(TestAppFileFlash)
#include "tst_appFileFlash.moc"
