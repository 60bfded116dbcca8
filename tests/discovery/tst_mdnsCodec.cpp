#include "MdnsCodec.h"

#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <arpa/inet.h>

using namespace orvane::infra;
using namespace nimbrel::test;

namespace {

const auto *bytes(const QByteArray &data)
{
    return reinterpret_cast<const std::uint8_t *>(data.constData());
}

QByteArray oracle(const QStringList &arguments)
{
    const ProcessResult result = runProcess(
        python(), QStringList{ sourceDir() + "/tests/discovery/mdns_oracle.py" } + arguments);
    if (!result.finished || result.exitCode != 0)
        qFatal("mdns_oracle.py failed: %s", result.err.constData());
    return result.out;
}

QByteArray label(const QByteArray &text)
{
    return char(text.size()) + text;
}

// A message header with the given counts.
QByteArray header(int questions, int answers, int authority = 0, int additional = 0)
{
    QByteArray h(12, '\0');
    h[5] = char(questions);
    h[7] = char(answers);
    h[9] = char(authority);
    h[11] = char(additional);
    return h;
}

QByteArray record(const QByteArray &name, int type, int ttl, const QByteArray &data,
                  int declaredLength = -1)
{
    QByteArray r = name;
    const int length = declaredLength < 0 ? int(data.size()) : declaredLength;
    const char fixed[10] = { char(type >> 8),
                             char(type),
                             0,
                             1,
                             char(ttl >> 24),
                             char(ttl >> 16),
                             char(ttl >> 8),
                             char(ttl),
                             char(length >> 8),
                             char(length) };
    return r + QByteArray(fixed, 10) + data;
}

struct Walk
{
    QList<MdnsRecordView> records;
    int stopAfter = -1;
};

int collect(const MdnsRecordView &view)
{
    auto *walk = static_cast<Walk *>(view.context);
    walk->records.append(view);
    return walk->stopAfter >= 0 && walk->records.size() >= walk->stopAfter;
}

QString nameAt(const MdnsRecordView &view, std::size_t offset)
{
    char buffer[256];
    const MdnsText text = extractName(view.data, view.size, offset, buffer, sizeof(buffer));
    return QString::fromLatin1(text.str, qsizetype(text.length));
}

} // namespace

class TestMdnsCodec : public QObject
{
    Q_OBJECT

private slots:
    void queryMatchesDnspython();
    void queryRefusals_data();
    void queryRefusals();
    void names_data();
    void names();
    void extractionIsCutToTheBuffer();
    void shortRecordData();
    void txtEntries_data();
    void txtEntries();
    void sectionWalk_data();
    void sectionWalk();
    void oversizedDataNeverReadsPastTheEnd();
    void differentialAgainstDnspython();
};

void TestMdnsCodec::queryMatchesDnspython()
{
    const QByteArray expected = QByteArray::fromHex(oracle({ "query" }).trimmed());
    QCOMPARE(expected.toHex(),
             QByteArray("000000000001000000000000045f737368045f746370056c6f63616c"
                        "00000c0001"));
    for (const char *name : { "_ssh._tcp.local", "_ssh._tcp.local." }) {
        std::uint8_t buffer[2048];
        const MdnsQuestion question{ 12, name, std::strlen(name) };
        const int length = buildMdnsQuery(&question, 1, buffer, sizeof(buffer), 0, 1);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), length), expected);
    }
}

void TestMdnsCodec::queryRefusals_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("result");
    QTest::newRow("no question") << 0 << 2048 << QByteArray("_ssh._tcp.local") << -1;
    QTest::newRow("below 12 + 6") << 1 << 17 << QByteArray("a") << -1;
    QTest::newRow("exactly enough") << 1 << 33 << QByteArray("_ssh._tcp.local") << 33;
    QTest::newRow("one short") << 1 << 32 << QByteArray("_ssh._tcp.local") << -1;
    QTest::newRow("two questions") << 2 << 66 << QByteArray("_ssh._tcp.local") << 54;
    QTest::newRow("empty label") << 1 << 2048 << QByteArray("_ssh.._tcp") << -1;
    QTest::newRow("label over 63") << 1 << 2048 << QByteArray(64, 'a') << -1;
}

void TestMdnsCodec::queryRefusals()
{
    QFETCH(int, count);
    QFETCH(int, capacity);
    QFETCH(QByteArray, name);
    QFETCH(int, result);
    const MdnsQuestion questions[2] = { { 12, name.constData(), std::size_t(name.size()) },
                                        { 33, name.constData(), std::size_t(name.size()) } };
    std::vector<std::uint8_t> buffer(std::size_t(capacity) + 1, 0xEE);
    QCOMPARE(
        buildMdnsQuery(questions, std::size_t(count), buffer.data(), std::size_t(capacity), 7, 1),
        result);
    QCOMPARE(buffer[std::size_t(capacity)], std::uint8_t(0xEE)); // nothing written past capacity
}

