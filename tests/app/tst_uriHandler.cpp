#include "TestSupport.h"
#include "UriHandler.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

namespace {
const QString scheme = QStringLiteral("nimbrel");

// A client nobody here wrote: Python's AF_UNIX socket sending hand-made frames.
const char *foreignClientScript = R"(
import socket, struct, sys, time
path, mode = sys.argv[1], sys.argv[2]
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.connect(path)
url = b"nimbrel:install_tc?version=1.2.0&progress=50&flags=1"
if mode == "whole":
    s.sendall(struct.pack(">I", len(url)) + url)
elif mode == "pieces":
    frame = struct.pack(">I", len(url)) + url
    for i in range(0, len(frame), 3):
        s.sendall(frame[i:i+3]); time.sleep(0.01)
elif mode == "huge":
    s.sendall(struct.pack(">I", 70000) + b"x" * 1000)
    time.sleep(0.3)
    try:
        s.sendall(b"x" * 100000)
        print("still open")
    except OSError:
        print("dropped")
elif mode == "probe":
    pass
s.close()
)";

// Leaves a socket file behind with nobody listening, as a killed instance does.
const char *staleSocket = R"(
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.bind(sys.argv[1])
)";
} // namespace

class TestUriHandler : public QObject
{
    Q_OBJECT

private slots:
    void secondInstanceHandsOver()
    {
        UriHandler first(scheme);
        QVERIFY(first.isFirstInstance());
        QSignalSpy called(&first, &UriHandler::appCalled);

        UriHandler second(scheme);
        QVERIFY(!second.isFirstInstance());
        const QUrl url(QStringLiteral("nimbrel:upload_app?file=/my%20bins/a.elf&flags=3"));
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Handled Uri call " + url.toString()));
        QVERIFY(second.handleUri(url));
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Handled Uri call " + url.toString()));
        QVERIFY(called.wait(scaled(2000)));
        QCOMPARE(called.size(), 1);
        QCOMPARE(called.first().first().toUrl(), url);
        // The probe of the second handler's constructor delivered nothing.
        QTest::qWait(100);
        QCOMPARE(called.size(), 1);
    }

    void firstInstanceEmitsItself()
    {
        UriHandler first(scheme);
        QSignalSpy called(&first, &UriHandler::appCalled);
        QVERIFY(first.handleUri(QStringLiteral("NIMBREL:install_tc?version=1")));
        QCOMPARE(called.size(), 1);
        QCOMPARE(called.first().first().toUrl().scheme(), scheme);
    }

    void refusesForeignLinks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("other scheme") << "https://example.org/x";
        QTest::newRow("empty") << "";
    }

    void refusesForeignLinks()
    {
        QFETCH(QString, text);
        UriHandler first(scheme);
        QSignalSpy called(&first, &UriHandler::appCalled);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Invalid URL: ")));
        QVERIFY(!first.handleUri(text));
        QCOMPARE(called.size(), 0);
    }

    void nobodyListening()
    {
        auto first = std::make_unique<UriHandler>(scheme);
        UriHandler second(scheme);
        first.reset();
        QTest::ignoreMessage(QtWarningMsg, "Could not connect to other application");
        QVERIFY(!second.handleUri(QStringLiteral("nimbrel:upload_app?file=x")));
    }

    void foreignClient_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("deliveries");
        QTest::newRow("whole frame") << "whole" << 1;
        QTest::newRow("frame in 3-byte pieces") << "pieces" << 1;
        QTest::newRow("probe without data") << "probe" << 0;
        QTest::newRow("length above 64 KiB") << "huge" << 0;
    }

    void foreignClient()
    {
        QFETCH(QString, mode);
        QFETCH(int, deliveries);
        UriHandler first(scheme);
        QSignalSpy called(&first, &UriHandler::appCalled);
        if (mode == QLatin1String("huge"))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Dropped a connection")));

        QProcess client;
        client.start(python(), {QStringLiteral("-c"), QString::fromLatin1(foreignClientScript),
                                UriHandler::serverName(scheme), mode});
        QVERIFY(waitFor([&] { return client.state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(client.exitCode(), 0);
        QTest::qWait(100);
        QCOMPARE(called.size(), deliveries);
        if (deliveries)
            QCOMPARE(called.first().first().toUrl(),
                     QUrl(QStringLiteral("nimbrel:install_tc?version=1.2.0&progress=50&flags=1")));
        if (mode == QLatin1String("huge"))
            QCOMPARE(client.readAllStandardOutput().trimmed(), QByteArray("dropped"));
    }

    // A socket file left by an instance that was killed does not keep the next start from
    // becoming the first instance.
    void staleSocketIsReplaced()
    {
        const QString name = UriHandler::serverName(scheme);
        const ProcessResult stale = runPython(QString::fromLatin1(staleSocket), {name});
        QCOMPARE(stale.exitCode, 0);
        QVERIFY(QFileInfo::exists(name));

        UriHandler first(scheme);
        QVERIFY(first.isFirstInstance());
        UriHandler second(scheme);
        QVERIFY(!second.isFirstInstance());
    }

    // Only this user may connect: the socket lives in the user's runtime folder and is not open
    // to group or others.
    void socketIsPrivate()
    {
        UriHandler first(scheme);
        const QString name = UriHandler::serverName(scheme);
        QVERIFY(name.startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR")));
        const QFileInfo info(name);
        QVERIFY(info.exists());
        QVERIFY(!(info.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther
                                        | QFile::WriteOther)));
    }
};

QTEST_GUILESS_MAIN(TestUriHandler)
#include "tst_uriHandler.moc"
