#include "FileControlChannel.h"
#include "ServiceTestRig.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace nimbrel::test;

namespace {

QByteArray le16(int v)
{
    QByteArray b(2, '\0');
    qToLittleEndian<quint16>(quint16(v), b.data());
    return b;
}
QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian<quint32>(v, b.data());
    return b;
}
QByteArray le64(quint64 v)
{
    QByteArray b(8, '\0');
    qToLittleEndian<quint64>(v, b.data());
    return b;
}

// A reply as the device sends it; `length` replaces the computed length field when not -1.
QByteArray reply(int code, int response, const QByteArray &payload, qint64 length = -1)
{
    return le32(quint32(length < 0 ? payload.size() + 7 : length)) + le16(code)
        + QByteArray(1, char(response)) + payload;
}

QByteArray dirEntry(qint64 seconds, quint32 size, int type, const QByteArray &name)
{
    return le64(quint64(seconds)) + le32(size) + le16(type) + le16(int(name.size())) + name;
}

QByteArray fileHeader(qint64 seconds, quint32 size, const QByteArray &name)
{
    return le64(quint64(seconds)) + le32(size) + le16(int(name.size())) + name;
}

// Cuts `bytes` into `parts` frames of nearly equal size.
QList<QByteArray> split(const QByteArray &bytes, int parts)
{
    QList<QByteArray> out;
    const qsizetype step = (bytes.size() + parts - 1) / parts;
    for (qsizetype i = 0; i < bytes.size(); i += step)
        out << bytes.mid(i, step);
    return out;
}

const QByteArray listing = dirEntry(1700000000, 1234, 8, "run1.zlf")
    + dirEntry(1700000100, 0, 4, "logs") + dirEntry(-5, 0xFFFFFFFF, 8, "Ärger.zlf");

const QString listingEvent = QStringLiteral(
    "list 1 [run1.zlf/8/1234/1700000000, logs/4/0/1700000100, Ärger.zlf/8/4294967295/-5]");

// Every reply signal of the channel as one line of text, in order.
struct Recorder : QObject
{
    QStringList events;

    explicit Recorder(FileControlChannel *c)
    {
        using C = FileControlChannel;
        auto text = [this](const char *name) {
            return [this, name](C::ResponseCode r, const QString &t) {
                events << QStringLiteral("%1 %2 %3").arg(QLatin1String(name)).arg(int(r)).arg(t);
            };
        };
        connect(c, &C::RemoveFileReceived, this, text("removeFile"));
        connect(c, &C::RenameFileReceived, this, text("renameFile"));
        connect(c, &C::MakeDirReceived, this, text("makeDir"));
        connect(c, &C::RemoveDirReceived, this, text("removeDir"));
        connect(c, &C::RenameDirReceived, this, text("renameDir"));
        connect(c, &C::UploadFileReceived, this,
                [this](C::ResponseCode r) { events << QStringLiteral("upload %1").arg(int(r)); });
        connect(c, &C::ListDirReceived, this,
                [this](C::ResponseCode r, const QList<C::DirEntry> &l) {
                    QStringList items;
                    for (const C::DirEntry &e : l)
                        items << QStringLiteral("%1/%2/%3/%4")
                                     .arg(e.name)
                                     .arg(e.type)
                                     .arg(e.size)
                                     .arg(e.modified.toSecsSinceEpoch());
                    events << QStringLiteral("list %1 [%2]")
                                  .arg(int(r))
                                  .arg(items.join(QStringLiteral(", ")));
                });
        connect(c, &C::GetAvailableStorageReceived, this,
                [this](C::ResponseCode r, qulonglong total, qulonglong free,
                       filectrlpayload::AvailableStorage::FSStatus s) {
                    events << QStringLiteral("storage %1 %2 %3 %4")
                                  .arg(int(r))
                                  .arg(total)
                                  .arg(free)
                                  .arg(int(s));
                });
        connect(c, &C::DownloadFileToBufReceived, this,
                [this](C::ResponseCode r, const C::DirEntry &e, QByteArray &data) {
                    events << QStringLiteral("buf %1 %2/%3/%4/%5 %6")
                                  .arg(int(r))
                                  .arg(e.name)
                                  .arg(e.type)
                                  .arg(e.size)
                                  .arg(e.modified.isValid() ? e.modified.toSecsSinceEpoch() : -1)
                                  .arg(QString::fromLatin1(data.toHex()));
                });
        connect(c, &C::DownloadFileReceived, this, [this](C::ResponseCode r, const QString &path) {
            events << QStringLiteral("download %1 %2").arg(int(r)).arg(QFileInfo(path).fileName());
        });
    }
};

