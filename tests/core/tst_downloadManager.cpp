#include "DownloadManager.h"

#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTest>

#include <climits>
#include <csignal>
#include <sys/resource.h>

using namespace nimbrel::test;

namespace {

// What a QFutureWatcher on the GUI thread saw of one download.
struct Observed
{
    QList<DownloadResult> results;
    int finished = 0;
    QList<QPair<int, int>> ranges;
    QList<int> values;
};

Observed observe(const QFuture<DownloadResult> &future, int timeoutMs = 20000)
{
    Observed seen;
    QFutureWatcher<DownloadResult> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::resultReadyAt, &watcher,
                     [&](int index) { seen.results.append(watcher.resultAt(index)); });
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &watcher, [&] { ++seen.finished; });
    QObject::connect(&watcher, &QFutureWatcherBase::progressRangeChanged, &watcher,
                     [&](int minimum, int maximum) {
                         seen.ranges.append({ minimum, maximum });
                     });
    QObject::connect(&watcher, &QFutureWatcherBase::progressValueChanged, &watcher,
                     [&](int value) { seen.values.append(value); });
    watcher.setFuture(future);
    waitFor([&] { return seen.finished > 0; }, timeoutMs);
    // Anything a late reply event might still add would show up here.
    QTest::qWait(150);
    return seen;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

// The two digests as sha256sum prints them.
QStringList sha256sums(const QString &a, const QString &b)
{
    const ProcessResult result = runProcess(QStringLiteral("sha256sum"), { a, b });
    QStringList digests;
    for (const QByteArray &line : result.out.split('\n')) {
        if (line.size() >= 64)
            digests.append(QString::fromLatin1(line.left(64)));
    }
    return digests;
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(20240611);
    for (char &c : data)
        c = char(generator.bounded(256));
    return data;
}

// Previous content of a target: longer than several of the served bodies, so a body that only
// overwrote its start would leave old bytes behind.
QByteArray previousContent()
{
    return QByteArray("previous content of the target\n").repeated(256);
}

// Accepts writes up to a capacity, then fails, like a full disk.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 capacity)
        : m_capacity(capacity)
    { }
    qint64 stored = 0;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 length) override
    {
        if (stored + length > m_capacity)
            return -1;
        stored += length;
        return length;
    }

private:
    qint64 m_capacity;
};

const char AzureErrorDocument[] = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                  "<Error><Code>BlobNotFound</Code><Message>The specified blob "
                                  "does not exist.\nRequestId:5f1e\nTime:2024-06-11T10:00:00Z"
                                  "</Message></Error>";

// A file below the storage base with the server's switches as the query.
QUrl storageRequest(const QString &request)
{
    const qsizetype question = request.indexOf(QLatin1Char('?'));
    QUrl url = DownloadManager::storageUrl(request.left(question));
    if (question >= 0)
        url.setQuery(request.mid(question + 1));
    return url;
}

enum ProgressKind { KnownLength, UnknownLength, HugeLength, AnyProgress };

} // namespace

Q_DECLARE_METATYPE(ProgressKind)

class TestDownloadManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void processWideManager();
    void storageUrl_data();
    void storageUrl();
    void progressSteps_data();
    void progressSteps();

    void downloadToFile_data();
    void downloadToFile();
    void unusableTargetFinishesAtOnce_data();
    void unusableTargetFinishesAtOnce();
    void downloadToPlainFile_data();
    void downloadToPlainFile();
    void fileSizeLimitKeepsPreviousFile_data();
    void fileSizeLimitKeepsPreviousFile();
    void failingDeviceGivesOneWriteFailure();
    void destroyedManagerSettlesRunningDownloads();

private:
    QString servedPath(const QString &name) const { return m_served.filePath(name); }
    QString freshFolder();

    QProcess m_server;
    QDir m_served;
    QString m_certificate;
    QString m_baseUrl;
    QString m_refusedUrl;
    int m_folders = 0;
};

