#include "LogParser.h"
#include "logfile/MatExport.h"

#include "ErrorHandler.h"
#include "LogFixtures.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>

Q_DECLARE_METATYPE(std::vector<std::string>)
Q_DECLARE_METATYPE(std::vector<std::size_t>)

using namespace logtest;
using namespace nimbrel::test;

namespace {

// Collects what the conversion writes to the standard error stream while it lives.
class CerrCapture
{
public:
    CerrCapture()
        : m_previous(std::cerr.rdbuf(m_buffer.rdbuf()))
    { }
    ~CerrCapture() { std::cerr.rdbuf(m_previous); }
    QString text() const { return QString::fromStdString(m_buffer.str()); }

private:
    std::ostringstream m_buffer;
    std::streambuf *m_previous;
};

struct Outcome
{
    bool finished = false;
    bool ok = false;
    QString message;
    QList<float> progress;
};

// One conversion through a LogParser, as the screens start it; waits for its end.
Outcome convert(LogParser &parser, const QString &log, const QString &mat)
{
    QSignalSpy progress(&parser, &LogParser::progressChanged);
    QSignalSpy finished(&parser, &LogParser::finished);
    parser.parseLog(QUrl::fromLocalFile(log), QUrl::fromLocalFile(mat));
    Outcome outcome;
    outcome.finished = finished.wait(scaled(60000));
    if (outcome.finished) {
        outcome.ok = finished.at(0).at(0).toBool();
        outcome.message = finished.at(0).at(1).toString();
    }
    for (const auto &args : progress)
        outcome.progress << args.at(0).toFloat();
    return outcome;
}

bool notified(const QString &message)
{
    for (AbstractNotification *n : ErrorHandler::instance()->getNotificationList()) {
        if (n->getMessage() == message)
            return true;
    }
    return false;
}

} // namespace

class TestLogConversion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void matFileHoldsTheLog_data();
    void matFileHoldsTheLog();
    void failuresAreReported_data();
    void failuresAreReported();
    void oneSignalProgress();
    void failedConversionCanRunAgain();
    void destroyedWhileConverting();
    void readErrorWhileConverting();
    void variableNames_data();
    void variableNames();
    void columnMajor();
    void columnMajorRefusesWhatDoesNotFit_data();
    void columnMajorRefusesWhatDoesNotFit();
    void childProcessesDoNotInheritTheFile();

private:
    QString log(const QString &name) const { return QDir(m_dir).filePath(name + ".zlf"); }
    QString mat(const QString &name) const
    {
        return QDir(testRoot()).filePath(QStringLiteral("out/") + name + ".mat");
    }
    // The h5py oracle: exit status 0 and no output when the file holds what the generator wrote.
    ProcessResult check(const QString &name) const
    {
        return runProcess(python(),
                          { fixturePath(QStringLiteral("mat_check.py")),
                            QDir(m_dir).filePath(name + ".json"), mat(name) });
    }

    // A log large enough that a conversion runs for a while: 24 MB, 20 signals.
    QString bigLog(const QString &name) const
    {
        const QString path = QDir(testRoot()).filePath(name + QStringLiteral(".zlf"));
        const auto generated = runProcess(python(),
                                          { fixturePath(QStringLiteral("zlf_generator.py")),
                                            QStringLiteral("--bench"), path, QStringLiteral("24"),
                                            QStringLiteral("20") });
        if (generated.exitCode != 0)
            qFatal("log generator failed: %s", generated.err.constData());
        return path;
    }

    QString m_dir;
};

void TestLogConversion::initTestCase()
{
    m_dir = generate();
    QVERIFY(QDir(testRoot()).mkpath(QStringLiteral("out")));
}

void TestLogConversion::matFileHoldsTheLog_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : caseNames(m_dir)) {
        if (errorWhen(expected(m_dir, name)).isEmpty())
            QTest::newRow(qPrintable(name)) << name;
    }
}

