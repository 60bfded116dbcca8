#include "AppFileHeader.h"
#include "AppFileTestRig.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace nimbrel::test;

// Taking up files: ELF imports, app-binary files of every header version, tag rewrites. The
// header oracle is tests/fixtures/napbf_header.py (Python struct); the ELF part is compared with
// tail and cmp.
class TestAppFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void importsElf_data();
    void importsElf();
    void secondImportGetsSuffix();
    void versionTextCannotLeaveLibrary();
    void importFailures_data();
    void importFailures();
    void upgradesOldHeaders_data();
    void upgradesOldHeaders();
    void refusesBadFiles_data();
    void refusesBadFiles();
    void headerSizeBoundedByFile_data();
    void headerSizeBoundedByFile();
    void copiesFromElsewhereOnly_data();
    void copiesFromElsewhereOnly();
    void tagsSurviveRereading();
    void failedRewriteKeepsFile_data();
    void failedRewriteKeepsFile();

private:
    QString m_elf;
    DeviceState m_device;
};

void TestAppFile::initTestCase()
{
    m_elf = rig::makeModelElf(QDir(testRoot()).filePath(QString()));
    QVERIFY(!m_elf.isEmpty());
}

void TestAppFile::init()
{
    ErrorHandler::instance()->clearNotifications();
}

void TestAppFile::importsElf_data()
{
    QTest::addColumn<QString>("versionText");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("versionNumber");

    QTest::newRow("three numbers") << "1.4.2"
                                   << "model[1.4.2].napbf"
                                   << "1.4.2";
    QTest::newRow("with a suffix") << "1.4.2-beta"
                                   << "model[1.4.2-beta].napbf"
                                   << "1.4.2";
    QTest::newRow("two numbers") << "v2.7"
                                 << "model[v2.7].napbf"
                                 << "2.7";
    QTest::newRow("none") << ""
                          << "model[].napbf"
                          << "";
    QTest::newRow("a slash only in the header") << "N/A"
                                                << "model[N_A].napbf"
                                                << "";
}

void TestAppFile::importsElf()
{
    QFETCH(QString, versionText);
    QFETCH(QString, fileName);
    QFETCH(QString, versionNumber);
    QTemporaryDir library;
    const QString buildId = QStringLiteral("0123456789abcdef");

    const auto file = rig::takeUp(m_elf, versionText, library.path(), m_device, nullptr,
                                  QStringLiteral("Pelto_Exploration"), buildId, 0x1234567B);
    QVERIFY(file->isValid());
    QCOMPARE(rig::filesIn(library.path()), QStringList{ fileName });
    const QString path = library.filePath(fileName);
    QCOMPARE(file->filePath(), path);
    QCOMPARE(file->getApplicationName(), QStringLiteral("model"));
    QVERIFY(rig::notifications().isEmpty());

    const QJsonObject h = rig::readHeader(path);
    QCOMPARE(h["magic"].toString(), QStringLiteral("2e41707046696c650000000000000000"));
    QCOMPARE(h["version"].toInt(), 3);
    QCOMPARE(h["header_size"].toInt(), 660);
    QCOMPARE(h["version_number"].toString(), versionNumber);
    QCOMPARE(h["firmware"].toInt(), 0);
    QCOMPARE(h["flags"].toInteger(), 0x1234567B);
    QCOMPARE(h["nibble"].toInt(), 0xB);
    QCOMPARE(h["board"].toInt(), 3);
    QCOMPARE(h["build_id_hex"].toString(),
             QString::fromLatin1(buildId.toLatin1().leftJustified(32, 0).toHex()));
    QCOMPARE(h["version_text"].toString(), versionText);
    QCOMPARE(h["app_name"].toString(), QStringLiteral("model"));
    const QDateTime written = QDateTime::fromString(h["time"].toString(), Qt::TextDate);
    QVERIFY2(qAbs(written.secsTo(QDateTime::currentDateTimeUtc())) < 60,
             qPrintable(h["time"].toString()));

    const auto cmp
        = runProcess(QStringLiteral("/bin/sh"),
                     { QStringLiteral("-c"), QStringLiteral("tail -c +661 \"$0\" | cmp - \"$1\""),
                       path, m_elf });
    QCOMPARE(cmp.exitCode, 0);
    QVERIFY(QFile::exists(m_elf));
}

void TestAppFile::secondImportGetsSuffix()
{
    QTemporaryDir library;
    const auto first = rig::takeUp(m_elf, "1.4.2", library.path(), m_device);
    const auto second = rig::takeUp(m_elf, "1.4.2", library.path(), m_device);
    QVERIFY(first->isValid() && second->isValid());
    QCOMPARE(rig::filesIn(library.path()),
             (QStringList{ "model[1.4.2]-1.napbf", "model[1.4.2].napbf" }));
    QCOMPARE(second->getApplicationName(), QStringLiteral("model-1"));
    QCOMPARE(rig::readHeader(library.filePath("model[1.4.2]-1.napbf"))["app_name"].toString(),
             QStringLiteral("model-1"));
}

