#include "SemanticVersion.h"

#include "TestSupport.h"

#include <QTest>

Q_DECLARE_METATYPE(SemanticVersion)

using namespace nimbrel::test;

namespace QTest {
template<> char *toString(const SemanticVersion &version)
{
    return qstrdup(qPrintable(version.toString()));
}
} // namespace QTest

class TestSemanticVersion : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void orderMatchesDpkg();
};

void TestSemanticVersion::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<SemanticVersion>("expected");

    QTest::newRow("plain") << QStringLiteral("1.2.3") << SemanticVersion(1, 2, 3);
    QTest::newRow("no patch") << QStringLiteral("build 2.10") << SemanticVersion(2, 10, 0);
    QTest::newRow("suffix ignored")
        << QStringLiteral("release 1.4.2-beta+7") << SemanticVersion(1, 4, 2);
    QTest::newRow("fourth number ignored") << QStringLiteral("1.2.3.4") << SemanticVersion(1, 2, 3);
    QTest::newRow("leading zeros") << QStringLiteral("01.002.3") << SemanticVersion(1, 2, 3);
    QTest::newRow("non-numeric patch") << QStringLiteral("1.2.x") << SemanticVersion(1, 2, 0);
    QTest::newRow("single number") << QStringLiteral("7") << SemanticVersion();
    QTest::newRow("letters") << QStringLiteral("abc") << SemanticVersion();
    QTest::newRow("empty") << QString() << SemanticVersion();
    QTest::newRow("major too large")
        << QStringLiteral("99999999999.1.0") << SemanticVersion(0, 1, 0);
    QTest::newRow("largest 32-bit number")
        << QStringLiteral("2147483647.0.1") << SemanticVersion(2147483647, 0, 1);
    QTest::newRow("one past the largest")
        << QStringLiteral("1.2147483648.6") << SemanticVersion(1, 0, 6);
    QTest::newRow("prefix v") << QStringLiteral("v3.0.12") << SemanticVersion(3, 0, 12);
    QTest::newRow("leftmost match wins")
        << QStringLiteral("fw 1. 2.3.4 and 5.6.7") << SemanticVersion(2, 3, 4);
    QTest::newRow("only ASCII digits count")
        << QStringLiteral(u"\u0661.\u0662.\u0663") << SemanticVersion();
    QTest::newRow("fullwidth digits do not count")
        << QStringLiteral(u"\uFF11.\uFF12 then 4.5") << SemanticVersion(4, 5, 0);
}

void TestSemanticVersion::parse()
{
    QFETCH(QString, text);
    QFETCH(SemanticVersion, expected);
    QCOMPARE(SemanticVersion(text), expected);
}

// Every pair of a table of versions ordered both ways and compared with Debian's version order,
// which for plain numeric x.y.z is the numeric, field-by-field order.
void TestSemanticVersion::orderMatchesDpkg()
{
    const QStringList versions
        = { QStringLiteral("0.0.0"),  QStringLiteral("0.0.1"),   QStringLiteral("0.1.0"),
            QStringLiteral("1.0.0"),  QStringLiteral("1.2.0"),   QStringLiteral("1.2.1"),
            QStringLiteral("1.9.9"),  QStringLiteral("1.10.0"),  QStringLiteral("1.10.10"),
            QStringLiteral("2.0.0"),  QStringLiteral("2.0.9"),   QStringLiteral("2.0.10"),
            QStringLiteral("10.0.0"), QStringLiteral("9.99.99"), QStringLiteral("2147483647.0.0") };

    QString script;
    for (const QString &a : versions) {
        for (const QString &b : versions) {
            script += QStringLiteral("if dpkg --compare-versions %1 lt %2; then echo -1; "
                                     "elif dpkg --compare-versions %1 eq %2; then echo 0; "
                                     "else echo 1; fi\n")
                          .arg(a, b);
        }
    }
    const ProcessResult dpkg = runProcess(QStringLiteral("sh"), {}, script.toLatin1(), 60000);
    QVERIFY2(dpkg.finished && dpkg.exitCode == 0, dpkg.err.constData());
    const QList<QByteArray> verdicts = dpkg.out.split('\n');
    QCOMPARE(verdicts.size(), versions.size() * versions.size() + 1);

    int i = 0;
    for (const QString &a : versions) {
        for (const QString &b : versions) {
            const int expected = verdicts[i++].toInt();
            const SemanticVersion va(a), vb(b);
            const auto order = va <=> vb;
            const int actual = order < 0 ? -1 : (order > 0 ? 1 : 0);
            const QByteArray what = (a + QStringLiteral(" vs ") + b).toLatin1();
            QVERIFY2(actual == expected, what.constData());
            QVERIFY2(va.isOlderThan(vb) == (expected < 0), what.constData());
            QVERIFY2((va < vb) == (expected < 0), what.constData());
            QVERIFY2((va == vb) == (expected == 0), what.constData());
            QVERIFY2((va != vb) == (expected != 0), what.constData());
            QVERIFY2((va >= vb) == (expected >= 0), what.constData());
        }
    }
}

QTEST_GUILESS_MAIN(TestSemanticVersion)
#include "tst_semanticVersion.moc"