// Every log that converts gives a MAT 7.3 file in which h5py finds every signal (names made
// valid and unique, found again by their "name" field), the nine fields in order, their classes,
// dimensions and values, text as UTF-16 and sorted metadata fields: the generator's contents.
void TestLogConversion::matFileHoldsTheLog()
{
    QFETCH(QString, name);
    LogParser parser;
    if (name == QLatin1String("unknown_type"))
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("blob.*unknown type id")));
    const Outcome outcome = convert(parser, log(name), mat(name));
    QVERIFY(outcome.finished);
    QVERIFY2(outcome.ok, qPrintable(outcome.message));
    QCOMPARE(parser.progress(), 1.0f);
    const auto result = check(name);
    QVERIFY2(result.exitCode == 0, result.out + result.err);
}

void TestLogConversion::failuresAreReported_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("standardError");
    QTest::addColumn<float>("progress");
    for (const QString &name : caseNames(m_dir)) {
        const QJsonObject want = expected(m_dir, name);
        const QString when = errorWhen(want);
        if (when == QLatin1String("convert")) {
            const QString line = QStringLiteral("Parsing error: ") + errorMessage(want);
            QTest::newRow(qPrintable(name)) << name << QString() << line << line + '\n' << 0.0f;
        } else if (!when.isEmpty()) {
            QTest::newRow(qPrintable(name))
                << name << QString() << QStringLiteral("Log file is malformed") << QString()
                << 1.0f;
        }
    }
    const QString noFolder = QStringLiteral("Parsing error: Could not open file");
    QTest::newRow("output folder missing")
        << "current_v255"
        << "missing/folder/out.mat" << noFolder << noFolder + '\n'
        << 0.0f;
}

// Malformed logs end at progress 1 with "Log file is malformed"; other failures print their line
// and set the progress back to 0. Each ends with finished(false), a notification and no MAT file.
void TestLogConversion::failuresAreReported()
{
    QFETCH(QString, name);
    QFETCH(QString, output);
    QFETCH(QString, message);
    QFETCH(QString, standardError);
    QFETCH(float, progress);
    const QString target
        = output.isEmpty() ? mat(name) : QDir(testRoot()).filePath(QStringLiteral("out/") + output);
    LogParser parser;
    Outcome outcome;
    QString printed;
    {
        CerrCapture capture;
        outcome = convert(parser, log(name), target);
        printed = capture.text();
    }
    QVERIFY(outcome.finished);
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.message, message);
    QCOMPARE(printed, standardError);
    QCOMPARE(parser.progress(), progress);
    QVERIFY(!QFileInfo::exists(target));
    QVERIFY(notified(message));
}

// With one signal the per-signal steps of building and writing are whole: every report is a
// number between 0 and 1, never NaN, and they never go back.
void TestLogConversion::oneSignalProgress()
{
    LogParser parser;
    const Outcome outcome = convert(parser, log("one_signal"), mat("one_signal"));
    QVERIFY(outcome.ok);
    QVERIFY(outcome.progress.size() >= 3);
    float last = 0;
    for (float p : outcome.progress) {
        QVERIFY2(std::isfinite(p) && p >= last && p <= 1.0f, qPrintable(QString::number(p)));
        last = p;
    }
    QCOMPARE(outcome.progress.last(), 1.0f);
}

// A conversion that fails half-way through the records returns the progress to 0, and the same
// parser converts the next file to the end.
void TestLogConversion::failedConversionCanRunAgain()
{
    LogParser parser;
    CerrCapture capture;
    const Outcome failed = convert(parser, log("late_complex_time"), mat("late_complex_time"));
    QVERIFY(failed.finished && !failed.ok);
    QCOMPARE(failed.message, QStringLiteral("Parsing error: Data is complex"));
    // The premise: the failure came after progress had been reported.
    QVERIFY(std::any_of(failed.progress.begin(), failed.progress.end(),
                        [](float p) { return p > 0.1f; }));
    QCOMPARE(parser.progress(), 0.0f);

    const Outcome again = convert(parser, log("current_wrap"), mat("again"));
    QVERIFY(again.ok);
    QCOMPARE(parser.progress(), 1.0f);
}