void TestDownloadManager::initTestCase()
{
    // The write-failure case limits the file size; the signal would otherwise end the test.
    std::signal(SIGXFSZ, SIG_IGN);

    const QDir root(testRoot());
    QVERIFY(root.mkpath(QStringLiteral("served")));
    m_served = QDir(root.filePath(QStringLiteral("served")));
    const QString cert = root.filePath(QStringLiteral("storage-cert.pem"));
    m_certificate = cert;
    const QString key = root.filePath(QStringLiteral("storage-key.pem"));
    const ProcessResult made = runProcess(
        QStringLiteral("openssl"),
        { "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-addext",
          "subjectAltName=IP:127.0.0.1", "-days", "2", "-keyout", key, "-out", cert });
    QVERIFY2(made.finished && made.exitCode == 0, made.err.constData());

    QVERIFY(writeFile(servedPath("small.bin"), randomBytes(100)));
    // Smaller than Qt's 16 KiB file write buffer: written whole only when the buffer is flushed.
    QVERIFY(writeFile(servedPath("medium.bin"), randomBytes(12000)));
    QVERIFY(writeFile(servedPath("big.bin"), randomBytes(1024 * 1024)));
    QVERIFY(writeFile(servedPath("empty.bin"), QByteArray()));
    QVERIFY(writeFile(servedPath("blob-error.xml"), AzureErrorDocument));
    // A catalogue-like document: XML with a "Code" element, but no storage error.
    QVERIFY(writeFile(servedPath("catalogue.xml"),
                      "<?xml version=\"1.0\"?><Catalogue><Code>7</Code></Catalogue>"));
    // Ordinary data whose last read happens to be a complete storage error document.
    QVERIFY(writeFile(servedPath("late-error.bin"), randomBytes(10000) + AzureErrorDocument));

    // Trust the throw-away certificate for every connection made from now on.
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    QVERIFY(ssl.addCaCertificates(cert));
    QSslConfiguration::setDefaultConfiguration(ssl);

    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(
        python(),
        { fixturePath(QStringLiteral("https_storage_server.py")), cert, key, m_served.path() });
    QVERIFY(m_server.waitForStarted(scaled(10000)));
    QVERIFY(waitFor([&] { return m_server.canReadLine(); }, 10000));
    const int port = m_server.readLine().trimmed().toInt();
    QVERIFY(port > 0);
    m_baseUrl = QStringLiteral("https://127.0.0.1:%1/").arg(port);
    qputenv("NIMBREL_STORAGE_BASE_URL", m_baseUrl.toUtf8());

    // A port that was free a moment ago has no listener: the connection is refused.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    m_refusedUrl = QStringLiteral("https://127.0.0.1:%1/small.bin").arg(probe.serverPort());
    probe.close();
}

void TestDownloadManager::cleanupTestCase()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.kill();
        m_server.waitForFinished();
    }
}

QString TestDownloadManager::freshFolder()
{
    const QString path = QDir(testRoot()).filePath(QStringLiteral("target-%1").arg(++m_folders));
    QDir().mkpath(path);
    return path;
}

void TestDownloadManager::processWideManager()
{
    DownloadManager *manager = DownloadManager::instance();
    QVERIFY(manager);
    QCOMPARE(manager->parent(), nullptr);
    QCOMPARE(DownloadManager::instance(), manager);
}

void TestDownloadManager::storageUrl_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("expected");

    const QString fallback = QStringLiteral("https://storage.orvane.example/nimbrel/");
    QTest::newRow("built-in base")
        << QByteArray() << "versionInfo.data" << fallback + "versionInfo.data";
    QTest::newRow("configured base with slash")
        << QByteArray("https://127.0.0.1:8443/nimbrel/") << "firmware/pelto-1.2.fwb"
        << "https://127.0.0.1:8443/nimbrel/firmware/pelto-1.2.fwb";
    QTest::newRow("configured base without slash")
        << QByteArray("https://127.0.0.1:8443/base") << "versionInfo.data"
        << "https://127.0.0.1:8443/base/versionInfo.data";
    QTest::newRow("configured host only")
        << QByteArray("https://127.0.0.1:8443") << "versionInfo.data"
        << "https://127.0.0.1:8443/versionInfo.data";
    QTest::newRow("leading slash stays below the base")
        << QByteArray() << "/firmware/a.fwb" << fallback + "firmware/a.fwb";
    QTest::newRow("question mark and hash are part of the name")
        << QByteArray() << "odd?name#1.bin" << fallback + "odd%3Fname%231.bin";
    QTest::newRow("invalid configured base falls back")
        << QByteArray("no url at all") << "versionInfo.data" << fallback + "versionInfo.data";
}

