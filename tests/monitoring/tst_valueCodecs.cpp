// Value codecs: built-in limits against the published IEEE-754 and integer limits, float rounding
// against Python's struct, the fixed-point rule against Python's own doubles and exact integers
// (fixed_point_cases.py), and the factory's choices and messages.
#include "CodecTables.h"
#include "IComplexDataType.h"
#include "TestSupport.h"

#include <QTest>
#include <QtEndian>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(monitoring::ModelTables)

using namespace monitoring;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

std::shared_ptr<IDataType> make(const ModelTables &t, int fxpIndex = 0)
{
    return makeDataType(t, 0, fxpIndex);
}

ModelTables withFixedPoint(uint8_t typeId, uint16_t dataSize, bool complex,
                           const protocol::fxp_info_t &f)
{
    ModelTables t = codecTables(typeId, dataSize, complex);
    t.fixedPointInfo.push_back(f);
    return t;
}

} // namespace

class tst_ValueCodecs : public QObject
{
    Q_OBJECT

private slots:
    void builtInLimits_data();
    void builtInLimits();
    void builtInEncode_data();
    void builtInEncode();
    void complexCodecs();
    void fixedPointExamples_data();
    void fixedPointExamples();
    void fixedPointAgainstPython();
    void factory_data();
    void factory();
};

void tst_ValueCodecs::builtInLimits_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("integer");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    // Published limits: IEEE-754 binary64 and binary32 largest finite values, two's complement.
    QTest::newRow("double") << 0 << 8 << false << -1.7976931348623157e308 << 1.7976931348623157e308;
    QTest::newRow("single") << 1 << 4 << false << -3.4028234663852886e38 << 3.4028234663852886e38;
    QTest::newRow("int8") << 2 << 1 << true << -128.0 << 127.0;
    QTest::newRow("uint8") << 3 << 1 << true << 0.0 << 255.0;
    QTest::newRow("int16") << 4 << 2 << true << -32768.0 << 32767.0;
    QTest::newRow("uint16") << 5 << 2 << true << 0.0 << 65535.0;
    QTest::newRow("int32") << 6 << 4 << true << -2147483648.0 << 2147483647.0;
    QTest::newRow("uint32") << 7 << 4 << true << 0.0 << 4294967295.0;
    QTest::newRow("boolean") << 8 << 1 << true << 0.0 << 1.0;
}

void tst_ValueCodecs::builtInLimits()
{
    QFETCH(int, id);
    QFETCH(int, size);
    QFETCH(bool, integer);
    QFETCH(double, min);
    QFETCH(double, max);
    for (bool complex : { false, true }) {
        const auto codec = make(codecTables(uint8_t(id), 0, complex));
        QVERIFY(codec);
        QCOMPARE(codec->isComplex(), complex);
        QCOMPARE(int(codec->byteSize()), complex ? 2 * size : size);
        QCOMPARE(codec->isInteger(), integer);
        QCOMPARE(codec->minDouble(), min);
        QCOMPARE(codec->maxDouble(), max);
        QCOMPARE(int(codec->getSimulinkTypeId()), id);
        QCOMPARE(codec->getTypeName(), std::string("first name"));
        QCOMPARE(codec->getSecondTypeName(), std::string("second name"));
        if (integer) {
            QCOMPARE(codec->minInt64(), int64_t(min));
            QCOMPARE(codec->maxInt64(), int64_t(max));
        }
    }
}