struct Channel
{
    ServiceRig rig;
    FileControlChannel channel{ nullptr, 9, true, &rig.manager };
    Recorder recorder{ &channel };

    void feed(const QList<QByteArray> &frames)
    {
        for (const QByteArray &f : frames)
            rig.link->inject(9, f);
    }
    QList<QByteArray> sent() const { return rig.link->payloads(9); }
};

// Files in `dir`, the temporary ones of a pending or failed download included.
QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

class TestFileControlChannel : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void requests_data();
    void requests();
    void uploadMustFitOneFrame_data();
    void uploadMustFitOneFrame();
    void downloads_data();
    void downloads();
    void downloadRefusals();
    void failedOpenEndsTheDownload();
    void closingEndsTheDownload();
    void safeNames_data();
    void safeNames();
};

void TestFileControlChannel::replies_data()
{
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("warnings");

    const QByteArray list = reply(6, 1, listing);
    const QByteArray storage = reply(10, 1, le64(8000000000ULL) + le64(123456789) + le32(2));
    QTest::newRow("listing in one frame")
        << QList<QByteArray>{ list } << QStringList{ listingEvent } << QStringList{};
    QTest::newRow("listing over three frames")
        << split(list, 3) << QStringList{ listingEvent } << QStringList{};
    QTest::newRow("empty listing") << QList<QByteArray>{ reply(6, 1, {}) }
                                   << QStringList{ QStringLiteral("list 1 []") } << QStringList{};
    QTest::newRow("7 bytes, length 0: dispatched")
        << QList<QByteArray>{ reply(6, 3, {}, 0) } << QStringList{ QStringLiteral("list 3 []") }
        << QStringList{};
    QTest::newRow("8 bytes, length 0: corrupt")
        << QList<QByteArray>{ reply(6, 1, "x", 0), reply(4, 1, "/a") }
        << QStringList{ QStringLiteral("removeFile 1 /a") }
        << QStringList{ QStringLiteral("D:Corrupt data") };
    QTest::newRow("two replies in one frame")
        << QList<QByteArray>{ list + storage }
        << QStringList{ listingEvent, QStringLiteral("storage 1 8000000000 123456789 2") }
        << QStringList{};
    QTest::newRow("second reply starts in the first frame")
        << QList<QByteArray>{ storage + list.left(20), list.mid(20) }
        << QStringList{ QStringLiteral("storage 1 8000000000 123456789 2"), listingEvent }
        << QStringList{};
    QTest::newRow("absurd length: dropped, next frame parsed")
        << QList<QByteArray>{ reply(6, 1, listing, 0xFFFFFFF0u), reply(7, 1, "/new") }
        << QStringList{ QStringLiteral("makeDir 1 /new") }
        << QStringList{ QStringLiteral("W:Reply length 4294967280 above 268435456 bytes; receive "
                                       "buffer dropped") };
    QTest::newRow("trailing partial entry")
        << QList<QByteArray>{ reply(6, 1, listing + dirEntry(1, 2, 8, "cut.zlf").left(20)) }
        << QStringList{ listingEvent }
        << QStringList{ QStringLiteral("W:Listing ends inside an entry; 20 bytes ignored") };
    QTest::newRow("entry name running past the end")
        << QList<QByteArray>{ reply(6, 1, dirEntry(1, 2, 8, "whole.zlf").chopped(1)) }
        << QStringList{ QStringLiteral("list 1 []") }
        << QStringList{ QStringLiteral("W:Listing ends inside an entry; 24 bytes ignored") };
    QTest::newRow("names that would leave a folder")
        << QList<QByteArray>{ reply(6, 1,
                                    dirEntry(1, 1, 8, "../x.zlf") + dirEntry(1, 1, 4, "..")
                                        + dirEntry(1, 1, 4, ".") + dirEntry(1, 1, 8, "a\\b")
                                        + dirEntry(1, 1, 8, QByteArray("n\0l", 3))
                                        + dirEntry(1, 1, 8, "") + dirEntry(7, 9, 8, "ok.zlf")) }
        << QStringList{ QStringLiteral("list 1 [ok.zlf/8/9/7]") }
        << QStringList{ QStringLiteral("W:Listing entry with unusable name dropped: \"../x.zlf\""),
                        QStringLiteral("W:Listing entry with unusable name dropped: \"..\""),
                        QStringLiteral("W:Listing entry with unusable name dropped: \".\""),
                        QStringLiteral("W:Listing entry with unusable name dropped: \"a\\\\b\""),
                        QStringLiteral("W:Listing entry with unusable name dropped: \"n\\u0000l\""),
                        QStringLiteral("W:Listing entry with unusable name dropped: \"\"") };
    QTest::newRow("text replies, error codes passed on")
        << QList<QByteArray>{ reply(4, 1, "/logs/a.zlf"),
                              reply(5, 1, "/logs/b.zlf"),
                              reply(7, 5, ""),
                              reply(8, 1, "/old"),
                              reply(9, 1, QByteArray("/new\0", 5)),
                              reply(3, 4, "") }
        << QStringList{ QStringLiteral("removeFile 1 /logs/a.zlf"),
                        QStringLiteral("renameFile 1 /logs/b.zlf"),
                        QStringLiteral("makeDir 5 "),
                        QStringLiteral("removeDir 1 /old"),
                        QStringLiteral("renameDir 1 /new") + QChar(0),
                        QStringLiteral("upload 4") }
        << QStringList{};
    QTest::newRow("unknown code dropped")
        << QList<QByteArray>{ reply(11, 1, "zz"), reply(0, 1, ""), reply(8, 1, "/d") }
        << QStringList{ QStringLiteral("removeDir 1 /d") } << QStringList{};
    QTest::newRow("short storage reply ignored")
        << QList<QByteArray>{ reply(10, 1, le64(1)) } << QStringList{}
        << QStringList{ QStringLiteral("W:Storage reply of 8 bytes ignored") };
    QTest::newRow("download to buffer")
        << QList<QByteArray>{ reply(1, 1, fileHeader(1700000000, 3, "a.zlf") + "abc"),
                              reply(1, 2, "") }
        << QStringList{ QStringLiteral("buf 1 a.zlf/8/3/1700000000 616263"),
                        QStringLiteral("buf 2 /0/0/-1 ") }
        << QStringList{};
    QTest::newRow("download to buffer over three frames")
        << split(reply(1, 1, fileHeader(5, 2000, "big.zlf") + QByteArray(2000, 'q')), 3)
        << QStringList{ QStringLiteral("buf 1 big.zlf/8/2000/5 ")
                        + QString::fromLatin1(QByteArray(2000, 'q').toHex()) }
        << QStringList{};
    QTest::newRow("download to buffer with a path for a name")
        << QList<QByteArray>{ reply(1, 1, fileHeader(5, 1, "../x.zlf") + "a") }
        << QStringList{ QStringLiteral("buf 255 /0/0/-1 ") }
        << QStringList{ QStringLiteral("W:Download reply without a usable file header ignored") };
}