void TestDownloadManager::storageUrl()
{
    QFETCH(QByteArray, base);
    QFETCH(QString, relative);
    QFETCH(QString, expected);

    if (base.isEmpty())
        qunsetenv("NIMBREL_STORAGE_BASE_URL");
    else
        qputenv("NIMBREL_STORAGE_BASE_URL", base);
    if (QByteArray(QTest::currentDataTag()).startsWith("invalid"))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("NIMBREL_STORAGE_BASE_URL"));
    const QUrl url = DownloadManager::storageUrl(relative);
    qputenv("NIMBREL_STORAGE_BASE_URL", m_baseUrl.toUtf8());

    QCOMPARE(url.toString(QUrl::FullyEncoded), expected);
    QVERIFY(url.isValid());
}

void TestDownloadManager::progressSteps_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");

    const qint64 gib = qint64(1) << 30;
    QTest::newRow("small known total") << qint64(1000) << qint64(4000) << 4000 << 1000;
    QTest::newRow("empty body") << qint64(0) << qint64(0) << 0 << 0;
    QTest::newRow("total at INT_MAX") << qint64(INT_MAX) << qint64(INT_MAX) << INT_MAX << INT_MAX;
    QTest::newRow("total just above INT_MAX")
        << qint64(INT_MAX) + 1 << qint64(INT_MAX) + 1 << int(gib) << int(gib);
    // 3 GiB taken as 32 bits is negative; 5 GiB wraps to 1 GiB.
    QTest::newRow("3 GiB half way")
        << qint64(3) * gib / 2 << qint64(3) * gib << int(3 * gib / 2) << int(3 * gib / 4);
    QTest::newRow("5 GiB nearly done")
        << qint64(5) * gib - 8 << qint64(5) * gib << int(5 * gib / 4) << int((5 * gib - 8) / 4);
    QTest::newRow("2^62 total") << (qint64(1) << 61) << (qint64(1) << 62) << (1 << 30) << (1 << 29);
    QTest::newRow("more received than announced") << qint64(5000) << qint64(4000) << 4000 << 4000;
    QTest::newRow("unknown total") << qint64(12345) << qint64(-1) << 0 << 12345;
    QTest::newRow("unknown total above INT_MAX saturates")
        << qint64(3) * gib << qint64(-1) << 0 << INT_MAX;
}

void TestDownloadManager::progressSteps()
{
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    QFETCH(int, maximum);
    QFETCH(int, value);

    const DownloadManager::ProgressSteps steps = DownloadManager::progressSteps(received, total);
    QCOMPARE(steps.minimum, 0);
    QCOMPARE(steps.maximum, maximum);
    QCOMPARE(steps.value, value);
    if (total > 0) {
        // One byte more never maps to a smaller value.
        const auto next = DownloadManager::progressSteps(received + 1, total);
        QVERIFY(next.value >= steps.value);
        QCOMPARE(next.maximum, steps.maximum);
    }
}