void TestMdnsCodec::names_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("offsetAfter");

    const QByteArray host = label("robot-1") + label("local") + '\0'; // 15 bytes at 0
    QTest::newRow("plain") << host << 0 << true << "robot-1.local." << 15;
    QTest::newRow("root") << QByteArray(1, '\0') << 0 << true << "" << 1;
    QTest::newRow("pointer") << host + label("x") + QByteArray("\xc0\x00", 2) << 15 << true
                             << "x.robot-1.local." << 19;
    QTest::newRow("self pointer") << QByteArray("\xc0\x00", 2) << 0 << false << "" << 0;
    QTest::newRow("pointer past end") << host + "\xc0\x40" << 15 << false << "" << 15;
    QTest::newRow("cut pointer") << host + "\xc0" << 15 << false << "" << 15;
    QTest::newRow("label past end") << label("robot").left(4) << 0 << false << "" << 0;
    QTest::newRow("no end") << label("robot") << 0 << false << "" << 0;
    QTest::newRow("offset at end") << host << 15 << false << "" << 15;

    // Pointer chains: 16 hops in one step are followed, a 17th is not.
    for (int hops : { 16, 17 }) {
        QByteArray chain = label("a") + '\0';
        int previous = 0;
        for (int i = 0; i < hops; ++i) {
            const int here = int(chain.size());
            chain += char(0xC0) + QByteArray(1, char(previous));
            previous = here;
        }
        QTest::addRow("%d pointer hops", hops)
            << chain << previous << (hops == 16) << (hops == 16 ? "a." : "")
            << previous + (hops == 16 ? 2 : 0);
    }
    // 64 labels and the final empty one are 65 steps; a 65th label is a 66th step.
    for (int labels : { 64, 65 }) {
        QByteArray name;
        QString text;
        for (int i = 0; i < labels; ++i) {
            name += label("b");
            text += "b.";
        }
        name += '\0';
        QTest::addRow("%d labels", labels)
            << name << 0 << (labels == 64) << (labels == 64 ? text : QString())
            << (labels == 64 ? int(name.size()) : 0);
    }
}

void TestMdnsCodec::names()
{
    QFETCH(QByteArray, datagram);
    QFETCH(int, start);
    QFETCH(bool, valid);
    QFETCH(QString, text);
    QFETCH(int, offsetAfter);
    // Exactly the datagram's bytes on the heap: ASan sees any read past them.
    std::vector<std::uint8_t> d(datagram.begin(), datagram.end());
    std::size_t offset = std::size_t(start);
    QCOMPARE(skipName(d.data(), d.size(), offset), valid);
    QCOMPARE(offset, std::size_t(offsetAfter));
    offset = std::size_t(start);
    char buffer[256];
    const MdnsText extracted = extractName(d.data(), d.size(), offset, buffer, sizeof(buffer));
    QCOMPARE(QString::fromLatin1(extracted.str, qsizetype(extracted.length)), text);
    QCOMPARE(offset, std::size_t(offsetAfter));
}

void TestMdnsCodec::extractionIsCutToTheBuffer()
{
    const QByteArray name = label("robot-1") + label("local") + '\0';
    for (const auto &[capacity, expected] :
         { std::pair{ 8, "robot-1." }, { 10, "robot-1.lo" }, { 14, "robot-1.local." } }) {
        std::vector<char> buffer(std::size_t(capacity) + 1, '#');
        std::size_t offset = 0;
        const MdnsText text = extractName(bytes(name), std::size_t(name.size()), offset,
                                          buffer.data(), std::size_t(capacity));
        QCOMPARE(QByteArray(text.str, qsizetype(text.length)), QByteArray(expected));
        QCOMPARE(buffer.back(), '#');
        QCOMPARE(offset, std::size_t(name.size()));
    }
}

void TestMdnsCodec::shortRecordData()
{
    const QByteArray data = QByteArray::fromHex("0001000208ae") + label("h") + '\0';
    char buffer[256];
    const MdnsSrv srv = readSrvRecord(bytes(data), std::size_t(data.size()), 0, 9, buffer, 256);
    QCOMPARE(srv.port, std::uint16_t(2222));
    QCOMPARE(QByteArray(srv.target.str, qsizetype(srv.target.length)), QByteArray("h."));
    const MdnsSrv cut = readSrvRecord(bytes(data), std::size_t(data.size()), 0, 7, buffer, 256);
    QCOMPARE(cut.priority + cut.weight + cut.port, 0);
    QCOMPARE(cut.target.length, std::size_t(0));
    const MdnsSrv outside = readSrvRecord(bytes(data), std::size_t(data.size()), 2, 9, buffer, 256);
    QCOMPARE(outside.port, std::uint16_t(0));

    const QByteArray ptr = label("h") + '\0';
    QCOMPARE(readPtrTarget(bytes(ptr), 3, 0, 1, buffer, 256).length, std::size_t(0));
    QCOMPARE(readPtrTarget(bytes(ptr), 3, 0, 3, buffer, 256).length, std::size_t(2));
    QCOMPARE(readPtrTarget(bytes(ptr), 3, 1, 3, buffer, 256).length, std::size_t(0));
}