void TestFileControlChannel::replies()
{
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, warnings);
    for (const QString &w : warnings)
        QTest::ignoreMessage(w.startsWith(u'D') ? QtDebugMsg : QtWarningMsg, qPrintable(w.mid(2)));
    Channel c;
    c.feed(frames);
    QCOMPARE(c.recorder.events, expected);
}

void TestFileControlChannel::requests_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("rename file, old name first")
        << 5 << QStringLiteral("abcde") << QStringLiteral("vwxyz")
        << QByteArray::fromHex("17000000050000"
                               "0500616263646500"
                               "0500767778797a00");
    QTest::newRow("rename dir") << 9 << QStringLiteral("/logs") << QStringLiteral("old")
                                << QByteArray::fromHex("15000000090000"
                                                       "05002f6c6f677300"
                                                       "03006f6c6400");
    // "Ä" is two bytes in UTF-8: the length counts what is sent, not UTF-16 units.
    QTest::newRow("rename, non-ASCII name") << 5 << QStringLiteral("Ä") << QStringLiteral("b")
                                            << QByteArray::fromHex("10000000050000"
                                                                   "0200c38400"
                                                                   "01006200");
    QTest::newRow("list dir") << 6 << QStringLiteral("/logs") << QString()
                              << QByteArray::fromHex("0d000000060000"
                                                     "2f6c6f677300");
    QTest::newRow("remove file") << 4 << QStringLiteral("a") << QString()
                                 << QByteArray::fromHex("09000000040000"
                                                        "6100");
    QTest::newRow("make dir") << 7 << QStringLiteral("d") << QString()
                              << QByteArray::fromHex("09000000070000"
                                                     "6400");
    QTest::newRow("remove dir") << 8 << QStringLiteral("d") << QString()
                                << QByteArray::fromHex("09000000080000"
                                                       "6400");
    QTest::newRow("download to buffer") << 1 << QStringLiteral("/ü") << QString()
                                        << QByteArray::fromHex("0b000000010000"
                                                               "2fc3bc00");
    QTest::newRow("storage") << 10 << QString() << QString()
                             << QByteArray::fromHex("070000000a0000");
    QTest::newRow("upload, non-ASCII path") << 3 << QStringLiteral("é") << QStringLiteral("xyz")
                                            << QByteArray::fromHex("10000000030000"
                                                                   "0200c3a9"
                                                                   "030078797a");
}