// Destroying the parser while its worker converts a large log neither deadlocks nor waits for
// the conversion to end: the conversion is cancelled and its partial file removed.
void TestLogConversion::destroyedWhileConverting()
{
    const QString big = bigLog(QStringLiteral("big"));
    const QString target = mat("cancelled");
    auto *parser = new LogParser;
    QSignalSpy progress(parser, &LogParser::progressChanged);
    QSignalSpy finished(parser, &LogParser::finished);
    parser->parseLog(QUrl::fromLocalFile(big), QUrl::fromLocalFile(target));
    QVERIFY(progress.wait(scaled(30000)));
    QVERIFY(finished.isEmpty());
    QVERIFY(QFileInfo::exists(target));
    delete parser;
    QVERIFY(!QFileInfo::exists(target));
}

// A log cut short while its records are read: "Reading error: " and the stream's text on the
// standard error stream, finished(false), progress back to 0 and no MAT file.
void TestLogConversion::readErrorWhileConverting()
{
    const QString big = bigLog(QStringLiteral("shrinking"));
    const QString target = mat("shrinking");
    LogParser parser;
    QSignalSpy progress(&parser, &LogParser::progressChanged);
    QSignalSpy finished(&parser, &LogParser::finished);
    CerrCapture capture;
    parser.parseLog(QUrl::fromLocalFile(big), QUrl::fromLocalFile(target));
    QVERIFY(progress.wait(scaled(30000)));
    // The premise: the records are still being read when the file shrinks.
    QVERIFY(finished.isEmpty());
    QVERIFY(parser.progress() < 0.4f);
    QVERIFY(QFile::resize(big, 8192));
    QVERIFY(finished.wait(scaled(60000)));
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QVERIFY2(finished.at(0).at(1).toString().startsWith(QStringLiteral("Reading error: ")),
             qPrintable(finished.at(0).at(1).toString()));
    QVERIFY(capture.text().startsWith(QStringLiteral("Reading error: ")));
    QVERIFY(capture.text().endsWith(u'\n'));
    QCOMPARE(parser.progress(), 0.0f);
    QVERIFY(!QFileInfo::exists(target));
}

void TestLogConversion::variableNames_data()
{
    using Names = std::vector<std::string>;
    QTest::addColumn<Names>("names");
    QTest::addColumn<Names>("taken");
    QTest::addColumn<Names>("expected");
    QTest::newRow("valid unique names stay")
        << Names{ "a", "B_1", "x9" } << Names{} << Names{ "a", "B_1", "x9" };
    QTest::newRow("duplicates numbered, existing suffix kept")
        << Names{ "x", "x", "x_2", "x" } << Names{} << Names{ "x", "x_3", "x_2", "x_4" };
    QTest::newRow("taken name") << Names{ "metadata", "metadata" } << Names{ "metadata" }
                                << Names{ "metadata_2", "metadata_3" };
    QTest::newRow("invalid characters")
        << Names{ "a/b", "a b", "Drehzahl µ" } << Names{} << Names{ "a_b", "a_b_2", "Drehzahl__" };
    QTest::newRow("letter in front")
        << Names{ "", "2fast", "_x" } << Names{} << Names{ "x", "x2fast", "x_x" };
    const std::string longName(70, 'y');
    QTest::newRow("63 characters at most")
        << Names{ longName, longName } << Names{}
        << Names{ std::string(63, 'y'), std::string(61, 'y') + "_2" };
}

void TestLogConversion::variableNames()
{
    using Names = std::vector<std::string>;
    QFETCH(Names, names);
    QFETCH(Names, taken);
    QFETCH(Names, expected);
    QCOMPARE(logfile::matVariableNames(names, taken), expected);
}