void TestDownloadManager::downloadToFile_data()
{
    QTest::addColumn<QString>("request"); // below the storage base, or a full URL
    QTest::addColumn<bool>("existing");
    QTest::addColumn<QString>("served"); // the file the target must equal on success
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("text"); // failure text, or a fragment of the reply's error text
    QTest::addColumn<QString>("contentType");
    QTest::addColumn<QString>("azureCode");
    QTest::addColumn<qint64>("fileSizeLimit");
    QTest::addColumn<ProgressKind>("progress");

    const QString octets = QStringLiteral("application/octet-stream");
    const QString writeError = QStringLiteral("Could not write to file");

    QTest::newRow("stored over an existing file")
        << "big.bin" << true << "big.bin" << true << "" << octets << "" << qint64(0) << KnownLength;
    QTest::newRow("no Content-Type") << "small.bin?type=none" << false << "small.bin" << true << ""
                                     << ""
                                     << "" << qint64(0) << KnownLength;
    QTest::newRow("shorter body replaces a longer file")
        << "small.bin" << true << "small.bin" << true << "" << octets << "" << qint64(0)
        << KnownLength;
    QTest::newRow("empty body") << "empty.bin" << true << "empty.bin" << true << "" << octets << ""
                                << qint64(0) << AnyProgress;
    QTest::newRow("1 MiB in many small reads") << "big.bin?piece=1000" << false << "big.bin" << true
                                               << "" << octets << "" << qint64(0) << KnownLength;
    QTest::newRow("unknown length, end by close")
        << "big.bin?length=no&piece=16384&delay=5" << true << "big.bin" << true << "" << octets
        << "" << qint64(0) << UnknownLength;
    QTest::newRow("chunked") << "big.bin?length=chunked&piece=16384&delay=5" << true << "big.bin"
                             << true << "" << octets << "" << qint64(0) << UnknownLength;
    QTest::newRow("XML that is no storage error")
        << "catalogue.xml?type=application/xml" << true << "catalogue.xml" << true << ""
        << "application/xml"
        << "" << qint64(0) << KnownLength;
    QTest::newRow("storage error document later in the body")
        << "late-error.bin?pauseat=10000" << true << "late-error.bin" << true << "" << octets << ""
        << qint64(0) << KnownLength;

    QTest::newRow("storage error with 404") << "blob-error.xml?status=404&type=application/xml"
                                            << true << "" << false << writeError << ""
                                            << "BlobNotFound" << qint64(0) << AnyProgress;
    QTest::newRow("storage error arriving in small pieces")
        << "blob-error.xml?status=404&piece=16&delay=20" << true << "" << false << writeError << ""
        << "BlobNotFound" << qint64(0) << AnyProgress;
    QTest::newRow("storage error with 200")
        << "blob-error.xml" << false << "" << false << writeError << ""
        << "BlobNotFound" << qint64(0) << AnyProgress;
    QTest::newRow("404 without body") << "missing.bin" << true << "" << false << "Not Found"
                                      << ""
                                      << "" << qint64(0) << AnyProgress;
    QTest::newRow("500 with a body")
        << "small.bin?status=500&type=text/plain" << true << "" << false << "Internal Server Error"
        << ""
        << "" << qint64(0) << AnyProgress;
    QTest::newRow("reset mid-body")
        << "big.bin?piece=8192&resetafter=300000" << true << "" << false << ""
        << ""
        << "" << qint64(0) << AnyProgress;
    QTest::newRow("reset mid-body, chunked")
        << "big.bin?length=chunked&piece=8192&resetafter=300000" << false << "" << false << ""
        << ""
        << "" << qint64(0) << AnyProgress;
    QTest::newRow("3 GiB announced, reset after 256 KiB")
        << "big.bin?claim=3221225472&piece=8192&delay=10&resetafter=262144" << true << "" << false
        << ""
        << ""
        << "" << qint64(0) << HugeLength;
    QTest::newRow("connection refused") << "refused" << true << "" << false << "refused"
                                        << ""
                                        << "" << qint64(0) << AnyProgress;
    QTest::newRow("disk full while writing")
        << "big.bin?piece=4096" << true << "" << false << writeError << ""
        << "" << qint64(64 * 1024) << AnyProgress;
}