void TestFileControlChannel::requests()
{
    QFETCH(int, operation);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QByteArray, expected);
    Channel c;
    FileControlChannel &ch = c.channel;
    switch (operation) {
    case 1:
        ch.downloadFileToBuf(a);
        break;
    case 3:
        ch.uploadFile(a, b.toUtf8());
        break;
    case 4:
        ch.removeFile(a);
        break;
    case 5:
        ch.renameFile(a, b);
        break;
    case 6:
        ch.listDir(a);
        break;
    case 7:
        ch.makeDir(a);
        break;
    case 8:
        ch.removeDir(a);
        break;
    case 9:
        ch.renameDir(a, b);
        break;
    case 10:
        ch.getAvailableStorage();
        break;
    default:
        QFAIL("unknown operation");
    }
    bool reliable = false;
    QCOMPARE(c.rig.link->payloads(9, &reliable), QList<QByteArray>{ expected });
    QVERIFY(reliable);
}

void TestFileControlChannel::uploadMustFitOneFrame_data()
{
    QTest::addColumn<int>("dataSize");
    QTest::addColumn<bool>("sent");
    // 7 header + 2 + 5 path + 2 = 16 bytes before the data; a frame carries 1018.
    QTest::newRow("fills the frame") << 1002 << true;
    QTest::newRow("one byte over") << 1003 << false;
    QTest::newRow("wraps the 16-bit length") << 65536 + 10 << false;
}

void TestFileControlChannel::uploadMustFitOneFrame()
{
    QFETCH(int, dataSize);
    QFETCH(bool, sent);
    Channel c;
    if (!sent)
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("Upload of .* refused")));
    c.channel.uploadFile(QStringLiteral("a.bin"), QByteArray(dataSize, 'u'));
    const QList<QByteArray> out = c.sent();
    QCOMPARE(out.size(), sent ? 1 : 0);
    QCOMPARE(c.recorder.events, sent ? QStringList{} : QStringList{ QStringLiteral("upload 255") });
    if (sent) {
        QCOMPARE(out[0].size(), 1018);
        QCOMPARE(qFromLittleEndian<quint16>(out[0].constData() + 14), quint16(dataSize));
    }
}