void TestMdnsCodec::txtEntries_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("expected"); // "key=value" per entry taken

    QTest::newRow("two keys") << label("orvane_device_type=sorvyn")
            + label("orvane_device_serial=1234")
                              << QStringList{ "orvane_device_type=sorvyn",
                                              "orvane_device_serial=1234" };
    QTest::newRow("empty value") << label("orvane_device_type=")
                                 << QStringList{ "orvane_device_type=" };
    QTest::newRow("leading equals") << label("=x") + label("k=v") << QStringList{ "k=v" };
    QTest::newRow("no equals") << label("novalue") + label("k=v") << QStringList{ "k=v" };
    QTest::newRow("control byte in key")
        << label("k\x01y=v") + label("k=v") << QStringList{ "k=v" };
    QTest::newRow("two equals") << label("k=a=b") << QStringList{ "k=a=b" };
    QTest::newRow("value may hold anything")
        << label("k=\x01\xff") << QStringList{ "k=\x01\xc3\xbf" };
    QTest::newRow("empty string") << QByteArray(1, '\0') + label("k=v") << QStringList{ "k=v" };
    QTest::newRow("string past the end") << label("k=v")
            + "\x09"
              "a=b" << QStringList{ "k=v" };
    QByteArray many;
    QStringList first128;
    for (int i = 0; i < 129; ++i) {
        many += label(QByteArray::number(i) + "=");
        if (i < 128)
            first128 << QString::number(i) + "=";
    }
    QTest::newRow("129 acceptable strings") << many << first128;
}

void TestMdnsCodec::txtEntries()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, expected);
    std::vector<std::uint8_t> d(data.begin(), data.end());
    MdnsTxtEntry entries[MdnsMaxTxtEntries + 1];
    const std::size_t count = readTxtEntries(d.data(), d.size(), 0, d.size(), entries);
    QStringList taken;
    for (std::size_t i = 0; i < count; ++i) {
        const auto *text = reinterpret_cast<const char *>(d.data());
        taken << QString::fromLatin1(text + entries[i].keyOffset, qsizetype(entries[i].keyLength))
                + "="
                + QString::fromLatin1(text + entries[i].valueOffset,
                                      qsizetype(entries[i].valueLength));
    }
    QCOMPARE(taken, expected);
}

void TestMdnsCodec::sectionWalk_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("stopAfter");
    QTest::addColumn<QList<int>>("sections"); // of the records handed over, in order

    const QByteArray a = label("a") + '\0';
    const QByteArray rec = record(a, 1, 120, QByteArray(4, '\x01'));
    QTest::newRow("all three sections")
        << header(0, 1, 1, 1) + rec + rec + rec << -1 << QList<int>{ 1, 2, 3 };
    QTest::newRow("question skipped")
        << header(1, 1) + a + QByteArray("\x00\x0c\x00\x01", 4) + rec << -1 << QList<int>{ 1 };
    QTest::newRow("bad question name") << header(1, 1)
            + "\x05"
              "ab"
            + rec << -1 << QList<int>{};
    QTest::newRow("shorter than a header") << header(0, 1).left(11) << -1 << QList<int>{};
    QTest::newRow("data runs past the end")
        << header(0, 2, 1, 1) + rec + record(a, 1, 120, QByteArray(4, '\x01'), 5) << -1
        << QList<int>{ 1 };
    QTest::newRow("more answers than records")
        << header(0, 3, 1, 0) + rec + rec << -1 << QList<int>{ 1, 1 };
    QTest::newRow("handler stops the section")
        << header(0, 2, 1, 0) + rec + rec + rec << 1 << QList<int>{ 1 };
}

void TestMdnsCodec::sectionWalk()
{
    QFETCH(QByteArray, datagram);
    QFETCH(int, stopAfter);
    QFETCH(QList<int>, sections);
    std::vector<std::uint8_t> d(datagram.begin(), datagram.end());
    Walk walk;
    walk.stopAfter = stopAfter;
    const std::size_t handed = parseMdnsDatagram(3, nullptr, 0, d.data(), d.size(), collect, &walk);
    QList<int> seen;
    for (const MdnsRecordView &view : walk.records) {
        seen << view.section;
        QCOMPARE(view.socket, 3);
        QVERIFY(view.dataOffset + view.dataLength <= d.size());
    }
    QCOMPARE(seen, sections);
    QCOMPARE(handed, std::size_t(sections.size()));
}