void TestDownloadManager::downloadToFile()
{
    QFETCH(QString, request);
    QFETCH(bool, existing);
    QFETCH(QString, served);
    QFETCH(bool, success);
    QFETCH(QString, text);
    QFETCH(QString, contentType);
    QFETCH(QString, azureCode);
    QFETCH(qint64, fileSizeLimit);
    QFETCH(ProgressKind, progress);

    const QDir folder(freshFolder());
    const QString target = folder.filePath(QStringLiteral("download.data"));
    if (existing)
        QVERIFY(writeFile(target, previousContent()));
    if (!azureCode.isEmpty()) {
        QTest::ignoreMessage(
            QtDebugMsg, qPrintable("Error occured while downloading from Azure: " + azureCode));
    }
    const QUrl url
        = request == QLatin1String("refused") ? QUrl(m_refusedUrl) : storageRequest(request);

    rlimit previousLimit{};
    if (fileSizeLimit > 0) {
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
        rlimit limit = previousLimit;
        limit.rlim_cur = rlim_t(fileSizeLimit);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    const Observed seen = observe(DownloadManager::instance()->downloadToFile(url, target));
    if (fileSizeLimit > 0)
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &previousLimit), 0);

    // Exactly one result, then finished once.
    QCOMPARE(seen.finished, 1);
    QCOMPARE(seen.results.size(), 1);
    const DownloadResult &result = seen.results.first();
    QCOMPARE(result.success, success);
    if (success) {
        QCOMPARE(result.text, target);
        QCOMPARE(result.contentType, contentType);
        const QStringList digests = sha256sums(servedPath(served), target);
        QCOMPARE(digests.size(), 2);
        QCOMPARE(digests.at(1), digests.at(0));
    } else {
        QVERIFY2(!result.text.isEmpty(), "a failure carries its reason");
        QVERIFY2(result.text.contains(text), qPrintable(result.text));
        QVERIFY(result.contentType.isEmpty());
        if (existing)
            QCOMPARE(readAll(target), previousContent());
        else
            QVERIFY(!QFile::exists(target));
    }
    // Neither temporary nor partial files are left beside the target.
    const QStringList expectedEntries
        = success || existing ? QStringList{ "download.data" } : QStringList{};
    QCOMPARE(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             expectedEntries);

    // Progress as the watcher saw it: a sane range and values that never go backwards.
    for (const auto &range : seen.ranges) {
        QCOMPARE(range.first, 0);
        QVERIFY2(range.second >= 0, "a negative maximum means a 64-bit size taken as 32 bits");
    }
    for (qsizetype i = 1; i < seen.values.size(); ++i)
        QVERIFY(seen.values.at(i) >= seen.values.at(i - 1));
    for (int value : seen.values)
        QVERIFY(value >= 0);
    const qint64 size = success ? QFileInfo(target).size() : 0;
    switch (progress) {
    case KnownLength:
        QVERIFY(!seen.ranges.isEmpty());
        QCOMPARE(seen.ranges.last().second, int(size));
        QCOMPARE(seen.values.last(), int(size));
        break;
    case UnknownLength:
        // Busy (0..0) with byte counts while the size is unknown; the network layer announces
        // the size once the body is complete.
        QVERIFY(seen.ranges.size() >= 2);
        QCOMPARE(seen.ranges.first().second, 0);
        QCOMPARE(seen.ranges.last().second, int(size));
        QVERIFY(seen.values.size() >= 2);
        QVERIFY(seen.values.first() < int(size));
        QCOMPARE(seen.values.last(), int(size));
        break;
    case HugeLength:
        QVERIFY(!seen.ranges.isEmpty());
        QCOMPARE(seen.ranges.last().second, int((qint64(3) << 30) >> 1));
        QVERIFY(!seen.values.isEmpty());
        for (int value : seen.values)
            QVERIFY(value <= seen.ranges.last().second);
        break;
    case AnyProgress:
        break;
    }
}

void TestDownloadManager::unusableTargetFinishesAtOnce_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder does not exist") << "missing folder";
    // Tests run as root, which writes into read-only folders: a file in the folder's place makes
    // the folder unusable for anyone.
    QTest::newRow("folder not writable: a file in its place") << "file in place of folder";
    QTest::newRow("device opened read-only") << "read-only device";
}