void tst_ValueCodecs::builtInEncode_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<double>("x");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("back"); // what the bytes decode to
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("int8 127.9") << 2 << 127.9 << hex("7f") << 127.0;
    QTest::newRow("int8 -300") << 2 << -300.0 << hex("80") << -128.0;
    QTest::newRow("int8 -0.9") << 2 << -0.9 << hex("00") << 0.0;
    QTest::newRow("boolean 0.7") << 8 << 0.7 << hex("00") << 0.0;
    QTest::newRow("boolean 2") << 8 << 2.0 << hex("01") << 1.0;
    QTest::newRow("boolean -1") << 8 << -1.0 << hex("00") << 0.0;
    QTest::newRow("uint32 4294967295.5") << 7 << 4294967295.5 << hex("ffffffff") << 4294967295.0;
    QTest::newRow("uint32 -1") << 7 << -1.0 << hex("00000000") << 0.0;
    QTest::newRow("int32 -2147483648.7") << 6 << -2147483648.7 << hex("00000080") << -2147483648.0;
    QTest::newRow("int16 +inf") << 4 << inf << hex("ff7f") << 32767.0;
    QTest::newRow("int16 -inf") << 4 << -inf << hex("0080") << -32768.0;
    QTest::newRow("uint16 65535.99") << 5 << 65535.99 << hex("ffff") << 65535.0;
    // NaN has no integer; it stores 0 in every integer type.
    QTest::newRow("int8 NaN") << 2 << nan << hex("00") << 0.0;
    QTest::newRow("uint32 NaN") << 7 << nan << hex("00000000") << 0.0;
    QTest::newRow("boolean NaN") << 8 << nan << hex("00") << 0.0;
    // struct.pack('<f', x).hex() in Python.
    QTest::newRow("single 1e39") << 1 << 1e39 << hex("ffff7f7f") << 3.4028234663852886e38;
    QTest::newRow("single -inf") << 1 << -inf << hex("ffff7fff") << -3.4028234663852886e38;
    QTest::newRow("single 0.1") << 1 << 0.1 << hex("cdcccc3d") << 0.10000000149011612;
    QTest::newRow("single 1e-46") << 1 << 1e-46 << hex("00000000") << 0.0;
    QTest::newRow("double pi") << 0 << 3.141592653589793 << hex("182d4454fb210940")
                               << 3.141592653589793;
    QTest::newRow("double +inf") << 0 << inf << hex("ffffffffffffef7f") << 1.7976931348623157e308;
}

void tst_ValueCodecs::builtInEncode()
{
    QFETCH(int, id);
    QFETCH(double, x);
    QFETCH(QByteArray, bytes);
    QFETCH(double, back);
    const auto codec = make(codecTables(uint8_t(id), 0));
    QCOMPARE(encoded(*codec, x).toHex(), bytes.toHex());
    QCOMPARE(decoded(*codec, bytes), back);
}

void tst_ValueCodecs::complexCodecs()
{
    auto span = [](QByteArray &b) { return std::as_writable_bytes(std::span(b.data(), b.size())); };
    auto cspan
        = [](const QByteArray &b) { return std::as_bytes(std::span(b.constData(), b.size())); };

    const auto i16 = std::dynamic_pointer_cast<IComplexDataType>(make(codecTables(4, 0, true)));
    QVERIFY(i16);
    QByteArray raw(4, '\0');
    i16->fromComplexDouble(1.9, -2.9, span(raw));
    QCOMPARE(raw.toHex(), QByteArray("0100feff"));
    QCOMPARE(i16->realToInt(cspan(raw)), 1);
    QCOMPARE(i16->imagToInt(cspan(raw)), -2);
    // Integer parts clamp to the part's range, like a plain value of the type (no wrap-around).
    i16->fromComplexDouble(40000.0, -1e12, span(raw));
    QCOMPARE(raw.toHex(), QByteArray("ff7f0080"));
    i16->fromComplexDouble(std::nan(""), 3.0, span(raw));
    QCOMPARE(raw.toHex(), QByteArray("00000300"));
    // Integers given as integers keep only their low bytes, as written.
    i16->fromComplexInt(0x12345, -1, span(raw));
    QCOMPARE(raw.toHex(), QByteArray("4523ffff"));

    const auto u8 = std::dynamic_pointer_cast<IComplexDataType>(make(codecTables(3, 0, true)));
    QByteArray b(2, '\0');
    u8->fromComplexDouble(300.0, -5.0, span(b));
    QCOMPARE(b.toHex(), QByteArray("ff00"));

    const auto d = std::dynamic_pointer_cast<IComplexDataType>(make(codecTables(0, 0, true)));
    QByteArray v(16, '\0');
    d->fromComplexDouble(3.0, 4.0, span(v));
    QCOMPARE(d->toDouble(cspan(v)), 5.0);
    QCOMPARE(d->toInt64(cspan(v)), 5);
    QCOMPARE(d->realToDouble(cspan(v)), 3.0);
    QCOMPARE(d->imagToDouble(cspan(v)), 4.0);
    // A plain number written into a complex value changes nothing.
    const QByteArray before = v;
    d->fromDouble(7.0, span(v));
    d->fromInt64(7, span(v));
    QCOMPARE(v, before);

    // Complex fixed point: both parts scaled and saturated.
    const auto cf = std::dynamic_pointer_cast<IComplexDataType>(
        make(withFixedPoint(2, 2, true, fixedPoint(8, true, 1.0, -4, 0.0)), 1));
    QVERIFY(cf);
    QCOMPARE(int(cf->byteSize()), 2);
    QByteArray f(2, '\0');
    cf->fromComplexDouble(1.03, 100.0, span(f));
    QCOMPARE(f.toHex(), QByteArray("107f"));
    QCOMPARE(cf->realToDouble(cspan(f)), 1.0);
    QCOMPARE(cf->imagToInt(cspan(f)), 7); // 127 / 16 = 7.9375
    cf->fromComplexInt(-1, 2, span(f));
    QCOMPARE(f.toHex(), QByteArray("f020"));
}

