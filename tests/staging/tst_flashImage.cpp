#include "AppBinTools.h"
#include "ElfReader.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <QtEndian>

using namespace nimbrel::test;

namespace {

QByteArray hexRange(int from, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char(from + i));
    return bytes;
}

QJsonObject segment(quint64 vaddr, const QByteArray &bytes, qint64 memsz = -1, int type = 1)
{
    QJsonObject s{ { "vaddr", double(vaddr) },
                   { "hex", QString::fromLatin1(bytes.toHex()) },
                   { "type", type } };
    if (memsz >= 0)
        s.insert("memsz", double(memsz));
    return s;
}

QJsonObject elfDescription(int bits, const char *endian, const QJsonArray &segments,
                           qint64 appInfo = -1)
{
    QJsonObject d{ { "class", bits }, { "endian", endian }, { "segments", segments } };
    if (appInfo >= 0)
        d.insert("sections",
                 QJsonArray{ QJsonObject{ { "name", ".appinfo" }, { "addr", double(appInfo) } } });
    return d;
}

// A file written by the struct-only ELF writer of the fixtures.
QString writeElf(const QString &name, const QJsonObject &description)
{
    const QString path = QDir(testRoot()).filePath(name);
    const auto r = runProcess(
        python(),
        { fixturePath("make_elf.py"), path,
          QString::fromUtf8(QJsonDocument(description).toJson(QJsonDocument::Compact)) });
    if (r.exitCode != 0)
        qWarning() << r.err;
    return r.exitCode == 0 ? path : QString();
}

// The image as pyelftools and crcmod see it; a null array when the oracle refuses the file.
QByteArray oracleImage(const QString &path, const QString &name, quint32 flags, int offset,
                       bool *refused)
{
    const QString out = path + ".oracle";
    const auto r = runProcess(python(),
                              { fixturePath("flash_image_oracle.py"), path, name,
                                QString::number(flags), QString::number(offset), out });
    *refused = r.out.trimmed() == "null";
    if (r.exitCode != 0)
        qWarning() << r.err;
    if (r.exitCode != 0 || *refused)
        return {};
    QFile f(out);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QSharedPointer<QBuffer> imageOf(const QString &path, const QString &name, quint32 flags, int offset)
{
    AppBinTools tools;
    return tools.elfToFlashImage(path, name, flags, offset);
}

quint32 u32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// The two-segment ELF of the design notes: 0x100 bytes 00..FF at 0x20000000, then 16 x 0xAA at
// 0x20000100 reserving 0x40.
QJsonArray exampleSegments()
{
    return { segment(0x20000000, hexRange(0, 0x100)),
             segment(0x20000100, QByteArray(16, char(0xAA)), 0x40) };
}

// A Cortex-M application linked by binutils-arm-none-eabi from tests/fixtures.
QString linkCortexM()
{
    const QString dir = testRoot();
    const QString object = QDir(dir).filePath("cortexm_app.o");
    const QString elf = QDir(dir).filePath("cortexm_app.elf");
    const auto as = runProcess("arm-none-eabi-as", { "-o", object, fixturePath("cortexm_app.s") });
    if (as.exitCode != 0) {
        qWarning() << "arm-none-eabi-as (binutils-arm-none-eabi):" << as.err;
        return {};
    }
    const auto ld = runProcess(
        "arm-none-eabi-ld",
        { "--no-warn-rwx-segments", "-T", fixturePath("cortexm_app.ld"), "-o", elf, object });
    if (ld.exitCode != 0) {
        qWarning() << "arm-none-eabi-ld:" << ld.err;
        return {};
    }
    return elf;
}

} // namespace

class TestFlashImage : public QObject
{
    Q_OBJECT

private slots:
    void writtenExample_data();
    void writtenExample();
    void matchesOracle_data();
    void matchesOracle();
    void readerMatchesReadelf();
    void refusesUnsoundFiles_data();
    void refusesUnsoundFiles();
};

