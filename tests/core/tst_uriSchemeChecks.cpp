#include "TestSupport.h"
#include "UriSchemeChecks.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTest>

using namespace nimbrel::test;

// The start-up checks read what the real Dravix (an independent writer: it shares no code with
// the program) or another program left in the test's XDG folders.
namespace {

using Files = QMap<QString, QByteArray>; // path below the test root -> content

const QString app = QStringLiteral("/opt/Nimbrel/NimbrelLab");
const QString oddApp = QStringLiteral("/opt/Nimbrel Lab/$x`y\\z\"q%w/Nimbrel Lab");

bool dravix(const QString &command, const QString &application)
{
    QStringList arguments{ QStringLiteral("--command"), command, QStringLiteral("--scheme"),
                           QStringLiteral("nimbrel") };
    if (!application.isEmpty())
        arguments << QStringLiteral("--application") << application;
    return runProcess(qEnvironmentVariable("NIMBREL_DRAVIX"), arguments).exitCode == 0;
}

const QByteArray firefoxEntry = "[Desktop Entry]\nType=Application\nName=Firefox\n"
                                "Exec=\"/usr/lib/firefox-esr/firefox-esr\" %u\n"
                                "MimeType=text/html;x-scheme-handler/https;\n";
const QByteArray otherApps = "[Default Applications]\n"
                             "x-scheme-handler/https=firefox-esr.desktop;\n"
                             "text/html=firefox-esr.desktop;\n";

} // namespace

class TestUriSchemeChecks : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        QDir(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications"))
            .removeRecursively();
        QFile::remove(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/mimeapps.list"));
    }

    void checks_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<QString>("registeredFor"); // Dravix installs for this path, if any
        QTest::addColumn<bool>("removed"); // ... and removes it again
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QString>("application");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("ours");

        const Files none;
        QTest::newRow("nothing registered")
            << none << QString() << false << "nimbrel" << app << false << false;
        QTest::newRow("registered for this program")
            << none << app << false << "nimbrel" << app << true << true;
        QTest::newRow("registered for another program")
            << none << "/opt/Other/NimbrelLab" << false << "nimbrel" << app << true << false;
        QTest::newRow("path differs in letter case")
            << none << "/opt/nimbrel/NimbrelLab" << false << "nimbrel" << app << true << false;
        QTest::newRow("longer path with the same start")
            << none << app + QStringLiteral("2") << false << "nimbrel" << app << true << false;
        QTest::newRow("path with blanks, quotes, $, ` and backslash")
            << none << oddApp << false << "nimbrel" << oddApp << true << true;
        QTest::newRow("scheme asked in capitals")
            << none << app << false << "NIMBREL" << app << true << true;
        QTest::newRow("removed again") << none << app << true << "nimbrel" << app << false << false;
        QTest::newRow("listed in mimeapps.list but missing on disk")
            << Files{ { "config/mimeapps.list",
                        "[Default Applications]\n"
                        "x-scheme-handler/nimbrel=nimbrel-scheme-nimbrel.desktop;\n" } }
            << QString() << false << "nimbrel" << app << false << false;
        QTest::newRow("entry without an open command")
            << Files{ { "config/mimeapps.list",
                        "[Default Applications]\nx-scheme-handler/nimbrel=bare.desktop;\n" },
                      { "data/applications/bare.desktop",
                        "[Desktop Entry]\nType=Application\nName=Bare\n"
                        "MimeType=x-scheme-handler/nimbrel;\n" } }
            << QString() << false << "nimbrel" << app << true << false;
        // The right program, but not started the way Dravix registers it.
        QTest::newRow("unquoted command")
            << Files{ { "config/mimeapps.list",
                        "[Default Applications]\nx-scheme-handler/nimbrel=plain.desktop;\n" },
                      { "data/applications/plain.desktop",
                        "[Desktop Entry]\nType=Application\nName=Plain\n"
                        "Exec=/opt/Nimbrel/NimbrelLab --uri %u\n"
                        "MimeType=x-scheme-handler/nimbrel;\n" } }
            << QString() << false << "nimbrel" << app << true << false;
        // Dravix edits a list full of other programs' choices; theirs still resolve afterwards.
        QTest::newRow("ours among other apps' entries")
            << Files{ { "config/mimeapps.list", otherApps },
                      { "data/applications/firefox-esr.desktop", firefoxEntry } }
            << app << false << "nimbrel" << app << true << true;
        QTest::newRow("other app's scheme kept after install")
            << Files{ { "config/mimeapps.list", otherApps },
                      { "data/applications/firefox-esr.desktop", firefoxEntry } }
            << app << false << "https"
            << "/usr/lib/firefox-esr/firefox-esr" << true << true;
        QTest::newRow("other app's scheme kept after removal")
            << Files{ { "config/mimeapps.list", otherApps },
                      { "data/applications/firefox-esr.desktop", firefoxEntry } }
            << app << true << "https"
            << "/usr/lib/firefox-esr/firefox-esr" << true << true;
    }

    void checks()
    {
        QFETCH(Files, files);
        QFETCH(QString, registeredFor);
        QFETCH(bool, removed);
        QFETCH(QString, scheme);
        QFETCH(QString, application);
        QFETCH(bool, installed);
        QFETCH(bool, ours);

        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QString path = testRoot() + u'/' + it.key();
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(it.value());
        }
        if (!registeredFor.isEmpty())
            QVERIFY(dravix(QStringLiteral("installscheme"), registeredFor));
        if (removed)
            QVERIFY(dravix(QStringLiteral("removescheme"), QString()));

        QCOMPARE(isUriSchemeInstalled(scheme), installed);
        QCOMPARE(isUriSchemeOurs(scheme, application), ours);
    }

    void schemeHelperPathFollowsEnvironment()
    {
        const QByteArray saved = qgetenv("NIMBREL_SCHEME_HELPER");
        qunsetenv("NIMBREL_SCHEME_HELPER");
        QCOMPARE(schemeHelperPath(),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/Dravix"));
        qputenv("NIMBREL_SCHEME_HELPER", "/tmp/recorder");
        QCOMPARE(schemeHelperPath(), QStringLiteral("/tmp/recorder"));
        if (saved.isNull())
            qunsetenv("NIMBREL_SCHEME_HELPER");
        else
            qputenv("NIMBREL_SCHEME_HELPER", saved);
    }
};

QTEST_GUILESS_MAIN(TestUriSchemeChecks)
#include "tst_uriSchemeChecks.moc"
