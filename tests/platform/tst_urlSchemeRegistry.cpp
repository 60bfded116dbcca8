#include "TestSupport.h"
#include "UrlSchemeRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTest>

using namespace nimbrel::test;
using platform::UrlSchemeRegistry;

// Finding the default handler of a scheme in hand-written XDG folders, as other programs and
// distributions lay them out. Oracle: GIO's own choice of default (`gio mime`), wherever its
// rules and ours coincide.
namespace {

using Files = QMap<QString, QByteArray>; // path below the test root -> content

QByteArray entry(const QByteArray &exec,
                 const QByteArray &extra = "MimeType=x-scheme-handler/nimbrel;\n")
{
    return "[Desktop Entry]\nType=Application\nName=Handler\nExec=" + exec + "\n" + extra;
}

QByteArray defaults(const QByteArray &ids, const QByteArray &key = "x-scheme-handler/nimbrel")
{
    return "[Added Associations]\ntext/plain=kept.desktop;\n\n[Default Applications]\n" + key + '='
        + ids + "\n";
}

QString gioDefault(const QString &mimeType)
{
    const ProcessResult result
        = runProcess(QStringLiteral("gio"), { QStringLiteral("mime"), mimeType });
    const QString firstLine = QString::fromUtf8(result.out).section(u'\n', 0, 0);
    if (!firstLine.startsWith(QStringLiteral("Default application")))
        return {};
    return firstLine.section(QStringLiteral(": "), 1).trimmed();
}

} // namespace