void TestFlashImage::writtenExample_data()
{
    QTest::addColumn<QJsonObject>("elf");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<quint32>>("records");
    QTest::addColumn<quint32>("tableCrc");
    QTest::addColumn<QByteArray>("nameField");
    QTest::addColumn<QByteArray>("data");

    const QByteArray data = hexRange(0, 0x100) + QByteArray(16, char(0xAA)) + QByteArray(48, 0);
    QTest::newRow("two segments") << elfDescription(32, "<", exampleSegments()) << "1.4.2" << 404
                                  << QList<quint32>{ 0x54,  0x20000000, 0x100, 0x494A116A,
                                                     0x154, 0x20000100, 0x40,  0x2EC565F5 }
                                  << quint32(0x5203A940) << QByteArray("1.4.2").leftJustified(16, 0)
                                  << data;
    QTest::newRow("no segments") << elfDescription(64, ">", {}) << "1.4.2" << 52 << QList<quint32>{}
                                 << quint32(0xFFFFFFFF) << QByteArray("1.4.2").leftJustified(16, 0)
                                 << QByteArray();
    QTest::newRow("17 byte version cut at 16")
        << elfDescription(32, "<", {}) << "123.456.7890123456" << 52 << QList<quint32>{}
        << quint32(0xFFFFFFFF) << QByteArray("123.456.78901234") << QByteArray();
    QTest::newRow("exactly 16 bytes, no terminating zero")
        << elfDescription(32, "<", {}) << "1234567890.12.14" << 52 << QList<quint32>{}
        << quint32(0xFFFFFFFF) << QByteArray("1234567890.12.14") << QByteArray();
}

void TestFlashImage::writtenExample()
{
    QFETCH(QJsonObject, elf);
    QFETCH(QString, version);
    QFETCH(int, size);
    QFETCH(QList<quint32>, records);
    QFETCH(quint32, tableCrc);
    QFETCH(QByteArray, nameField);
    QFETCH(QByteArray, data);

    const QString path = writeElf("example.elf", elf);
    QVERIFY(!path.isEmpty());
    const auto buffer = imageOf(path, version, 0xA5, 0);
    QVERIFY(buffer);
    QVERIFY(buffer->isOpen());
    QCOMPARE(buffer->pos(), buffer->size());
    const QByteArray image = buffer->data();
    QCOMPARE(image.size(), size);
    QCOMPARE(u32(image, 0), 1u);
    QCOMPARE(image.mid(4, 16), nameField);
    QCOMPARE(u32(image, 20), 0xA5u);
    QCOMPARE(u32(image, 24), 0u);
    QCOMPARE(image.mid(28, 16), QByteArray(16, 0));
    QCOMPARE(u32(image, 44), quint32(records.size() / 4));
    QCOMPARE(u32(image, 48), tableCrc);
    for (int i = 0; i < records.size(); ++i)
        QCOMPARE(u32(image, 52 + 4 * i), records.at(i));
    QCOMPARE(image.mid(52 + 4 * int(records.size())), data);
}

void TestFlashImage::matchesOracle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("offset");
    QTest::addColumn<quint32>("appInfo");

    // Every program header counts, whatever its type; .appinfo trims the first; the third has
    // more file bytes than memory; the fourth is all reserved memory.
    const QJsonArray segments{ segment(0x08000000, hexRange(0x10, 0x80)),
                               segment(0x08000100, QByteArray("note"), -1, 4),
                               segment(0x20000000, hexRange(0x40, 0x30), 0x20),
                               segment(0x20001000, {}, 0x24) };
    for (int bits : { 32, 64 }) {
        for (const char *endian : { "<", ">" }) {
            const QString name
                = QStringLiteral("elf%1%2").arg(bits).arg(*endian == '<' ? "le" : "be");
            QTest::newRow(qPrintable(name))
                << writeElf(name + ".elf", elfDescription(bits, endian, segments, 0x40)) << 0
                << 0x40u;
        }
    }
    QTest::newRow(".appinfo at the end of the first segment")
        << writeElf("appinfo-end.elf", elfDescription(32, "<", segments, 0x80)) << 0 << 0x80u;
    QTest::newRow("no .appinfo") << writeElf("plain.elf",
                                             elfDescription(64, "<", exampleSegments()))
                                 << 0 << 0u;
    // Without section headers the last segment's bytes are the last bytes of the file.
    QJsonObject atTheEnd = elfDescription(32, "<", exampleSegments());
    atTheEnd.insert("no_sections", true);
    QTest::newRow("segment data ending at the end of the file")
        << writeElf("data-at-end.elf", atTheEnd) << 0 << 0u;
    // 52 + 16 + memory size: the largest image taken.
    QTest::newRow("image of exactly 64 MiB") << writeElf(
        "64mib.elf",
        elfDescription(32, "<", { segment(0x20000000, hexRange(0, 16), 64 * 1024 * 1024 - 68) }))
                                             << 0 << 0u;

    QJsonObject prefixed = elfDescription(32, ">", segments, 0x10);
    prefixed.insert("prefix", QString::fromLatin1(QByteArray(660, char(0x5A)).toHex()));
    QTest::newRow("behind a 660-byte header") << writeElf("prefixed.bin", prefixed) << 660 << 0x10u;

    const QString cortexM = linkCortexM();
    QTest::newRow("Cortex-M application") << cortexM << 0 << 0x200u;

    // The ELF behind an odd-sized text member of an ar archive, the way a toolchain may hand it
    // over: ar pads that member with one byte, which the search must step over. With its symbol
    // index (the ELF defines a global symbol) the text is the second member; without (ar's S
    // modifier) it is the first, whose size is read from the archive's first header.
    const QString readme = QDir(testRoot()).filePath("readme.txt");
    QFile text(readme);
    if (text.open(QIODevice::WriteOnly))
        text.write("odd-sized first member, 39 bytes long.\n");
    text.close();
    for (const bool index : { true, false }) {
        const QString archive = QDir(testRoot()).filePath(index ? "app.a" : "app-noindex.a");
        QFile::remove(archive);
        const auto ar = runProcess("ar", { index ? "rc" : "rcS", archive, readme, cortexM });
        // Premise: ar wrote the text member with its odd size, first when there is no index.
        QFile written(archive);
        QVERIFY(ar.exitCode == 0 && written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        const qsizetype header = bytes.indexOf("readme.txt/");
        QVERIFY(header >= 8);
        QCOMPARE(bytes.mid(header + 48, 10).trimmed(), QByteArray("39"));
        QCOMPARE(header == 8, !index);
        QTest::newRow(index ? "ar archive, odd-sized member after the index"
                            : "ar archive, odd-sized first member")
            << archive << 0 << 0x200u;
    }
}

