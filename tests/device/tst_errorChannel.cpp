#include "ErrorChannel.h"
#include "ServiceTestRig.h"

#include <QSignalSpy>
#include <QTest>

namespace {

constexpr uint8_t Kernel = 0x01;
constexpr uint8_t LevelReport = 0x02;
constexpr uint8_t Fragment = 0x04;
constexpr uint8_t Last = 0x08;
constexpr uint8_t Overflow = 0x10;

// One device message as the firmware sends it; `lengthDelta` falsifies the length field.
QByteArray message(int level, uint8_t flags, const QByteArray &text, int lengthDelta = 0)
{
    QByteArray m(4, '\0');
    m[0] = char(level);
    m[1] = char(flags);
    qToLittleEndian<quint16>(quint16(text.size() + lengthDelta), m.data() + 2);
    return m + text;
}

struct Delivery
{
    bool kernel;
    int level;
    QString text;
    bool operator==(const Delivery &) const = default;
};

// Everything the channel raised, in order.
struct Recorder : QObject
{
    QList<Delivery> deliveries;
    int overflows = 0;
    int levelReports = 0;

    explicit Recorder(ErrorChannel *channel)
    {
        connect(channel, &ErrorChannel::messageReceived, this,
                [this](ErrorChannel::LogLevel l, const QString &t) {
                    deliveries.append({ false, int(l), t });
                });
        connect(channel, &ErrorChannel::kernelMessageReceived, this,
                [this](ErrorChannel::LogLevel l, const QString &t) {
                    deliveries.append({ true, int(l), t });
                });
        connect(channel, &ErrorChannel::overflow, this, [this] { ++overflows; });
        connect(channel, &ErrorChannel::logLevelReceived, this, [this] { ++levelReports; });
    }
};

} // namespace

Q_DECLARE_METATYPE(Delivery)

class TestErrorChannel : public QObject
{
    Q_OBJECT

private slots:
    void parsing_data();
    void parsing();
    void levelReports_data();
    void levelReports();
    void levelRequestBytes();
    void unfinishedMessageIsCapped_data();
    void unfinishedMessageIsCapped();
    void notificationText_data();
    void notificationText();
};