void tst_ValueCodecs::fixedPointExamples_data()
{
    QTest::addColumn<int>("wordLength");
    QTest::addColumn<bool>("isSigned");
    QTest::addColumn<int>("dataSize");
    QTest::addColumn<double>("slopeAdj");
    QTest::addColumn<int>("exponent");
    QTest::addColumn<double>("x");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("back");
    QTest::newRow("1.03 at 1/16") << 16 << true << 2 << 1.0 << -4 << 1.03 << hex("1000") << 1.0;
    QTest::newRow("-1.03 at 1/16")
        << 16 << true << 2 << 1.0 << -4 << -1.03 << hex("efff") << -1.0625;
    QTest::newRow("maximum at 1/16")
        << 16 << true << 2 << 1.0 << -4 << 2047.9375 << hex("ff7f") << 2047.9375;
    // 0.3 / 0.1 is 2.9999999999999996 in doubles; the value means 3.
    QTest::newRow("0.3 at 0.1") << 8 << true << 1 << 0.1 << 0 << 0.3 << hex("03")
                                << 0.30000000000000004;
    QTest::newRow("0.7 at 0.1") << 16 << false << 2 << 0.1 << 0 << 0.7 << hex("0700")
                                << 0.7000000000000001;
    QTest::newRow("word 12 above range")
        << 12 << true << 2 << 1.0 << 0 << 5000.0 << hex("ff07") << 2047.0;
    QTest::newRow("word 12 below range")
        << 12 << true << 2 << 1.0 << 0 << -5000.0 << hex("00f8") << -2048.0;
    // 2^63 - 1 is no double: 2^63 must saturate, not wrap to the smallest.
    QTest::newRow("int64 at 2^63")
        << 64 << true << 8 << 1.0 << 0 << 0x1p63 << hex("ffffffffffffff7f") << 0x1p63;
    QTest::newRow("int64 at -2^63")
        << 64 << true << 8 << 1.0 << 0 << -0x1p63 << hex("0000000000000080") << -0x1p63;
    QTest::newRow("uint64 at 2^64")
        << 64 << false << 8 << 1.0 << 0 << 0x1p64 << hex("ffffffffffffffff") << 0x1p64;
    QTest::newRow("uint64 below 0")
        << 64 << false << 8 << 1.0 << 0 << -1.0 << hex("0000000000000000") << 0.0;
    QTest::newRow("NaN") << 16 << true << 2 << 1.0 << 0 << std::nan("") << hex("0000") << 0.0;
    QTest::newRow("zero slope") << 16 << true << 2 << 0.0 << 0 << 5.0 << hex("0000") << 0.0;
}

void tst_ValueCodecs::fixedPointExamples()
{
    QFETCH(int, wordLength);
    QFETCH(bool, isSigned);
    QFETCH(int, dataSize);
    QFETCH(double, slopeAdj);
    QFETCH(int, exponent);
    QFETCH(double, x);
    QFETCH(QByteArray, bytes);
    QFETCH(double, back);
    const auto codec
        = make(withFixedPoint(2, uint16_t(dataSize), false,
                              fixedPoint(wordLength, isSigned, slopeAdj, exponent, 0.0)),
               1);
    QVERIFY(codec);
    QCOMPARE(encoded(*codec, x).toHex(), bytes.toHex());
    QCOMPARE(decoded(*codec, bytes), back);
    QCOMPARE(codec->isInteger(), false);
}