void TestFileControlChannel::downloads_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("content"); // expected under the final name; null: no file
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QList<float>>("progress");

    const QByteArray data = QByteArray(2500, '\0') + "tail";
    QTest::newRow("empty file completes on its first chunk")
        << QList<QByteArray>{ reply(2, 1, fileHeader(1700000000, 0, "empty.zlf")) }
        << QByteArray("") << QStringLiteral("download 1 out.zlf") << QList<float>{ 1.0f };
    QTest::newRow("three chunks")
        << QList<QByteArray>{ reply(2, 1,
                                    fileHeader(1700000000, 2504, "run.zlf") + data.left(1000)),
                              reply(2, 1, data.mid(1000, 1004)), reply(2, 1, data.mid(2004)) }
        << data << QStringLiteral("download 1 out.zlf")
        << QList<float>{ 1000 / 2504.f, 2004 / 2504.f, 1.0f };
    QTest::newRow("chunks arriving in one frame")
        << QList<QByteArray>{ reply(2, 1, fileHeader(1700000000, 6, "a.zlf") + "abc")
                              + reply(2, 1, "def") }
        << QByteArray("abcdef") << QStringLiteral("download 1 out.zlf")
        << QList<float>{ 0.5f, 1.0f };
    QTest::newRow("error reply at the second chunk")
        << QList<QByteArray>{ reply(2, 1, fileHeader(1, 3000, "run.zlf") + data.left(1000)),
                              reply(2, 4, ""), reply(2, 1, data.mid(1000, 1000)) }
        << QByteArray() << QStringLiteral("download 4 ") << QList<float>{ 1000 / 3000.f };
    QTest::newRow("error reply first") << QList<QByteArray>{ reply(2, 3, "") } << QByteArray()
                                       << QStringLiteral("download 3 ") << QList<float>{};
    QTest::newRow("more than announced")
        << QList<QByteArray>{ reply(2, 1, fileHeader(1, 4, "a.zlf") + "abc"), reply(2, 1, "de") }
        << QByteArray() << QStringLiteral("download 255 ") << QList<float>{ 0.75f };
    QTest::newRow("header names a path")
        << QList<QByteArray>{ reply(2, 1, fileHeader(1, 3, "../x.zlf") + "abc") } << QByteArray()
        << QStringLiteral("download 255 ") << QList<float>{};
    QTest::newRow("header cut short")
        << QList<QByteArray>{ reply(2, 1, fileHeader(1, 3, "abc.zlf").left(16)) } << QByteArray()
        << QStringLiteral("download 255 ") << QList<float>{};
}

void TestFileControlChannel::downloads()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QFETCH(QList<float>, progress);
    QTemporaryDir dir(testRoot() + QStringLiteral("/dl-XXXXXX"));
    const QString out = dir.filePath(QStringLiteral("out.zlf"));
    Channel c;
    QList<float> seen;
    connect(&c.channel, &FileControlChannel::Progress, this, [&](float p, const QString &name) {
        QCOMPARE(name, out);
        seen << p;
    });
    QCOMPARE(c.channel.downloadFile(QStringLiteral("/logs/run.zlf"), out), 0);
    QCOMPARE(c.sent(), QList<QByteArray>{ reply(2, 0, QByteArray("/logs/run.zlf") + '\0') });
    c.feed(chunks);

    QCOMPARE(c.recorder.events, QStringList{ expected });
    QCOMPARE(seen.size(), progress.size());
    for (qsizetype i = 0; i < seen.size(); ++i)
        QVERIFY2(std::fabs(seen[i] - progress[i]) < 1e-6f, qPrintable(QString::number(seen[i])));
    QVERIFY(!c.channel.isDownloadPending());
    if (content.isNull()) {
        QCOMPARE(filesIn(dir.path()), QStringList{});
    } else {
        QCOMPARE(filesIn(dir.path()), QStringList{ QStringLiteral("out.zlf") });
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), content);
        // The device's modification time travels with the file.
        QCOMPARE(f.fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch(), 1700000000);
    }
    // The next download is accepted whatever became of this one.
    QCOMPARE(c.channel.downloadFile(QStringLiteral("/next"), dir.filePath(QStringLiteral("n"))), 0);
}