// Three samples of a 2x3 array (first dimension fastest, two bytes left over per sample) become
// one column-major array of dimensions {3, 2, 3}.
void TestLogConversion::columnMajor()
{
    const std::size_t count = 3, d1 = 2, d2 = 3, sampleSize = 8;
    std::vector<std::uint8_t> samples(count * sampleSize, 0xEE);
    for (std::size_t n = 0; n < count; ++n) {
        for (std::size_t e = 0; e < d1 * d2; ++e)
            samples[n * sampleSize + e] = std::uint8_t(n * 16 + e);
    }
    const auto out = logfile::toColumnMajor(samples, { count, d1, d2 }, sampleSize, 1);
    QCOMPARE(out.size(), samples.size());
    for (std::size_t n = 0; n < count; ++n) {
        for (std::size_t j1 = 0; j1 < d1; ++j1) {
            for (std::size_t j2 = 0; j2 < d2; ++j2)
                QCOMPARE(out[n + count * (j1 + d1 * j2)], std::uint8_t(n * 16 + j1 + d1 * j2));
        }
    }
}

void TestLogConversion::columnMajorRefusesWhatDoesNotFit_data()
{
    using Dims = std::vector<std::size_t>;
    QTest::addColumn<Dims>("dims");
    QTest::addColumn<std::size_t>("sampleSize");
    QTest::addColumn<std::size_t>("elementBytes");
    QTest::addColumn<std::size_t>("bufferBytes");
    const std::size_t big = 32768;
    // 2^61 elements of 8 bytes: 2^64, which wraps to 0.
    QTest::newRow("bytes wrap to 0") << Dims{ 2, big, big, big, big, 2 } << std::size_t(8)
                                     << std::size_t(8) << std::size_t(16);
    QTest::newRow("elements wrap to 0")
        << Dims{ 2, big, big, big, big, big } << std::size_t(8) << std::size_t(1) << std::size_t(16);
    QTest::newRow("elements wrap") << Dims{ 2, std::size_t(1) << 32, (std::size_t(1) << 32) + 1 }
                                        << std::size_t(1) << std::size_t(1) << std::size_t(2);
    QTest::newRow("sample too small") << Dims{ 2, 3 } << std::size_t(5) << std::size_t(2)
                                      << std::size_t(10);
    QTest::newRow("fewer samples than N") << Dims{ 3, 2 } << std::size_t(2) << std::size_t(1)
                                          << std::size_t(4);
}

// Sizes that do not fit are refused before anything is copied.
void TestLogConversion::columnMajorRefusesWhatDoesNotFit()
{
    using Dims = std::vector<std::size_t>;
    QFETCH(Dims, dims);
    QFETCH(std::size_t, sampleSize);
    QFETCH(std::size_t, elementBytes);
    QFETCH(std::size_t, bufferBytes);
    const std::vector<std::uint8_t> samples(bufferBytes, 0x5A);
    QVERIFY_THROWS_EXCEPTION(std::range_error,
                             logfile::toColumnMajor(samples, dims, sampleSize, elementBytes));
}

// A program started while a conversion runs must not inherit the MAT file: `ls` run from the
// conversion's progress report lists its own open descriptors, which include every inherited one.
void TestLogConversion::childProcessesDoNotInheritTheFile()
{
    std::ifstream stream(log(QStringLiteral("one_signal")).toStdString(), std::ios::binary);
    QVERIFY(stream);
    logfile::LogFile file(stream);
    const QString target = mat(QStringLiteral("inherited"));
    QString childView;
    logfile::exportToMat(target.toStdString(), file, [&](ConversionStage stage, float) {
        if (stage == ConversionSetUp || !childView.isEmpty())
            return;
        const auto listing = runProcess(QStringLiteral("/bin/ls"),
                                        { QStringLiteral("-l"), QStringLiteral("/proc/self/fd/") });
        childView = QString::fromLocal8Bit(listing.out);
    });
    QVERIFY(QFileInfo::exists(target));
    QVERIFY2(childView.contains(QStringLiteral("/proc/")), qPrintable(childView));
    QVERIFY2(!childView.contains(QFileInfo(target).canonicalFilePath()), qPrintable(childView));
}

QTEST_GUILESS_MAIN(TestLogConversion)
#include "tst_logConversion.moc"