void TestDownloadManager::unusableTargetFinishesAtOnce()
{
    QFETCH(QString, kind);
    const QString folder = freshFolder();
    const QUrl url = DownloadManager::storageUrl(QStringLiteral("small.bin"));
    QFuture<DownloadResult> future;
    QBuffer buffer;
    QString target;

    if (kind == QLatin1String("missing folder")) {
        target = QDir(folder).filePath(QStringLiteral("no/such/folder/file.bin"));
        future = DownloadManager::instance()->downloadToFile(url, target);
    } else if (kind == QLatin1String("file in place of folder")) {
        const QString blocker = QDir(folder).filePath(QStringLiteral("sub"));
        QVERIFY(writeFile(blocker, previousContent()));
        target = blocker + QStringLiteral("/file.bin");
        // The premise: nobody, root included, can create a file there.
        QFile probe(target);
        QVERIFY(!probe.open(QIODevice::WriteOnly));
        future = DownloadManager::instance()->downloadToFile(url, target);
    } else {
        buffer.setData("kept");
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        future = DownloadManager::instance()->downloadToDevice(url, QStringLiteral("buffer"),
                                                               &buffer, true, true, true);
    }

    // Settled before any event is processed.
    QVERIFY(future.isFinished());
    QCOMPARE(future.resultCount(), 1);
    QCOMPARE(future.result().text, QStringLiteral("Could not open output file"));
    QVERIFY(!future.result().success);
    const Observed seen = observe(future);
    QCOMPARE(seen.finished, 1);
    QCOMPARE(seen.results.size(), 1);

    if (kind == QLatin1String("missing folder")) {
        QVERIFY(!QFileInfo::exists(QFileInfo(target).path()));
    } else if (kind == QLatin1String("file in place of folder")) {
        QCOMPARE(readAll(QDir(folder).filePath(QStringLiteral("sub"))), previousContent());
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 { "sub" });
    } else {
        // The caller's device is left as it was: open, unchanged, not deleted.
        QVERIFY(buffer.isOpen());
        QCOMPARE(buffer.data(), QByteArray("kept"));
    }
}

void TestDownloadManager::downloadToPlainFile_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("azureCode");
    QTest::addColumn<QString>("expectedFile"); // served file name, "previous" or "removed"

    QTest::newRow("shorter body truncates the old content") << "small.bin" << true << ""
                                                            << "small.bin";
    QTest::newRow("failure after data removes the file")
        << "big.bin?piece=8192&resetafter=300000" << false << ""
        << "removed";
    QTest::newRow("failure before data keeps the file") << "refused" << false << ""
                                                        << "previous";
    QTest::newRow("storage error keeps the untouched file")
        << "blob-error.xml?status=404" << false << "BlobNotFound"
        << "previous";
}

void TestDownloadManager::downloadToPlainFile()
{
    QFETCH(QString, request);
    QFETCH(bool, success);
    QFETCH(QString, azureCode);
    QFETCH(QString, expectedFile);

    const QString target = QDir(freshFolder()).filePath(QStringLiteral("plain.data"));
    QVERIFY(writeFile(target, previousContent()));
    if (!azureCode.isEmpty()) {
        QTest::ignoreMessage(
            QtDebugMsg, qPrintable("Error occured while downloading from Azure: " + azureCode));
    }
    // The device form callers may use: a file opened for reading and writing, not truncated.
    QPointer<QFile> file = new QFile(target);
    QVERIFY(file->open(QIODevice::ReadWrite));
    const QUrl url
        = request == QLatin1String("refused") ? QUrl(m_refusedUrl) : storageRequest(request);
    const Observed seen = observe(
        DownloadManager::instance()->downloadToDevice(url, target, file, true, true, true));

    QCOMPARE(seen.finished, 1);
    QCOMPARE(seen.results.size(), 1);
    QCOMPARE(seen.results.first().success, success);
    QVERIFY2(file.isNull(), "closeDevice schedules the device for deletion");
    if (expectedFile == QLatin1String("removed")) {
        QVERIFY(!QFile::exists(target));
    } else if (expectedFile == QLatin1String("previous")) {
        QCOMPARE(readAll(target), previousContent());
    } else {
        const QStringList digests = sha256sums(servedPath(expectedFile), target);
        QCOMPARE(digests.size(), 2);
        QCOMPARE(digests.at(1), digests.at(0));
    }
}

