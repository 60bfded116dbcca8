#include "SafeFileWrite.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace nimbrel::test;

// Writes that must replace a file whole or leave it byte for byte. Tests run as root, where
// permissions cannot make a write fail, so the failures come from a file-size limit set in a
// forked child (with SIGXFSZ ignored, a write beyond the limit fails with EFBIG), from a folder
// standing where the file should go, and from a missing folder.
namespace {

struct ChildOutcome
{
    bool exited = false;
    bool returned = false; // what the helper returned in the child
    QString reason;
};

// Runs body in a forked child whose file-size limit is `limit` bytes. The body returns the
// helper's result and fills in its reason.
ChildOutcome runUnderFileSizeLimit(rlim_t limit, const std::function<bool(QString *)> &body)
{
    ChildOutcome outcome;
    int channel[2];
    if (::pipe(channel) != 0)
        return outcome;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(channel[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit fileSize{};
        ::getrlimit(RLIMIT_FSIZE, &fileSize);
        fileSize.rlim_cur = limit;
        if (::setrlimit(RLIMIT_FSIZE, &fileSize) != 0)
            ::_exit(3);
        QString reason;
        const bool result = body(&reason);
        const QByteArray bytes = reason.toUtf8();
        const bool sent
            = ::write(channel[1], bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
        // _exit: the child must not run the parent's exit handlers (the test framework's).
        ::_exit(sent ? (result ? 0 : 1) : 4);
    }
    ::close(channel[1]);
    if (pid < 0) {
        ::close(channel[0]);
        return outcome;
    }
    QByteArray received;
    char buffer[512];
    for (;;) {
        const ssize_t count = ::read(channel[0], buffer, sizeof buffer);
        if (count > 0)
            received.append(buffer, count);
        else if (count == 0 || errno != EINTR)
            break;
    }
    ::close(channel[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    outcome.exited = WIFEXITED(status) && WEXITSTATUS(status) <= 1;
    outcome.returned = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    outcome.reason = QString::fromUtf8(received);
    return outcome;
}

QByteArray pattern(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char('a' + i % 23);
    return data;
}

QByteArray previousContent()
{
    return QByteArray("previous line, kept whole\n").repeated(300); // 7800 bytes
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writePlain(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.flush();
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

enum class Way {
    OneStep, // writeFileAtomically
    Chunks, // writeAll in 4 KiB pieces, then commitSaveFile
};

} // namespace

Q_DECLARE_METATYPE(Way)

class TestSafeFileWrite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The premise of every limited case: prlimit's kernel limit really stops a write.
        const ChildOutcome plain = runUnderFileSizeLimit(4096, [](QString *reason) {
            QFile file(testRoot() + QStringLiteral("/premise"));
            const bool ok = file.open(QIODevice::WriteOnly) && file.write(pattern(8192)) == 8192
                && file.flush();
            *reason = file.errorString();
            return ok;
        });
        QVERIFY(plain.exited);
        QVERIFY(!plain.returned);
        QCOMPARE(QFileInfo(testRoot() + QStringLiteral("/premise")).size(), 4096);
    }

    void init()
    {
        m_folder = QDir(testRoot()).filePath(QStringLiteral("case-%1").arg(++m_cases));
        QVERIFY(QDir().mkpath(m_folder));
    }

    void underFileSizeLimit_data()
    {
        QTest::addColumn<Way>("way");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<bool>("stored");

        // Qt buffers up to 16 KiB: the smaller writes fail only when the buffer is flushed.
        QTest::newRow("within the limit") << Way::OneStep << 3000 << true << true;
        QTest::newRow("within the write buffer") << Way::OneStep << 7403 << true << false;
        QTest::newRow("within the write buffer, no previous file")
            << Way::OneStep << 7403 << false << false;
        QTest::newRow("beyond the write buffer") << Way::OneStep << 40000 << true << false;
        QTest::newRow("chunks within the limit") << Way::Chunks << 4000 << true << true;
        QTest::newRow("chunks within the write buffer") << Way::Chunks << 12000 << true << false;
        QTest::newRow("chunks beyond the write buffer") << Way::Chunks << 100000 << true << false;
    }

    void underFileSizeLimit()
    {
        QFETCH(Way, way);
        QFETCH(int, size);
        QFETCH(bool, existing);
        QFETCH(bool, stored);

        const QString path = m_folder + QStringLiteral("/target.list");
        if (existing)
            QVERIFY(writePlain(path, previousContent()));
        const QByteArray content = pattern(size);

        const ChildOutcome outcome = runUnderFileSizeLimit(4096, [&](QString *reason) {
            if (way == Way::OneStep)
                return platform::writeFileAtomically(path, content, reason);
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                return false;
            for (qsizetype at = 0; at < content.size(); at += 4096) {
                if (!platform::writeAll(file,
                                        QByteArrayView(content).sliced(at).first(
                                            qMin<qsizetype>(4096, content.size() - at)),
                                        reason)) {
                    platform::discardSaveFile(file);
                    return false;
                }
            }
            return platform::commitSaveFile(file, reason);
        });

        QVERIFY(outcome.exited);
        QCOMPARE(outcome.returned, stored);
        if (stored) {
            QCOMPARE(readAll(path), content);
        } else {
            QCOMPARE(outcome.reason, QStringLiteral("File too large"));
            if (existing)
                QCOMPARE(readAll(path), previousContent());
            else
                QVERIFY(!QFileInfo::exists(path));
        }
        // No temporary file is left beside the target.
        QCOMPARE(entries(m_folder),
                 stored || existing ? QStringList{ "target.list" } : QStringList{});
    }

    // Failures without a limit: the target cannot be replaced or its folder is missing.
    void unusableTarget_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a folder at the target") << "folder";
        QTest::newRow("missing folder") << "missing";
        QTest::newRow("a file in place of the folder") << "file";
    }

    void unusableTarget()
    {
        QFETCH(QString, kind);
        QString path = m_folder + QStringLiteral("/target");
        if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
        } else if (kind == QLatin1String("missing")) {
            path = m_folder + QStringLiteral("/no/such/folder/target");
        } else {
            QVERIFY(writePlain(m_folder + QStringLiteral("/blocker"), previousContent()));
            path = m_folder + QStringLiteral("/blocker/target");
        }
        const QStringList before = entries(m_folder);

        QString reason;
        QVERIFY(!platform::writeFileAtomically(path, "content", &reason));
        QVERIFY(!reason.isEmpty());
        QCOMPARE(entries(m_folder), before);
        if (kind == QLatin1String("folder"))
            QCOMPARE(entries(path), QStringList{ "inside" });
        else if (kind == QLatin1String("file"))
            QCOMPARE(readAll(m_folder + QStringLiteral("/blocker")), previousContent());
    }

    // Replacing keeps nothing of a longer old file, and an empty content makes an empty file.
    void replacesWholeFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("shorter") << QByteArray("short\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("longer than the write buffer") << pattern(70000);
    }

    void replacesWholeFile()
    {
        QFETCH(QByteArray, content);
        const QString path = m_folder + QStringLiteral("/target");
        QVERIFY(writePlain(path, previousContent()));
        QString reason;
        QVERIFY2(platform::writeFileAtomically(path, content, &reason), qPrintable(reason));
        QCOMPARE(readAll(path), content);
        QCOMPARE(QFileInfo(path).size(), content.size());
        QCOMPARE(entries(m_folder), QStringList{ "target" });
    }

private:
    QString m_folder;
    int m_cases = 0;
};

QTEST_GUILESS_MAIN(TestSafeFileWrite)
#include "tst_safeFileWrite.moc"