void TestFlashImage::matchesOracle()
{
    QFETCH(QString, path);
    QFETCH(int, offset);
    QFETCH(quint32, appInfo);
    QVERIFY2(!path.isEmpty(), "fixture not made");

    bool refused = false;
    const QByteArray expected = oracleImage(path, "2.7.1-rc", 0x80000003u, offset, &refused);
    QVERIFY(!refused);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(u32(expected, 24), appInfo);

    AppBinTools tools;
    const auto buffer = tools.elfToFlashImage(path, "2.7.1-rc", 0x80000003u, offset);
    QVERIFY(buffer);
    if (expected.size() <= 1024 * 1024) {
        QCOMPARE(buffer->data().toHex(), expected.toHex());
    } else {
        QCOMPARE(buffer->data().size(), expected.size());
        QVERIFY(buffer->data() == expected);
    }
    QCOMPARE(tools.appInfoOffset(), appInfo);
}

void TestFlashImage::readerMatchesReadelf()
{
    const QString path = linkCortexM();
    QVERIFY(!path.isEmpty());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ElfReader reader;
    QVERIFY(reader.load(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                        std::size_t(bytes.size())));

    const auto r = runProcess("readelf", { "-lSW", path });
    QCOMPARE(r.exitCode, 0);
    const QString out = QString::fromLatin1(r.out);
    static const QRegularExpression load(
        R"(^\s+(LOAD|NOTE|NULL)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+)"
        R"(0x[0-9a-f]+\s+0x([0-9a-f]+)\s+0x([0-9a-f]+))",
        QRegularExpression::MultilineOption);
    QList<ElfSegment> listed;
    for (auto it = load.globalMatch(out); it.hasNext();) {
        const auto m = it.next();
        listed.append(
            { 0, m.captured(2).toULongLong(nullptr, 16), m.captured(3).toULongLong(nullptr, 16),
              m.captured(4).toULongLong(nullptr, 16), m.captured(5).toULongLong(nullptr, 16) });
    }
    QCOMPARE(qsizetype(reader.segments().size()), listed.size());
    QVERIFY(listed.size() >= 2);
    for (qsizetype i = 0; i < listed.size(); ++i) {
        const ElfSegment &s = reader.segments()[std::size_t(i)];
        QCOMPARE(s.offset, listed[i].offset);
        QCOMPARE(s.virtualAddress, listed[i].virtualAddress);
        QCOMPARE(s.fileSize, listed[i].fileSize);
        QCOMPARE(s.memorySize, listed[i].memorySize);
    }

    static const QRegularExpression appinfo(R"(\]\s+\.appinfo\s+\S+\s+([0-9a-f]+))");
    const auto m = appinfo.match(out);
    QVERIFY(m.hasMatch());
    QCOMPARE(reader.sectionAddress(".appinfo"),
             std::optional<std::uint64_t>(m.captured(1).toULongLong(nullptr, 16)));
    QCOMPARE(reader.sectionAddress(".appinf"), std::nullopt);
}