void tst_ValueCodecs::fixedPointAgainstPython()
{
    const auto run = nimbrel::test::runProcess(
        nimbrel::test::python(),
        { nimbrel::test::sourceDir() + "/tests/monitoring/fixed_point_cases.py", "15" });
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 4000);
    int checked = 0;
    int saturated = 0;
    for (const QByteArray &line : lines) {
        const QList<QByteArray> f = line.split(' ');
        QCOMPARE(f.size(), 9);
        const int word = f[0].toInt();
        const bool isSigned = f[1] == "1";
        const int size = f[2].toInt();
        const double adj = std::strtod(f[3].constData(), nullptr);
        const int exponent = f[4].toInt();
        const double bias = std::strtod(f[5].constData(), nullptr);
        const double x = std::strtod(f[6].constData(), nullptr);
        const QByteArray stored = f[7];
        const double back = std::strtod(f[8].constData(), nullptr);

        auto f0 = fixedPoint(word, isSigned, adj, exponent, bias);
        const auto codec = make(withFixedPoint(2, uint16_t(size), false, f0), 1);
        QVERIFY2(codec, line.constData());
        const QByteArray raw = encoded(*codec, x);
        QByteArray wide(8, '\0');
        std::memcpy(wide.data(), raw.constData(), size_t(raw.size()));
        // Sign-extend from the container's width for signed words.
        if (isSigned && size < 8 && (raw.at(size - 1) & 0x80))
            std::memset(wide.data() + size, 0xFF, size_t(8 - size));
        QByteArray got;
        if (isSigned)
            got = QByteArray::number(qFromLittleEndian<qint64>(wide.constData()));
        else
            got = QByteArray::number(qFromLittleEndian<quint64>(wide.constData()));
        QVERIFY2(got == stored, (line + " -> " + got).constData());
        const double d = decoded(*codec, raw);
        QVERIFY2(d == back, (line + " decodes to " + QByteArray::number(d, 'g', 17)).constData());
        if (std::isfinite(x)
            && std::fabs((x - bias) / (adj * std::ldexp(1.0, exponent))) > std::ldexp(1.0, word))
            ++saturated;
        ++checked;
    }
    QCOMPARE(checked, 4000);
    QVERIFY2(saturated > 100, "the cases must reach beyond the words");
}