class TestUrlSchemeRegistry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_savedDesktop = qgetenv("XDG_CURRENT_DESKTOP"); }

    void cleanup()
    {
        for (const char *folder : { "config", "data", "config-dirs", "data-dirs" }) {
            QDir dir(testRoot() + u'/' + QLatin1String(folder));
            dir.removeRecursively();
            dir.mkpath(QStringLiteral("."));
        }
        if (m_savedDesktop.isNull())
            qunsetenv("XDG_CURRENT_DESKTOP");
        else
            qputenv("XDG_CURRENT_DESKTOP", m_savedDesktop);
    }

    void defaultHandler_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("openCommand");
        QTest::addColumn<bool>("gioAgrees");

        const QByteArray handler = entry("/bin/true --uri %u");
        const QString command = QStringLiteral("/bin/true --uri %u");

        QTest::newRow("nothing") << Files{} << QString() << "nimbrel" << QString() << false
                                 << QString() << true;
        QTest::newRow("user default") << Files{ { "config/mimeapps.list", defaults("a.desktop;") },
                                                { "data/applications/a.desktop", handler } }
                                      << QString() << "nimbrel"
                                      << "a.desktop" << true << command << true;
        QTest::newRow("string escapes undone in Exec")
            << Files{ { "config/mimeapps.list", defaults("a.desktop;") },
                      { "data/applications/a.desktop",
                        entry("\"/bin/true\" --name \"a\\\\\\\\b\\\\$\"\\s--uri %u") } }
            << QString() << "nimbrel"
            << "a.desktop" << true << "\"/bin/true\" --name \"a\\\\b\\$\" --uri %u" << true;
        QTest::newRow("listed but missing on disk")
            << Files{ { "config/mimeapps.list", defaults("gone.desktop;") } } << QString()
            << "nimbrel" << QString() << false << QString() << true;
        QTest::newRow("missing first, next one installed")
            << Files{ { "config/mimeapps.list", defaults("gone.desktop;b.desktop;") },
                      { "data/applications/b.desktop", handler } }
            << QString() << "nimbrel"
            << "b.desktop" << true << command << true;
        // Both GIO and xdg-mime still open links with a hidden entry.
        QTest::newRow("hidden entry still handles")
            << Files{ { "config/mimeapps.list", defaults("a.desktop;") },
                      { "data/applications/a.desktop",
                        entry("/bin/true %u",
                              "MimeType=x-scheme-handler/nimbrel;\nHidden=true\n") } }
            << QString() << "nimbrel"
            << "a.desktop" << true << "/bin/true %u" << true;
        QTest::newRow("entry without the scheme's MIME type")
            << Files{ { "config/mimeapps.list", defaults("a.desktop;") },
                      { "data/applications/a.desktop",
                        entry("/bin/true %u", "MimeType=text/plain;\n") } }
            << QString() << "nimbrel"
            << "a.desktop" << false << "/bin/true %u" << true;
        QTest::newRow("vendor folder and system-wide list")
            << Files{ { "config-dirs/mimeapps.list", defaults("orvane-lab.desktop;") },
                      { "data-dirs/applications/orvane/lab.desktop", handler } }
            << QString() << "nimbrel"
            << "orvane-lab.desktop" << true << command << true;
        QTest::newRow("user list before system list")
            << Files{ { "config/mimeapps.list", defaults("a.desktop;") },
                      { "config-dirs/mimeapps.list", defaults("b.desktop;") },
                      { "data/applications/a.desktop", handler },
                      { "data/applications/b.desktop", entry("/bin/false %u") } }
            << QString() << "nimbrel"
            << "a.desktop" << true << command << true;
        QTest::newRow("list in the data folder")
            << Files{ { "data/applications/mimeapps.list", defaults("b.desktop;") },
                      { "data/applications/b.desktop", handler } }
            << QString() << "nimbrel"
            << "b.desktop" << true << command << true;
        QTest::newRow("desktop-specific list first")
            << Files{ { "config/mimeapps.list", defaults("a.desktop;") },
                      { "config/xfce-mimeapps.list", defaults("b.desktop;") },
                      { "data/applications/a.desktop", entry("/bin/false %u") },
                      { "data/applications/b.desktop", handler } }
            << "XFCE"
            << "nimbrel"
            << "b.desktop" << true << command << true;
        QTest::newRow("user entry overrides system entry")
            << Files{ { "config/mimeapps.list", defaults("a.desktop;") },
                      { "data/applications/a.desktop", handler },
                      { "data-dirs/applications/a.desktop", entry("/bin/false %u") } }
            << QString() << "nimbrel"
            << "a.desktop" << true << command << true;
        QTest::newRow("scheme in other case")
            << Files{ { "config/mimeapps.list", defaults("a.desktop;") },
                      { "data/applications/a.desktop", handler } }
            << QString() << "NimBrel"
            << "a.desktop" << true << command << true;
        QTest::newRow("MIME type key in capitals is not read")
            << Files{ { "config/mimeapps.list",
                        defaults("a.desktop;", "X-Scheme-Handler/Nimbrel") },
                      { "data/applications/a.desktop", handler } }
            << QString() << "nimbrel" << QString() << false << QString() << true;
        // GIO then falls back to any program that declares the type; we only follow defaults.
        QTest::newRow("association but no default")
            << Files{ { "config/mimeapps.list",
                        "[Added Associations]\nx-scheme-handler/nimbrel=a.desktop;\n" },
                      { "data/applications/a.desktop", handler } }
            << QString() << "nimbrel" << QString() << false << QString() << false;
        QTest::newRow("id with a folder")
            << Files{ { "config/mimeapps.list", defaults("../applications/a.desktop;") },
                      { "data/applications/a.desktop", handler } }
            << QString() << "nimbrel" << QString() << false << QString() << true;
    }

    void defaultHandler()
    {
        QFETCH(Files, files);
        QFETCH(QString, desktop);
        QFETCH(QString, scheme);
        QFETCH(QString, id);
        QFETCH(bool, installed);
        QFETCH(QString, openCommand);
        QFETCH(bool, gioAgrees);

        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QString path = testRoot() + u'/' + it.key();
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(it.value());
        }
        if (!desktop.isEmpty())
            qputenv("XDG_CURRENT_DESKTOP", desktop.toUtf8());

        const platform::UrlSchemeHandler handler = UrlSchemeRegistry::defaultHandler(scheme);
        QCOMPARE(handler.desktopId, id);
        QCOMPARE(handler.installed, installed);
        QCOMPARE(handler.openCommand, openCommand);
        QCOMPARE(handler.hasOpenCommand, !openCommand.isEmpty());
        if (gioAgrees)
            QCOMPARE(gioDefault(QStringLiteral("x-scheme-handler/") + scheme.toLower()), id);
    }

private:
    QByteArray m_savedDesktop;
};

QTEST_GUILESS_MAIN(TestUrlSchemeRegistry)
#include "tst_urlSchemeRegistry.moc"