void TestFlashImage::refusesUnsoundFiles_data()
{
    QTest::addColumn<QJsonObject>("elf");
    QTest::addColumn<bool>("readable");

    // The trim would lower the first segment's file size below zero while the memory size stays
    // sound: the image would take its bytes from the next segment's data.
    QTest::newRow(".appinfo past the file size") << elfDescription(
        32, "<",
        { segment(0x0, hexRange(0, 0x100), 0x400), segment(0x1000, hexRange(0x80, 0x300)) }, 0x200)
                                                 << true;
    QTest::newRow(".appinfo past the memory size")
        << elfDescription(64, "<", { segment(0x0, hexRange(0, 0x300), 0x100) }, 0x200) << true;
    QTest::newRow(".appinfo without a segment") << elfDescription(32, ">", {}, 0x10) << true;
    QTest::newRow("image above 64 MiB")
        << elfDescription(32, "<", { segment(0x20000000, hexRange(0, 16), 0x4000000) }) << true;
    QTest::newRow("image one byte above 64 MiB")
        << elfDescription(32, "<", { segment(0x20000000, hexRange(0, 16), 64 * 1024 * 1024 - 67) })
        << true;
    QTest::newRow("sizes that wrap 32 bits") << elfDescription(
        32, "<",
        { segment(0x0, hexRange(0, 16), 0xFFFFFFF0), segment(0x0, hexRange(0, 16), 0x100) })
                                             << true;
    QJsonObject beyond = elfDescription(64, ">", { segment(0x0, hexRange(0, 0x40)) });
    QJsonObject s = beyond["segments"].toArray()[0].toObject();
    s.insert("offset", 0x100000);
    beyond.insert("segments", QJsonArray{ s });
    QTest::newRow("segment data beyond the end of the file") << beyond << false;
    // libelf itself would report these tables as shorter ones.
    QJsonObject cut = elfDescription(32, "<", exampleSegments());
    cut.insert("truncate", 60);
    QTest::newRow("file cut in the program headers") << cut << false;
    QJsonObject overlong = elfDescription(64, "<", exampleSegments());
    overlong.insert("phnum", 60);
    QTest::newRow("program-header table beyond the file") << overlong << false;
    // Three entries stated, two in the file, and no section table: the segments present point
    // into the file, so only the count gives the cut away.
    QJsonObject headersCut{
        { "class", 32 }, { "endian", "<" }, { "no_sections", true }, { "truncate", 52 + 2 * 32 }
    };
    QJsonArray intoHeader;
    for (int i = 0; i < 3; ++i)
        intoHeader.append(QJsonObject{ { "vaddr", 0x100 * i }, { "offset", 0 }, { "filesz", 16 } });
    headersCut.insert("segments", intoHeader);
    QTest::newRow("program headers cut, no section table") << headersCut << false;
    // The names would be read from bytes the section does not hold.
    QJsonObject namesWithoutBytes = elfDescription(32, "<", exampleSegments(), 0x10);
    namesWithoutBytes.insert("shstrtab_type", 8);
    QTest::newRow("section-name table of type NOBITS") << namesWithoutBytes << false;
    QJsonObject notElf = elfDescription(32, "<", exampleSegments());
    notElf.insert("prefix", "00");
    QTest::newRow("no ELF magic at the offset") << notElf << false;
}

void TestFlashImage::refusesUnsoundFiles()
{
    QFETCH(QJsonObject, elf);
    QFETCH(bool, readable);
    const QString path = writeElf("unsound.elf", elf);
    QVERIFY(!path.isEmpty());

    // Premise: the independent oracle refuses the file too, and where the ELF itself is sound the
    // refusal comes from the image, not from the reader.
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ElfReader reader;
    QCOMPARE(reader.load(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                         std::size_t(bytes.size())),
             readable);
    bool refused = false;
    oracleImage(path, "1.0.0", 0, 0, &refused);
    QVERIFY(refused);

    QVERIFY(!imageOf(path, "1.0.0", 0, 0));
}

QTEST_GUILESS_MAIN(TestFlashImage)
#include "tst_flashImage.moc"
