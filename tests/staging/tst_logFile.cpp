#include "logfile/LogFile.h"
#include "logfile/LogSampleConversion.h"

#include "LogFixtures.h"

#include <QTest>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace logtest;

namespace {

std::string readAll(const QString &path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Opens `bytes` and returns the message of the FileFormatException it raises, or "" when it
// opens. Any other exception fails the caller through QTest.
template<typename Exception = FileFormatException> QString openError(const std::string &bytes)
{
    std::istringstream stream(bytes);
    try {
        logfile::LogFile file(stream);
    } catch (const Exception &e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

} // namespace

class TestLogFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readsWhatTheGeneratorWrote_data();
    void readsWhatTheGeneratorWrote();
    void rejectsMalformedFiles_data();
    void rejectsMalformedFiles();
    void headerBitFlip_data();
    void headerBitFlip();
    void malformedWalkEnds_data();
    void malformedWalkEnds();
    void readErrorWhileWalking();

private:
    QString m_dir;
};

void TestLogFile::initTestCase()
{
    m_dir = generate();
}

void TestLogFile::readsWhatTheGeneratorWrote_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : caseNames(m_dir)) {
        const QString when = errorWhen(expected(m_dir, name));
        if (when.isEmpty() || when == QLatin1String("convert"))
            QTest::newRow(qPrintable(name)) << name;
    }
}

// Every field of every signal, the metadata, and every record of the walk: its signals, its time
// base, the ring bytes before it and each value, against the generator's account of the file.
void TestLogFile::readsWhatTheGeneratorWrote()
{
    QFETCH(QString, name);
    const QJsonObject want = expected(m_dir, name);
    std::ifstream stream(QDir(m_dir).filePath(name + ".zlf").toStdString(), std::ios::binary);
    const logfile::LogFile file(stream);

    QCOMPARE(file.version(), want["version"].toInt());
    QCOMPARE(file.isLegacy(), want["legacy"].toBool());
    if (want["legacy"].toBool()) {
        QVERIFY(!file.metadata().has_value());
    } else {
        QVERIFY(file.metadata().has_value());
        const QJsonArray pairs = want["metadata"].toArray();
        QCOMPARE(file.metadata()->size(), std::size_t(pairs.size()));
        for (const auto &pair : pairs) {
            const auto key = pair.toArray()[0].toString().toStdString();
            QVERIFY2(file.metadata()->count(key), key.c_str());
            QCOMPARE(QString::fromStdString(file.metadata()->at(key)),
                     pair.toArray()[1].toString());
        }
    }

    const QJsonArray signalsWanted = want["signals"].toArray();
    const logfile::SignalList &signalList = *file.signalList();
    QCOMPARE(signalList.size(), std::size_t(signalsWanted.size()));
    for (qsizetype i = 0; i < signalsWanted.size(); ++i) {
        const QJsonObject w = signalsWanted[i].toObject();
        const logfile::Signal &s = signalList[std::size_t(i)];
        QCOMPARE(QString::fromStdString(s.name), w["name"].toString());
        QCOMPARE(QString::fromStdString(s.block_name), w["block_name"].toString());
        QCOMPARE(QString::fromStdString(s.label), w["label"].toString());
        QCOMPARE(int(s.typeId), w["typeId"].toInt());
        QCOMPARE(int(s.flags), w["flags"].toInt());
        QCOMPARE(double(s.startT), w["startT"].toDouble());
        QCOMPARE(double(s.stopT), w["stopT"].toDouble());
        QCOMPARE(double(s.stepT), w["stepT"].toDouble());
        QCOMPARE(double(s.sampleTime), w["sampleTime"].toDouble());
        QCOMPARE(s.sampleSize, w["sampleSize"].toInt());
        QCOMPARE(s.index, int(i));
        QList<int> dims;
        for (auto d : s.dims)
            dims << d;
        QList<int> dimsWanted;
        for (const auto &d : w["dims"].toArray())
            dimsWanted << d.toInt();
        QCOMPARE(dims, dimsWanted);
    }

    const logfile::DataSection &data = file.dataSection();
    QCOMPARE(data.size(), std::uint64_t(want["size"].toInteger()));
    const QJsonArray records = want["records"].toArray();
    std::vector<qsizetype> nextSample(signalList.size(), 0);
    qsizetype count = 0;
    for (auto it = data.begin(); it != data.end(); ++it, ++count) {
        QVERIFY2(count < records.size(), "more records than written");
        const QJsonObject r = records[count].toObject();
        const logfile::Record record = *it;
        QCOMPARE(record.bytesConsumed, std::uint64_t(r["consumed"].toInteger()));
        QCOMPARE(it.bytesConsumed(), std::uint64_t(r["consumed"].toInteger()));
        QCOMPARE(record.timeIndex, r["timeIndex"].toInt());
        const QJsonArray present = r["present"].toArray();
        QCOMPARE(record.samples.size(), std::size_t(present.size()));
        for (std::size_t k = 0; k < record.samples.size(); ++k) {
            const logfile::Sample &sample = record.samples[k];
            const int index = sample.signal->index;
            QCOMPARE(index, present[qsizetype(k)].toInt());
            const QJsonObject w = signalsWanted[index].toObject();
            const QJsonArray values
                = w["samples"].toArray()[nextSample[std::size_t(index)]++].toArray();
            if (sample.signal->flags & logfile::ComplexFlag) {
                QVERIFY_THROWS_EXCEPTION(TypeConversionError, logfile::toDoubles(sample));
                continue;
            }
            if (sample.signal->typeId > 8) {
                try {
                    logfile::toDoubles(sample);
                    QFAIL("an unknown type converted");
                } catch (const TypeConversionError &e) {
                    QCOMPARE(QString::fromLatin1(e.what()), QStringLiteral("Unknown data type"));
                }
                continue;
            }
            const logfile::SampleArray array = logfile::toDoubles(sample);
            QCOMPARE(array.values.size(), std::size_t(values.size()));
            for (std::size_t v = 0; v < array.values.size(); ++v)
                QCOMPARE(array.values[v], values[qsizetype(v)].toDouble());
            QCOMPARE(array.dims.size(), sample.signal->dims.size());
        }
    }
    QCOMPARE(count, records.size());
}