// A download in a process of its own whose file-size limit stops the body from being stored: the
// previous target stays byte for byte, no temporary file is left and the download fails.
void TestDownloadManager::fileSizeLimitKeepsPreviousFile_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("limit"); // 0: none
    QTest::addColumn<bool>("existing");

    QTest::newRow("no limit: the probe stores the body") << "medium.bin" << 0 << true;
    QTest::newRow("body within the write buffer") << "medium.bin" << 4096 << true;
    QTest::newRow("body within the write buffer, no previous file")
        << "medium.bin" << 4096 << false;
    QTest::newRow("body beyond the write buffer") << "big.bin?piece=4096" << 4096 << true;
}

void TestDownloadManager::fileSizeLimitKeepsPreviousFile()
{
    QFETCH(QString, request);
    QFETCH(int, limit);
    QFETCH(bool, existing);

    const QDir folder(freshFolder());
    const QString target = folder.filePath(QStringLiteral("download.data"));
    if (existing)
        QVERIFY(writeFile(target, previousContent()));
    const QString probe = qEnvironmentVariable("NIMBREL_DOWNLOAD_PROBE");
    const QStringList arguments{ m_certificate, storageRequest(request).toString(), target };
    const ProcessResult result
        = limit > 0 ? runWithFileSizeLimit(limit, probe, arguments) : runProcess(probe, arguments);

    QVERIFY(result.finished);
    QCOMPARE(result.exitStatus, QProcess::NormalExit);
    if (limit == 0) {
        QVERIFY2(result.exitCode == 0, result.out + result.err);
        QCOMPARE(result.out, "stored " + target.toUtf8() + '\n');
        const QStringList digests = sha256sums(servedPath(request), target);
        QCOMPARE(digests.size(), 2);
        QCOMPARE(digests.at(1), digests.at(0));
        return;
    }
    QVERIFY2(result.exitCode == 1, result.out + result.err);
    QCOMPARE(result.out, QByteArray("failed Could not write to file\n"));
    // The premise: the limit was what made the write fail.
    QVERIFY2(result.err.contains("File too large"), result.err.constData());
    if (existing)
        QCOMPARE(readAll(target), previousContent());
    else
        QVERIFY(!QFile::exists(target));
    QCOMPARE(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             existing ? QStringList{ "download.data" } : QStringList{});
}

void TestDownloadManager::failingDeviceGivesOneWriteFailure()
{
    FailingDevice device(10000);
    QVERIFY(device.open(QIODevice::WriteOnly));
    const Observed seen = observe(DownloadManager::instance()->downloadToDevice(
        storageRequest(QStringLiteral("big.bin?piece=4096")), QStringLiteral("device"), &device,
        false, false, true));

    QCOMPARE(seen.finished, 1);
    QCOMPARE(seen.results.size(), 1);
    QCOMPARE(seen.results.first().text, QStringLiteral("Could not write to file"));
    QVERIFY(!seen.results.first().success);
    // The first failure is final: nothing is written once the device has refused a chunk.
    QVERIFY(device.stored <= 10000);
    QVERIFY(device.isOpen());
}

void TestDownloadManager::destroyedManagerSettlesRunningDownloads()
{
    auto *manager = new DownloadManager();
    const QString target = QDir(freshFolder()).filePath(QStringLiteral("slow.data"));
    QVERIFY(writeFile(target, previousContent()));
    QFutureWatcher<DownloadResult> watcher;
    QFuture<DownloadResult> future = manager->downloadToFile(
        storageRequest(QStringLiteral("big.bin?piece=4096&delay=50")), target);
    watcher.setFuture(future);
    QVERIFY(waitFor([&] { return future.progressValue() > 0; }, 10000));
    delete manager;

    QVERIFY(future.isFinished());
    QCOMPARE(future.resultCount(), 1);
    QVERIFY(!future.result().success);
    QVERIFY(!future.result().text.isEmpty());
    QTest::qWait(100);
    QCOMPARE(readAll(target), previousContent());
    QCOMPARE(QDir(QFileInfo(target).path()).entryList(QDir::Files | QDir::Hidden), { "slow.data" });
}

QTEST_GUILESS_MAIN(TestDownloadManager)
#include "tst_downloadManager.moc"