void TestErrorChannel::parsing_data()
{
    QTest::addColumn<QList<QByteArray>>("packets");
    QTest::addColumn<QList<Delivery>>("expected");
    QTest::addColumn<int>("overflows");
    QTest::addColumn<QStringList>("warnings");

    const QString cafe = QString::fromUtf8("caf\u00e9 \u2713");

    QTest::newRow("application message")
        << QList<QByteArray>{ message(4, 0, "Overheat") }
        << QList<Delivery>{ { false, 4, "Overheat" } } << 0 << QStringList();
    QTest::newRow("kernel message")
        << QList<QByteArray>{ message(5, Kernel, "panic") }
        << QList<Delivery>{ { true, 5, "panic" } } << 0 << QStringList();
    QTest::newRow("other levels pass through")
        << QList<QByteArray>{ message(9, 0, "x") } << QList<Delivery>{ { false, 9, "x" } } << 0
        << QStringList();
    QTest::newRow("empty text") << QList<QByteArray>{ message(3, 0, "") }
                                << QList<Delivery>{ { false, 3, "" } } << 0 << QStringList();
    QTest::newRow("CR LF pairs removed, single CR kept")
        << QList<QByteArray>{ message(3, 0, "a\r\nb\rc\n") }
        << QList<Delivery>{ { false, 3, "ab\rc\n" } } << 0 << QStringList();
    QTest::newRow("UTF-8") << QList<QByteArray>{ message(3, 0, cafe.toUtf8()) }
                           << QList<Delivery>{ { false, 3, cafe } } << 0 << QStringList();

    QTest::newRow("three fragments, level of the last")
        << QList<QByteArray>{ message(3, Fragment, "one "), message(3, Fragment, "two "),
                              message(4, Fragment | Last, "three") }
        << QList<Delivery>{ { false, 4, "one two three" } } << 0 << QStringList();
    QTest::newRow("kernel fragments")
        << QList<QByteArray>{ message(5, Kernel | Fragment, "a"),
                              message(5, Kernel | Fragment | Last, "b") }
        << QList<Delivery>{ { true, 5, "ab" } } << 0 << QStringList();
    QTest::newRow("single last fragment")
        << QList<QByteArray>{ message(4, Fragment | Last, "solo") }
        << QList<Delivery>{ { false, 4, "solo" } } << 0 << QStringList();
    QTest::newRow("plain message flushes pending fragments first")
        << QList<QByteArray>{ message(3, Fragment, "a"), message(3, Fragment, "b"),
                              message(4, 0, "c") }
        << QList<Delivery>{ { false, 3, "ab" }, { false, 4, "c" } } << 0 << QStringList();
    // Cut-short kernel output stays kernel output at its own level.
    QTest::newRow("flushed fragments keep their own kind and level")
        << QList<QByteArray>{ message(5, Kernel | Fragment, "oops"), message(3, 0, "app") }
        << QList<Delivery>{ { true, 5, "oops" }, { false, 3, "app" } } << 0 << QStringList();
    QTest::newRow("character split between fragments")
        << QList<QByteArray>{ message(3, Fragment, cafe.toUtf8().left(4)),
                              message(3, Fragment | Last, cafe.toUtf8().mid(4)) }
        << QList<Delivery>{ { false, 3, cafe } } << 0 << QStringList();
    QTest::newRow("CR LF split between fragments")
        << QList<QByteArray>{ message(3, Fragment, "a\r"), message(3, Fragment | Last, "\nb") }
        << QList<Delivery>{ { false, 3, "ab" } } << 0 << QStringList();

    QTest::newRow("overflow alone") << QList<QByteArray>{ message(4, Overflow, "lost") }
                                    << QList<Delivery>{} << 1 << QStringList();
    QTest::newRow("overflow between fragments keeps them")
        << QList<QByteArray>{ message(3, Fragment, "a"), message(4, Overflow, "x"),
                              message(3, Fragment | Last, "b") }
        << QList<Delivery>{ { false, 3, "ab" } } << 1 << QStringList();

    QTest::newRow("three bytes") << QList<QByteArray>{ QByteArray("\x04\x00\x00", 3) }
                                 << QList<Delivery>{} << 0
                                 << QStringList{ "Invalid error channel packet received" };
    QTest::newRow("length one less than the text")
        << QList<QByteArray>{ message(4, 0, "abc", -1) } << QList<Delivery>{} << 0
        << QStringList{ "Invalid error channel packet length" };
    QTest::newRow("length one more than the text")
        << QList<QByteArray>{ message(4, 0, "abc", +1) } << QList<Delivery>{} << 0
        << QStringList{ "Invalid error channel packet length" };
    QTest::newRow("malformed packet leaves fragments pending")
        << QList<QByteArray>{ message(3, Fragment, "a"), message(4, 0, "zz", 1),
                              message(3, Fragment | Last, "b") }
        << QList<Delivery>{ { false, 3, "ab" } } << 0
        << QStringList{ "Invalid error channel packet length" };
}

void TestErrorChannel::parsing()
{
    QFETCH(QList<QByteArray>, packets);
    QFETCH(QList<Delivery>, expected);
    QFETCH(int, overflows);
    QFETCH(QStringList, warnings);

    ServiceRig rig;
    ErrorChannel channel(nullptr, 6, true, &rig.manager);
    Recorder recorder(&channel);
    for (const QString &warning : warnings)
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    for (const QByteArray &packet : packets)
        rig.link->inject(6, packet);
    // Frames of other channels never reach the device message channel.
    rig.link->inject(1, message(4, 0, "not mine"));

    QCOMPARE(recorder.deliveries.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QCOMPARE(recorder.deliveries[i].text, expected[i].text);
        QCOMPARE(recorder.deliveries[i].kernel, expected[i].kernel);
        QCOMPARE(recorder.deliveries[i].level, expected[i].level);
    }
    QCOMPARE(recorder.overflows, overflows);
    QCOMPARE(recorder.levelReports, 0);
}

void TestErrorChannel::levelReports_data()
{
    QTest::addColumn<int>("requestKind"); // -1: no request sent before the report
    QTest::addColumn<bool>("accepted");

    QTest::newRow("before any request") << -1 << true;
    QTest::newRow("after kind 0") << 0 << true;
    QTest::newRow("after kind 1") << 1 << true;
    QTest::newRow("after kind 2") << 2 << false;
}

void TestErrorChannel::levelReports()
{
    QFETCH(int, requestKind);
    QFETCH(bool, accepted);

    ServiceRig rig;
    ErrorChannel channel(nullptr, 6, true, &rig.manager);
    Recorder recorder(&channel);
    if (requestKind >= 0)
        channel.sendLogLevelRequest(uint8_t(requestKind), 2);
    // A level report carries no message, whatever its text.
    rig.link->inject(6, message(7, LevelReport | Fragment, "ignored"));

    QCOMPARE(recorder.levelReports, accepted ? 1 : 0);
    QCOMPARE(channel.reportedLevel(), accepted ? 7 : 0);
    QVERIFY(recorder.deliveries.isEmpty());
    rig.link->inject(6, message(3, Fragment | Last, "next"));
    QCOMPARE(recorder.deliveries.size(), 1);
    QCOMPARE(recorder.deliveries[0].text, QString("next"));
}