void tst_ValueCodecs::factory_data()
{
    QTest::addColumn<ModelTables>("tables");
    QTest::addColumn<int>("dataTypeIndex");
    QTest::addColumn<int>("fxpIndex");
    QTest::addColumn<int>("expectedId"); // -1: no codec
    QTest::addColumn<int>("expectedSize");
    QTest::addColumn<QString>("warning");

    ModelTables noFxp = codecTables(0, 8);
    noFxp.fixedPointInfo.clear();
    QTest::newRow("no fixed-point table")
        << noFxp << 0 << 0 << -1 << 0 << "^Unknown fixed point index$";
    QTest::newRow("index at table size")
        << codecTables(0, 8) << 1 << 0 << -1 << 0 << "^Unkown data type index$";
    QTest::newRow("fixed-point index past table")
        << codecTables(0, 8) << 0 << 1 << -1 << 0 << "^Unknown fixed point index$";
    QTest::newRow("negative fixed-point index")
        << codecTables(0, 8) << 0 << -1 << -1 << 0 << "^Unknown fixed point index$";
    QTest::newRow("struct") << codecTables(255, 8) << 0 << 0 << -1 << 0
                            << "^Unsupported datatype:  255$";
    QTest::newRow("complex struct")
        << codecTables(255, 8, true) << 0 << 0 << -1 << 0 << "^Unsupported complex datatype:  255$";
    QTest::newRow("enum, complex")
        << codecTables(254, 1, true, 3) << 0 << 0 << -1 << 0 << QString();
    QTest::newRow("enum, storage 7, size 1")
        << codecTables(254, 1, false, 7) << 0 << 0 << 3 << 1 << QString();
    QTest::newRow("enum, storage 6, size 2")
        << codecTables(254, 2, false, 6) << 0 << 0 << 4 << 2 << QString();
    QTest::newRow("enum, storage 3, size 4")
        << codecTables(254, 4, false, 3) << 0 << 0 << 7 << 4 << QString();
    QTest::newRow("enum, storage 9") << codecTables(254, 4, false, 9) << 0 << 0 << -1 << 0
                                     << "^Unsupported enum datatype:  9 \\(size:  4 \\)$";
    ModelTables enumFxp = withFixedPoint(254, 1, false, fixedPoint(8, true, 1, 0, 0));
    QTest::newRow("enum, scaled") << enumFxp << 0 << 1 << -1 << 0 << QString();
    QTest::newRow("fixed, word 12 in 2 bytes")
        << withFixedPoint(4, 2, false, fixedPoint(12, true, 1, 0, 0)) << 0 << 1 << 4 << 2
        << QString();
    QTest::newRow("fixed, word 12 in 1 byte")
        << withFixedPoint(4, 1, false, fixedPoint(12, true, 1, 0, 0)) << 0 << 1 << -1 << 0
        << "^Unsupported fixed type width:  12  Signed:  1  DataSize:  1$";
    QTest::newRow("fixed, word 8 in 8 bytes")
        << withFixedPoint(6, 8, false, fixedPoint(8, false, 1, 0, 0)) << 0 << 1 << 6 << 8
        << QString();
    QTest::newRow("fixed, scaling type 1")
        << withFixedPoint(4, 2, false, fixedPoint(12, true, 1, 0, 0, 1)) << 0 << 1 << -1 << 0
        << "^Unsupported fixed point scaling type$";
    QTest::newRow("complex fixed, 64-bit parts")
        << withFixedPoint(7, 16, true, fixedPoint(64, false, 1, 0, 0)) << 0 << 1 << 7 << 16
        << QString();
    QTest::newRow("complex fixed, 3 bytes")
        << withFixedPoint(7, 3, true, fixedPoint(8, false, 1, 0, 0)) << 0 << 1 << -1 << 0
        << "^Unsupported complex fixed type width:  8  Signed:  0  DataSize:  3$";
    QTest::newRow("complex fixed, scaling 2")
        << withFixedPoint(7, 4, true, fixedPoint(16, false, 1, 0, 0, 2)) << 0 << 1 << -1 << 0
        << "^Unsupported complex fixed point scaling type$";
    ModelTables badName = codecTables(6, 4);
    badName.dataTypes[0].nameIndex = 9;
    QTest::newRow("bad name index") << badName << 0 << 0 << 6 << 4
                                    << "^Tried to access invalid string index  9  for type  1[23]$";
}

void tst_ValueCodecs::factory()
{
    QFETCH(ModelTables, tables);
    QFETCH(int, dataTypeIndex);
    QFETCH(int, fxpIndex);
    QFETCH(int, expectedId);
    QFETCH(int, expectedSize);
    QFETCH(QString, warning);
    if (warning.isEmpty()) {
        QTest::failOnWarning(QRegularExpression(".*"));
    } else {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        if (QTest::currentDataTag() == QByteArray("bad name index"))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    }
    const auto codec = makeDataType(tables, uint16_t(dataTypeIndex), fxpIndex);
    if (expectedId < 0) {
        QVERIFY(!codec);
        return;
    }
    QVERIFY(codec);
    QCOMPARE(int(codec->getSimulinkTypeId()), expectedId);
    QCOMPARE(int(codec->byteSize()), expectedSize);
    QCOMPARE(int(codec->getDataTypeIndex()), dataTypeIndex);
    if (QTest::currentDataTag() == QByteArray("fixed, word 12 in 2 bytes")) {
        QCOMPARE(codec->maxDouble(), 2047.0);
        QCOMPARE(codec->minDouble(), -2048.0);
    }
    if (QTest::currentDataTag() == QByteArray("bad name index"))
        QVERIFY(codec->getTypeName().empty());
}

QTEST_GUILESS_MAIN(tst_ValueCodecs)
#include "tst_valueCodecs.moc"