void TestAppFile::versionTextCannotLeaveLibrary()
{
    // The version text arrives with a link. With a folder "model[x" inside the library, the text
    // x/../../escaped would name a file next to the library.
    QTemporaryDir root;
    const QString library = root.filePath("library");
    QVERIFY(QDir().mkpath(library + "/model[x"));
    const QString text = QStringLiteral("x/../../escaped");

    const auto file = rig::takeUp(m_elf, text, library, m_device);
    QVERIFY(file->isValid());
    QCOMPARE(rig::filesIn(root.path()), QStringList{ "library" });
    QCOMPARE(rig::filesIn(library), (QStringList{ "model[x", "model[x_.._.._escaped].napbf" }));
    QCOMPARE(rig::readHeader(file->filePath())["version_text"].toString(), text);
}

void TestAppFile::importFailures_data()
{
    QTest::addColumn<bool>("fromElf");

    QTest::newRow("ELF into a library that is a file") << true;
    QTest::newRow("copy onto a file of the same name") << false;
}

void TestAppFile::importFailures()
{
    QFETCH(bool, fromElf);
    QTemporaryDir root;
    QString source = m_elf;
    QString library = root.filePath("library");
    QFile blocker(fromElf ? library : root.filePath("library/model[1.0.0].napbf"));
    QVERIFY(QDir().mkpath(fromElf ? root.path() : library));
    QVERIFY(blocker.open(QIODevice::WriteOnly) && blocker.write("mine") == 4);
    blocker.close();
    if (!fromElf) {
        source = root.filePath("model[1.0.0].napbf");
        QVERIFY(rig::writeNapbf(source, m_elf,
                                { { "version_number", "1.0.0" }, { "version_text", "1.0.0" } }));
    }

    const auto file = rig::takeUp(source, "1.0.0", library, m_device);
    QVERIFY(!file->isValid());
    QCOMPARE(rig::notifications(),
             QStringList{ "Importing binary failed: Could not add the binary into the binary "
                          "list." });
    QCOMPARE(rig::readAll(blocker.fileName()), QByteArray("mine"));
    QVERIFY(QFile::exists(source));
}

void TestAppFile::upgradesOldHeaders_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("growth");
    QTest::addColumn<int>("board");

    QTest::newRow("version 1") << 1 << 308 << 0;
    QTest::newRow("version 2") << 2 << 304 << 4;
}

void TestAppFile::upgradesOldHeaders()
{
    QFETCH(int, version);
    QFETCH(int, growth);
    QFETCH(int, board);
    QTemporaryDir library;
    const QString path = library.filePath("model[1.0.0].napbf");
    const QString time = QStringLiteral("Tue Mar 4 05:06:07 2025 GMT");
    QVERIFY(rig::writeNapbf(path, m_elf,
                            { { "version", version },
                              { "version_number", "1.0.0" },
                              { "firmware", 7 },
                              { "flags", 0x51 },
                              { "nibble", 1 },
                              { "time", time },
                              { "build_id_hex", "c0ffee" },
                              { "board", 4 },
                              { "tags", QJsonArray{ "a", "", "c", "d" } } }));
    const qint64 before = QFileInfo(path).size();

    const auto file = rig::takeUp(path, QString(), library.path(), m_device);
    QVERIFY(file->isValid());
    QCOMPARE(file->headerVersion(), 3);
    QCOMPARE(file->boardType(), board);
    QCOMPARE(file->getApplicationName(), QStringLiteral("model"));
    QCOMPARE(file->versionText(), QStringLiteral("1.0.0"));
    QCOMPARE(file->createDate().toUTC(), QDateTime(QDate(2025, 3, 4), QTime(5, 6, 7), Qt::UTC));
    QCOMPARE(rig::filesIn(library.path()), QStringList{ "model[1.0.0].napbf" });
    QCOMPARE(QFileInfo(path).size(), before + growth);
    QCOMPARE(file->size(), before + growth);

    const QJsonObject h = rig::readHeader(path);
    QCOMPARE(h["version"].toInt(), 3);
    QCOMPARE(h["header_size"].toInt(), 660);
    QCOMPARE(h["version_number"].toString(), QStringLiteral("1.0.0"));
    QCOMPARE(h["firmware"].toInt(), 7);
    QCOMPARE(h["flags"].toInt(), 0x51);
    QCOMPARE(h["nibble"].toInt(), 1);
    QCOMPARE(h["board"].toInt(), board);
    QCOMPARE(h["tags"].toArray(), (QJsonArray{ "a", "", "c", "d" }));
    QCOMPARE(h["version_text"].toString(), QStringLiteral("1.0.0"));
    QCOMPARE(h["app_name"].toString(), QStringLiteral("model"));
    QCOMPARE(h["elf_hex"].toString(), QString::fromLatin1(rig::readAll(m_elf).toHex()));
    QCOMPARE(QDateTime::fromString(h["time"].toString(), Qt::TextDate),
             QDateTime::fromString(time, Qt::TextDate));

    const auto again = rig::takeUp(path, QString(), library.path(), m_device);
    QVERIFY(again->isValid());
    QCOMPARE(again->headerVersion(), 3);
    QCOMPARE(again->tag3(), QStringLiteral("c"));
    QCOMPARE(again->firmwareNumber(), 7);
    QCOMPARE(QFileInfo(path).size(), before + growth);
}