void TestErrorChannel::levelRequestBytes()
{
    ServiceRig rig;
    ErrorChannel channel(nullptr, 6, true, &rig.manager);
    channel.sendLogLevel(ErrorChannel::DefaultLogLevel);
    channel.sendLogLevelRequest(1, 0x01020304);

    bool reliable = false;
    const QList<QByteArray> sent = rig.link->payloads(6, &reliable);
    QCOMPARE(sent.size(), 2);
    QVERIFY(reliable);
    QCOMPARE(sent[0].toHex(), QByteArray("0000000002000000"));
    QCOMPARE(sent[1].toHex(), QByteArray("0100000004030201"));
}

void TestErrorChannel::unfinishedMessageIsCapped_data()
{
    QTest::addColumn<QByteArray>("unit"); // repeated to fill the fragments
    QTest::addColumn<int>("fragmentSize");
    QTest::addColumn<bool>("sendLast");

    QTest::newRow("ASCII, never finished") << QByteArray("x") << 1000 << false;
    QTest::newRow("ASCII, finished late") << QByteArray("0123456789") << 1014 << true;
    // Three-byte characters in 1000-byte fragments: part boundaries fall inside characters.
    QTest::newRow("characters across boundaries")
        << QString::fromUtf8("\u2713").toUtf8() << 1000 << true;
    QTest::newRow("CR LF across boundaries") << QByteArray("ab\r\n") << 999 << true;
}

void TestErrorChannel::unfinishedMessageIsCapped()
{
    QFETCH(QByteArray, unit);
    QFETCH(int, fragmentSize);
    QFETCH(bool, sendLast);

    ServiceRig rig;
    ErrorChannel channel(nullptr, 6, true, &rig.manager);
    Recorder recorder(&channel);

    // A device stuck in the middle of a message for 100 fragments (about 100 kB).
    QByteArray all;
    while (all.size() < 100 * fragmentSize)
        all += unit;
    all.truncate(100 * fragmentSize);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Device message longer than"));
    for (qsizetype at = 0; at < all.size(); at += fragmentSize) {
        const QByteArray piece = all.mid(at, fragmentSize);
        const bool last = sendLast && at + fragmentSize >= all.size();
        rig.link->inject(6, message(4, Fragment | (last ? Last : 0), piece));
    }
    if (!sendLast)
        rig.link->inject(6, message(3, 0, "end"));

    QVERIFY(recorder.deliveries.size() >= 6);
    QString joined;
    const qsizetype parts = recorder.deliveries.size() - (sendLast ? 0 : 1);
    for (qsizetype i = 0; i < parts; ++i) {
        const Delivery &d = recorder.deliveries[i];
        QCOMPARE(d.level, 4);
        QVERIFY2(d.text.toUtf8().size() <= ErrorChannel::MaxMessageBytes,
                 qPrintable(QString::number(d.text.toUtf8().size())));
        joined += d.text;
    }
    // Nothing lost, nothing mangled: the parts are the whole message.
    QString whole = QString::fromUtf8(all);
    whole.remove(QStringLiteral("\r\n"));
    QCOMPARE(joined.size(), whole.size());
    QVERIFY(joined == whole);
    if (!sendLast)
        QCOMPARE(recorder.deliveries.last().text, QString("end"));
}

void TestErrorChannel::notificationText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("text");

    QTest::newRow("prefix and blank") << "[APP] Sensor lost"
                                      << "Sensor lost";
    QTest::newRow("prefix without blank") << "[APP]Sensor"
                                          << "Sensor";
    QTest::newRow("only one blank removed") << "[x]  two"
                                            << " two";
    QTest::newRow("first bracket counts") << "[a]b]c"
                                          << "b]c";
    QTest::newRow("no bracket keeps the whole text") << "Motor stalled"
                                                     << "Motor stalled";
    QTest::newRow("no bracket, leading blank") << " Motor"
                                               << "Motor";
    QTest::newRow("nothing after the bracket") << "[APP]"
                                               << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestErrorChannel::notificationText()
{
    QFETCH(QString, message);
    QFETCH(QString, text);
    QCOMPARE(ErrorChannel::notificationText(message), text);
}

QTEST_GUILESS_MAIN(TestErrorChannel)
#include "tst_errorChannel.moc"