// A record whose data length runs past the datagram must not move the walk beyond the end: the
// bytes behind the datagram (here a well-formed record in the same buffer) are never read.
void TestMdnsCodec::oversizedDataNeverReadsPastTheEnd()
{
    const QByteArray a = label("a") + '\0';
    const QByteArray inside = header(0, 2) + record(a, 1, 120, QByteArray(2, 'x'), 30);
    const QByteArray behind = QByteArray(18, '\0') + record(a, 16, 120, label("k=v"));
    const QByteArray buffer = inside + behind;
    Walk walk;
    const std::size_t handed = parseMdnsDatagram(-1, nullptr, 0, bytes(buffer),
                                                 std::size_t(inside.size()), collect, &walk);
    QCOMPARE(handed, std::size_t(0));
    QVERIFY(walk.records.isEmpty());
}

// dnspython builds random messages (PTR, SRV, TXT, A, AAAA in all three sections, with name
// compression) and reads them back; the codec must read the same records.
void TestMdnsCodec::differentialAgainstDnspython()
{
    const QList<QByteArray> lines = oracle({ "random", "400", "20261211" }).split('\n');
    int compared = 0;
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        const QJsonObject message = QJsonDocument::fromJson(line).object();
        const QByteArray wire = QByteArray::fromHex(message["wire"].toString().toLatin1());
        const QJsonArray expected = message["records"].toArray();
        std::vector<std::uint8_t> d(wire.begin(), wire.end());
        Walk walk;
        QCOMPARE(parseMdnsDatagram(-1, nullptr, 0, d.data(), d.size(), collect, &walk),
                 std::size_t(expected.size()));
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const QJsonObject want = expected[i].toObject();
            const MdnsRecordView &got = walk.records[i];
            const QByteArray context = line.left(60);
            QCOMPARE(got.section, want["section"].toInt());
            QCOMPARE(nameAt(got, got.nameOffset), want["name"].toString());
            QCOMPARE(int(got.type), want["type"].toInt());
            QCOMPARE(int(got.rclass), want["class"].toInt());
            QCOMPARE(double(got.ttl), want["ttl"].toDouble());
            char buffer[256];
            if (got.type == 12) {
                const MdnsText t = readPtrTarget(got.data, got.size, got.dataOffset, got.dataLength,
                                                 buffer, sizeof(buffer));
                QCOMPARE(QString::fromLatin1(t.str, qsizetype(t.length)),
                         want["target"].toString());
            } else if (got.type == 33) {
                const MdnsSrv srv = readSrvRecord(got.data, got.size, got.dataOffset,
                                                  got.dataLength, buffer, sizeof(buffer));
                QCOMPARE(int(srv.priority), want["priority"].toInt());
                QCOMPARE(int(srv.weight), want["weight"].toInt());
                QCOMPARE(int(srv.port), want["port"].toInt());
                QCOMPARE(QString::fromLatin1(srv.target.str, qsizetype(srv.target.length)),
                         want["target"].toString());
            } else if (got.type == 16) {
                MdnsTxtEntry entries[MdnsMaxTxtEntries];
                const std::size_t n
                    = readTxtEntries(got.data, got.size, got.dataOffset, got.dataLength, entries);
                const QJsonArray wantEntries = want["entries"].toArray();
                QCOMPARE(qsizetype(n), wantEntries.size());
                for (std::size_t e = 0; e < n; ++e) {
                    const auto *text = reinterpret_cast<const char *>(got.data);
                    QCOMPARE(
                        QByteArray(text + entries[e].keyOffset, qsizetype(entries[e].keyLength))
                            .toHex(),
                        wantEntries[qsizetype(e)].toArray()[0].toString().toLatin1());
                    QCOMPARE(
                        QByteArray(text + entries[e].valueOffset, qsizetype(entries[e].valueLength))
                            .toHex(),
                        wantEntries[qsizetype(e)].toArray()[1].toString().toLatin1());
                }
            } else {
                const int family = got.type == 1 ? AF_INET : AF_INET6;
                char text[64];
                QVERIFY(got.dataLength == (got.type == 1 ? 4u : 16u));
                QVERIFY(inet_ntop(family, got.data + got.dataOffset, text, sizeof(text)));
                QCOMPARE(QString::fromLatin1(text), want["address"].toString());
            }
            ++compared;
        }
    }
    QVERIFY2(compared > 1000, qPrintable(QString::number(compared)));
}

QTEST_GUILESS_MAIN(TestMdnsCodec)
#include "tst_mdnsCodec.moc"