void TestAppFile::refusesBadFiles_data()
{
    QTest::addColumn<QJsonObject>("fields");
    QTest::addColumn<QByteArray>("after");

    const QByteArray noElf("MZ\0\0not an elf", 14);
    QTest::newRow("no ELF after the header") << QJsonObject{} << noElf;
    QTest::newRow("header size below 660")
        << QJsonObject{ { "header_size", 600 }, { "pad", false } } << QByteArray();
    QTest::newRow("header size beyond the file")
        << QJsonObject{ { "header_size", 100000 }, { "pad", false } } << QByteArray();
    QTest::newRow("header size of 4 GiB")
        << QJsonObject{ { "header_size", -1 }, { "pad", false } } << QByteArray();
    QTest::newRow("other magic") << QJsonObject{ { "magic", ".AppFilX" } } << QByteArray();
    QTest::newRow("version 1 magic")
        << QJsonObject{ { "version", 1 }, { "magic", "AppFile." } } << QByteArray();
}

void TestAppFile::refusesBadFiles()
{
    QFETCH(QJsonObject, fields);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString path = dir.filePath("bad[1.0.0].napbf");
    QString elf = m_elf;
    if (!after.isEmpty()) {
        elf = dir.filePath("notelf");
        QFile f(elf);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(after) == after.size());
    }
    QVERIFY(rig::writeNapbf(path, elf, fields));
    const QByteArray before = rig::sha256(path);

    const auto file = rig::takeUp(path, QString(), dir.path(), m_device);
    QVERIFY(!file->isValid());
    QCOMPARE(rig::sha256(path), before);
    QCOMPARE(rig::filesIn(dir.path()).size(), after.isEmpty() ? 1 : 2);
}

void TestAppFile::headerSizeBoundedByFile_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<quint32>("headerSize");
    QTest::addColumn<quint64>("fileSize");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("660") << 3 << 660u << quint64(700) << true;
    QTest::newRow("659") << 3 << 659u << quint64(700) << false;
    QTest::newRow("file size - 4") << 3 << 696u << quint64(700) << true;
    QTest::newRow("file size - 3") << 3 << 697u << quint64(700) << false;
    QTest::newRow("2 GiB") << 3 << 0x80000000u << quint64(700) << false;
    QTest::newRow("4 GiB - 1") << 3 << 0xFFFFFFFFu << quint64(700) << false;
    QTest::newRow("unknown version, larger header") << 9 << 1000u << quint64(4096) << true;
    QTest::newRow("version 0 reads a size too") << 0 << 100u << quint64(4096) << false;
    QTest::newRow("version 1 ignores the field") << 1 << 0xFFFFFFFFu << quint64(356) << true;
    QTest::newRow("version 1 in a short file") << 1 << 0u << quint64(355) << false;
    QTest::newRow("version 2 in a short file") << 2 << 0u << quint64(359) << false;
}

void TestAppFile::headerSizeBoundedByFile()
{
    QFETCH(int, version);
    QFETCH(quint32, headerSize);
    QFETCH(quint64, fileSize);
    QFETCH(bool, accepted);
    std::uint8_t probe[24] = { '.', 'A', 'p', 'p', 'F', 'i', 'l', 'e' };
    qToLittleEndian<qint32>(version, probe + 16);
    qToLittleEndian<quint32>(headerSize, probe + 20);
    const auto extent = appheader::headerExtent(probe, sizeof probe, fileSize);
    QCOMPARE(extent.has_value(), accepted);
    if (accepted)
        QVERIFY(extent->headerSize + 4 <= fileSize);
}

void TestAppFile::copiesFromElsewhereOnly_data()
{
    QTest::addColumn<QString>("libraryName");
    QTest::addColumn<bool>("elsewhere");

    QTest::newRow("same folder") << "library" << false;
    QTest::newRow("trailing slash") << "library/" << false;
    QTest::newRow("through a symlink") << "link" << false;
    QTest::newRow("through a symlink, trailing slash") << "link/" << false;
    QTest::newRow("dot segments") << "other/../library" << false;
    QTest::newRow("another folder") << "other" << true;
}