void TestLogFile::rejectsMalformedFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    for (const QString &name : caseNames(m_dir)) {
        const QJsonObject want = expected(m_dir, name);
        if (errorWhen(want) == QLatin1String("open"))
            QTest::newRow(qPrintable(name)) << name << errorMessage(want);
    }
}

// Short files, bad checksums and positions outside the data area fail at open with their message.
void TestLogFile::rejectsMalformedFiles()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    const std::string bytes = readAll(QDir(m_dir).filePath(name + ".zlf"));
    QCOMPARE(openError(bytes), message);
    if (name == QLatin1String("unknown_magic"))
        QCOMPARE(openError<UnknownMagic>(bytes), message);
}

void TestLogFile::headerBitFlip_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("bit");
    QTest::newRow("version byte") << 0 << 0;
    for (int offset = 4; offset < 20; ++offset)
        QTest::addRow("byte %d", offset) << offset << (offset * 3) % 8;
}

// One flipped bit anywhere the header checksum covers (or in the checksum itself) is caught
// before any other section is looked at.
void TestLogFile::headerBitFlip()
{
    QFETCH(int, offset);
    QFETCH(int, bit);
    std::string bytes = readAll(QDir(m_dir).filePath("current_v255.zlf"));
    QCOMPARE(openError(bytes), QString());
    bytes[std::size_t(offset)] = char(bytes[std::size_t(offset)] ^ (1 << bit));
    QCOMPARE(openError(bytes), QStringLiteral("Fileheader CRC mismatch"));
}

void TestLogFile::malformedWalkEnds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    for (const QString &name : caseNames(m_dir)) {
        const QJsonObject want = expected(m_dir, name);
        if (errorWhen(want) == QLatin1String("walk"))
            QTest::newRow(qPrintable(name)) << name << errorMessage(want);
    }
}

// A record or bitmap that runs past its block or the end of the file ends the walk with a format
// error (never a read outside the block buffer, which the sanitizers would report).
void TestLogFile::malformedWalkEnds()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    std::ifstream stream(QDir(m_dir).filePath(name + ".zlf").toStdString(), std::ios::binary);
    const logfile::LogFile file(stream);
    QString error;
    int steps = 0;
    try {
        for (auto it = file.dataSection().begin(); it != file.dataSection().end(); ++it) {
            QVERIFY2(++steps < 100000, "the walk does not end");
            const logfile::Record record = *it;
            Q_UNUSED(record);
        }
    } catch (const FileFormatException &e) {
        error = QString::fromStdString(e.what());
    }
    QCOMPARE(error, message);
}

// After opening, the stream keeps throwing: a file that shrinks under the walk is a stream
// failure, not a silent end of the records.
void TestLogFile::readErrorWhileWalking()
{
    const std::string bytes = readAll(QDir(m_dir).filePath("current_wrap.zlf"));
    const QString path = QDir(nimbrel::test::testRoot()).filePath("shrinking.zlf");
    {
        std::ofstream out(path.toStdString(), std::ios::binary);
        out << bytes;
    }
    std::ifstream stream(path.toStdString(), std::ios::binary);
    const logfile::LogFile file(stream);
    QVERIFY(file.dataSection().first() > 4096);
    std::filesystem::resize_file(path.toStdString(), 4096);
    QVERIFY_THROWS_EXCEPTION(std::ios_base::failure, file.dataSection().begin());
}

QTEST_GUILESS_MAIN(TestLogFile)
#include "tst_logFile.moc"