void TestFileControlChannel::downloadRefusals()
{
    QTemporaryDir dir(testRoot() + QStringLiteral("/dl-XXXXXX"));
    const QString existing = dir.filePath(QStringLiteral("have.zlf"));
    {
        QFile f(existing);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("mine");
    }
    Channel c;
    QCOMPARE(c.channel.downloadFile(QStringLiteral("/a"), existing), -1);
    QCOMPARE(c.sent(), QList<QByteArray>{});

    QCOMPARE(c.channel.downloadFile(QStringLiteral("/a"), dir.filePath(QStringLiteral("1"))), 0);
    QCOMPARE(c.channel.downloadFile(QStringLiteral("/b"), dir.filePath(QStringLiteral("2"))), -1);
    QCOMPARE(c.sent().size(), 1);

    // A chunk nobody asked for is dropped; the existing file keeps its content.
    c.feed({ reply(2, 1, fileHeader(1, 4, "a") + "abcd") });
    QCOMPARE(c.recorder.events, QStringList{ QStringLiteral("download 1 1") });
    c.feed({ reply(2, 1, fileHeader(1, 4, "a") + "abcd") });
    QCOMPARE(c.recorder.events.size(), 1);
    QFile f(existing);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("mine"));
}

void TestFileControlChannel::failedOpenEndsTheDownload()
{
    // Tests run as root: a file where the folder should be makes the open fail.
    QTemporaryDir dir(testRoot() + QStringLiteral("/dl-XXXXXX"));
    {
        QFile blocker(dir.filePath(QStringLiteral("notadir")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    Channel c;
    const QString out = dir.filePath(QStringLiteral("notadir/out.zlf"));
    QCOMPARE(c.channel.downloadFile(QStringLiteral("/a"), out), 0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Cannot write")));
    c.feed({ reply(2, 1, fileHeader(1, 8, "a") + "abcd") });
    QCOMPARE(c.recorder.events, QStringList{ QStringLiteral("download 255 ") });
    QVERIFY(!c.channel.isDownloadPending());
    QCOMPARE(filesIn(dir.path()), QStringList{ QStringLiteral("notadir") });
}

void TestFileControlChannel::closingEndsTheDownload()
{
    QTemporaryDir dir(testRoot() + QStringLiteral("/dl-XXXXXX"));
    QStringList events;
    {
        Channel c;
        QCOMPARE(c.channel.downloadFile(QStringLiteral("/a"), dir.filePath(QStringLiteral("o"))),
                 0);
        c.feed({ reply(2, 1, fileHeader(1, 8, "a") + "abcd") });
        QVERIFY(c.channel.isDownloadPending());
        // Half the file is written, but nothing sits under the final name (the temporary file
        // may be an unnamed one).
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("o"))));
        connect(&c.channel, &FileControlChannel::DownloadFileReceived, this,
                [&](FileControlChannel::ResponseCode r, const QString &p) {
                    events << QStringLiteral("%1 %2").arg(int(r)).arg(p);
                });
    }
    QCOMPARE(events, QStringList{ QStringLiteral("255 ") });
    QCOMPARE(filesIn(dir.path()), QStringList{});
}

void TestFileControlChannel::safeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << QStringLiteral("run 1.zlf") << true;
    QTest::newRow("dots inside") << QStringLiteral("..x.zlf") << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("dot") << QStringLiteral(".") << false;
    QTest::newRow("dot dot") << QStringLiteral("..") << false;
    QTest::newRow("slash") << QStringLiteral("../x.zlf") << false;
    QTest::newRow("absolute") << QStringLiteral("/etc/passwd") << false;
    QTest::newRow("backslash") << QStringLiteral("..\\x.zlf") << false;
    QTest::newRow("nul") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << false;
}

void TestFileControlChannel::safeNames()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(FileControlChannel::isSafeName(name), safe);
}

QTEST_GUILESS_MAIN(TestFileControlChannel)
#include "tst_fileControlChannel.moc"