void TestAppFile::copiesFromElsewhereOnly()
{
    QFETCH(QString, libraryName);
    QFETCH(bool, elsewhere);
    QTemporaryDir root;
    const QString library = root.filePath("library");
    const QString other = root.filePath("other");
    const QString link = root.filePath("link");
    QVERIFY(QDir().mkpath(library) && QDir().mkpath(other));
    QVERIFY(QFile::link(library, link));
    const QString path = library + "/model[1.0.0].napbf";
    QVERIFY(rig::writeNapbf(path, m_elf,
                            { { "version_number", "1.0.0" }, { "version_text", "1.0.0" } }));
    const QString given = root.filePath(libraryName);

    const auto file = rig::takeUp(path, "1.0.0", given, m_device);
    QVERIFY(file->isValid());
    QVERIFY(rig::notifications().isEmpty());
    QCOMPARE(rig::filesIn(library), QStringList{ "model[1.0.0].napbf" });
    QCOMPARE(rig::filesIn(other), elsewhere ? QStringList{ "model[1.0.0].napbf" } : QStringList{});
    QCOMPARE(file->filePath(), elsewhere ? other + "/model[1.0.0].napbf" : path);
}

void TestAppFile::tagsSurviveRereading()
{
    QTemporaryDir library;
    const auto file = rig::takeUp(m_elf, "1.4.2", library.path(), m_device);
    QVERIFY(file->isValid());
    const QString path = file->filePath();
    QSignalSpy tag2(file.get(), &AppFile::tag2Changed);
    QSignalSpy tag4(file.get(), &AppFile::tag4Changed);
    const QString tooLong = QString(11, QChar(0x20AC)); // 33 bytes of UTF-8

    file->setTag2(QStringLiteral("lab"));
    file->setProperty("tag4", tooLong);
    QCOMPARE(tag2.size(), 1);
    QCOMPARE(tag2.at(0).at(0).toString(), QStringLiteral("lab"));
    QCOMPARE(tag4.size(), 1);
    QCOMPARE(file->tag4(), tooLong);
    QVERIFY(rig::notifications().isEmpty());

    const QJsonObject h = rig::readHeader(path);
    QCOMPARE(h["tags"].toArray(), (QJsonArray{ "", "lab", "", "" }));
    QCOMPARE(h["elf_hex"].toString(), QString::fromLatin1(rig::readAll(m_elf).toHex()));
    const auto again = rig::takeUp(path, QString(), library.path(), m_device);
    QCOMPARE(again->tag2(), QStringLiteral("lab"));
    QCOMPARE(again->tag4(), QString());
    QCOMPARE(again->getApplicationName(), QStringLiteral("model"));
}

void TestAppFile::failedRewriteKeepsFile_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("limitBelowNewSize");
    QTest::addColumn<QString>("expected");

    // The limit lets the header through but not the whole file: a write in place would leave a
    // new header over a cut or shifted ELF.
    QTest::newRow("upgrade of version 1")
        << 1 << "open" << 100 << "valid 0\nnotification Importing binary failed\n";
    QTest::newRow("upgrade of version 2")
        << 2 << "open" << 100 << "valid 0\nnotification Importing binary failed\n";
    QTest::newRow("tag rewrite") << 3 << "tag" << 100
                                 << "valid 1\nnotification Saving binary tag failed\n";
    QTest::newRow("tag rewrite without a limit") << 3 << "tag" << -4096 << "valid 1\n";
}

void TestAppFile::failedRewriteKeepsFile()
{
    QFETCH(int, version);
    QFETCH(QString, command);
    QFETCH(int, limitBelowNewSize);
    QFETCH(QString, expected);
    QTemporaryDir library;
    const QString path = library.filePath("model[1.0.0].napbf");
    QVERIFY(rig::writeNapbf(path, m_elf,
                            { { "version", version },
                              { "version_number", "1.0.0" },
                              { "tags", QJsonArray{ "old", "old" } } }));
    const QByteArray before = rig::sha256(path);
    const qint64 newSize = 660 + QFileInfo(m_elf).size();

    const auto r = runWithFileSizeLimit(newSize - limitBelowNewSize,
                                        QDir(binaryDir()).filePath("tests/staging/appFileProbe"),
                                        { command, path, library.path(), QStringLiteral("new") });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromUtf8(r.out), expected);
    QCOMPARE(rig::filesIn(library.path()), QStringList{ "model[1.0.0].napbf" });
    if (limitBelowNewSize > 0) {
        QCOMPARE(rig::sha256(path), before);
    } else {
        QCOMPARE(rig::readHeader(path)["tags"].toArray(), (QJsonArray{ "old", "new", "", "" }));
    }
}

QTEST_GUILESS_MAIN(TestAppFile)
#include "tst_appFile.moc"
