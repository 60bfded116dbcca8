#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace nimbrel::test;

// Runs the real Dravix against the test's own XDG folders. Oracles: desktop-file-validate, GIO
// (`gio mime` picks the default handler from mimeapps.list, `gio launch` parses the Exec line and
// starts the program) and xdg-mime from xdg-utils.
namespace {

const QString ourId = QStringLiteral("nimbrel-scheme-nimbrel.desktop");

QString applicationsDir()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
}

QString entryPath()
{
    return applicationsDir() + u'/' + ourId;
}

QString mimeAppsPath()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/mimeapps.list");
}

ProcessResult dravix(const QStringList &arguments)
{
    return runProcess(qEnvironmentVariable("NIMBREL_DRAVIX"), arguments);
}

QStringList installArguments(const QString &scheme, const QString &application)
{
    return { QStringLiteral("--command"),     QStringLiteral("installscheme"),
             QStringLiteral("--scheme"),      scheme,
             QStringLiteral("--application"), application };
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QStringList applicationEntries()
{
    return QDir(applicationsDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

// A program that records how it was started: its own path and its arguments.
QString makeRecorder(const QString &path)
{
    const QByteArray script = "#!/bin/sh\n"
                              "printf '%s\\0' \"$0\" \"$@\" > \"$NIMBREL_RECORD.tmp\"\n"
                              "mv \"$NIMBREL_RECORD.tmp\" \"$NIMBREL_RECORD\"\n";
    if (!writeFile(path, script))
        return {};
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// The default handler GIO reads from mimeapps.list, or empty.
QString gioDefault(const QString &mimeType)
{
    const ProcessResult result
        = runProcess(QStringLiteral("gio"), { QStringLiteral("mime"), mimeType });
    const QString firstLine = QString::fromUtf8(result.out).section(u'\n', 0, 0);
    if (!firstLine.startsWith(QStringLiteral("Default application")))
        return {};
    return firstLine.section(QStringLiteral(": "), 1).trimmed();
}

// A mimeapps.list of at least `size` bytes holding other programs' associations.
QByteArray userMimeApps(qsizetype size)
{
    QByteArray list = "[Default Applications]\n";
    for (int i = 0; list.size() < size; ++i)
        list += QByteArray("application/x-nimbrel-sample-%1=viewer-%1.desktop;\n")
                    .replace("%1", QByteArray::number(i));
    return list;
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

QByteArray expectedHelp()
{
    return "Usage: " + qEnvironmentVariable("NIMBREL_DRAVIX").toUtf8()
        + " [options]\n\nOptions:\n"
          "  --command <command>          Command to execute\n"
          "  --scheme <scheme>\n"
          "  --application <application>\n";
}

} // namespace

class TestDravix : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(QFileInfo(qEnvironmentVariable("NIMBREL_DRAVIX")).isExecutable());
        m_environment
            = { "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CURRENT_DESKTOP", "NIMBREL_RECORD" };
        for (const char *name : m_environment)
            m_saved.append(qgetenv(name));
    }

    void init()
    {
        QDir(applicationsDir()).removeRecursively();
        QFile::remove(mimeAppsPath());
        QDir(mimeAppsPath()).removeRecursively();
    }

    void cleanup()
    {
        for (qsizetype i = 0; i < m_environment.size(); ++i) {
            if (m_saved.at(i).isNull())
                qunsetenv(m_environment.at(i));
            else
                qputenv(m_environment.at(i), m_saved.at(i));
        }
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("preinstalled");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("help");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("entries");

        const QString app = QStringLiteral("/opt/Nimbrel/NimbrelLab");
        const QStringList none;
        const QStringList ours{ ourId };
        const QString installing = QStringLiteral("Installing scheme  \"nimbrel\"\n");
        const QString removing = QStringLiteral("Removing scheme  \"nimbrel\"\n");
        const QString invalid = QStringLiteral("Not a valid URL scheme:");
        const QStringList remove{ QStringLiteral("--command"), QStringLiteral("removescheme"),
                                  QStringLiteral("--scheme") };

        QTest::newRow("no arguments") << QStringList() << false << 1 << true << QString() << none;
        QTest::newRow("no command") << QStringList{ "--scheme", "nimbrel", "--application", app }
                                    << false << 1 << true << QString() << none;
        QTest::newRow("install") << installArguments("nimbrel", app) << false << 0 << false
                                 << installing << ours;
        QTest::newRow("command with a capital")
            << QStringList{ "--command", "installScheme", "--scheme",
                            "nimbrel",   "--application", app }
            << false << 0 << true << QString() << none;
        QTest::newRow("install without application")
            << QStringList{ "--command", "installscheme", "--scheme", "nimbrel" } << false << 0
            << true << QString() << none;
        QTest::newRow("install without scheme")
            << QStringList{ "--command", "installscheme", "--application", app } << false << 0
            << true << QString() << none;
        QTest::newRow("unknown command")
            << QStringList{ "--command", "register", "--scheme", "nimbrel" } << false << 0 << true
            << QString() << none;
        QTest::newRow("unknown option")
            << (installArguments("nimbrel", app) << "--frobnicate") << false << 1 << false
            << QStringLiteral("Unknown option 'frobnicate'.") << none;
        QTest::newRow("option without value")
            << QStringList{ "--scheme", "nimbrel", "--command" } << false << 1 << false
            << QStringLiteral("Missing value after '--command'.") << none;
        QTest::newRow("repeated option: last value wins") << QStringList{
            "--command",     "removescheme", "--scheme", "other",         "--command",
            "installscheme", "--scheme",     "nimbrel",  "--application", app
        } << false << 0 << false << installing << ours;
        QTest::newRow("positional arguments ignored")
            << (QStringList{ "first" } + installArguments("nimbrel", app) + QStringList{ "last" })
            << false << 0 << false << installing << ours;
        QTest::newRow("scheme in capitals is the same registration")
            << installArguments("NIMBREL", app) << false << 0 << false
            << QStringLiteral("Installing scheme  \"NIMBREL\"\n") << ours;
        QTest::newRow("scheme with + and . gets a valid id")
            << installArguments("x.v2+ssh", app) << false << 0 << false << QString()
            << QStringList{ "nimbrel-scheme-x_2Ev2_2Bssh.desktop" };
        QTest::newRow("remove") << (remove + QStringList{ "nimbrel" }) << true << 0 << false
                                << removing << none;
        QTest::newRow("remove ignores application")
            << (remove + QStringList{ "nimbrel", "--application", "/somewhere/else" }) << true << 0
            << false << removing << none;
        QTest::newRow("remove unregistered")
            << (remove + QStringList{ "nimbrel" }) << false << 0 << false << removing << none;
        QTest::newRow("remove other scheme keeps ours")
            << (remove + QStringList{ "other" }) << true << 0 << false << QString() << ours;
        QTest::newRow("remove without scheme")
            << QStringList{ "--command", "removescheme", "--application", app } << true << 0 << true
            << QString() << ours;
        QTest::newRow("install empty scheme")
            << installArguments("", app) << false << 1 << true << invalid << none;
        QTest::newRow("remove empty scheme")
            << (remove + QStringList{ "" }) << true << 1 << true << invalid << ours;
        QTest::newRow("scheme starting with a digit")
            << installArguments("1nimbrel", app) << false << 1 << true << invalid << none;
        QTest::newRow("scheme with a blank")
            << installArguments("nim brel", app) << false << 1 << true << invalid << none;
        QTest::newRow("scheme with an underscore")
            << installArguments("nim_brel", app) << false << 1 << true << invalid << none;
        QTest::newRow("scheme naming a path") << (remove + QStringList{ "../../config/mimeapps" })
                                              << true << 1 << true << invalid << ours;
        QTest::newRow("scheme with a colon")
            << installArguments("nimbrel:", app) << false << 1 << true << invalid << none;
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, preinstalled);
        QFETCH(int, exitCode);
        QFETCH(bool, help);
        QFETCH(QString, message);
        QFETCH(QStringList, entries);

        if (preinstalled)
            QCOMPARE(dravix(installArguments("nimbrel", "/opt/Nimbrel/NimbrelLab")).exitCode, 0);
        const QByteArray listBefore = readFile(mimeAppsPath());

        const ProcessResult result = dravix(arguments);
        QVERIFY(result.finished);
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QVERIFY2(result.exitCode == exitCode, result.err.constData());
        if (help)
            QCOMPARE(result.out, expectedHelp());
        else
            QVERIFY2(result.out.isEmpty(), result.out.constData());
        QVERIFY2(result.err.contains(message.toUtf8()), result.err.constData());
        QCOMPARE(applicationEntries(), entries);

        // The default handler goes with the entry: each entry is the default, and nothing else
        // is.
        const QByteArray list = readFile(mimeAppsPath());
        for (const QString &entry : entries)
            QVERIFY2(list.contains("=" + entry.toUtf8() + ';'), list.constData());
        if (!entries.contains(ourId))
            QVERIFY2(!list.contains(ourId.toUtf8()), list.constData());
        if (exitCode != 0 || help)
            QCOMPARE(list, listBefore);
    }

    // The exact text written, accepted without a warning by desktop-file-validate. The path is
    // written as given: on Linux the native separators are the forward slashes.
    void entryText_data()
    {
        QTest::addColumn<QString>("application");
        QTest::addColumn<QByteArray>("icon");
        QTest::addColumn<QByteArray>("exec");

        QTest::newRow("plain") << "/opt/Nimbrel/NimbrelLab" << QByteArray("/opt/Nimbrel/NimbrelLab")
                               << QByteArray("\"/opt/Nimbrel/NimbrelLab\" --uri %u");
        QTest::newRow("blanks") << "/opt/Nimbrel Lab/Nimbrel Lab"
                                << QByteArray("/opt/Nimbrel Lab/Nimbrel Lab")
                                << QByteArray("\"/opt/Nimbrel Lab/Nimbrel Lab\" --uri %u");
        // A path that is not absolute names no icon file.
        QTest::newRow("forward slashes")
            << "C:/Apps/App.exe" << QByteArray() << QByteArray("\"C:/Apps/App.exe\" --uri %u");
        QTest::newRow("backslashes") << "C:\\Apps\\App.exe" << QByteArray()
                                     << QByteArray("\"C:\\\\\\\\Apps\\\\\\\\App.exe\" --uri %u");
        QTest::newRow("quote, dollar, backtick")
            << "/opt/a\"b$c`d/App" << QByteArray("/opt/a\"b$c`d/App")
            << QByteArray("\"/opt/a\\\\\"b\\\\$c\\\\`d/App\" --uri %u");
        QTest::newRow("percent sign") << "/opt/100%/App" << QByteArray("/opt/100%/App")
                                      << QByteArray("\"/opt/100%%/App\" --uri %u");
        QTest::newRow("tab and newline") << "/opt/a\tb\nc/App" << QByteArray("/opt/a\\tb\\nc/App")
                                         << QByteArray("\"/opt/a\\tb\\nc/App\" --uri %u");
        QTest::newRow("non-ASCII") << "/opt/Zürich Läb/App" << QByteArray("/opt/Zürich Läb/App")
                                   << QByteArray("\"/opt/Zürich Läb/App\" --uri %u");
    }

    void entryText()
    {
        QFETCH(QString, application);
        QFETCH(QByteArray, icon);
        QFETCH(QByteArray, exec);

        QCOMPARE(dravix(installArguments("nimbrel", application)).exitCode, 0);
        const QByteArray iconLine = icon.isEmpty() ? QByteArray() : "Icon=" + icon + "\n";
        QCOMPARE(readFile(entryPath()),
                 "[Desktop Entry]\n"
                 "Type=Application\n"
                 "Name=URL:nimbrel protocol\n"
                     + iconLine + "Exec=" + exec + "\n"
                     + "MimeType=x-scheme-handler/nimbrel;\n"
                       "NoDisplay=true\n");
        const ProcessResult validation
            = runProcess(QStringLiteral("desktop-file-validate"), { entryPath() });
        QVERIFY(validation.started);
        QCOMPARE(validation.exitCode, 0);
        QCOMPARE(validation.out + validation.err, QByteArray());
    }

    // GIO picks our entry as the default and, launching it, runs exactly the given program with
    // "--uri" and the link, whatever characters the path holds. (GLib refuses any Exec whose
    // program path holds a "%": it looks for the file before expanding "%%", so that case is
    // only checked by desktop-file-validate above.)
    void gioRoundTrip_data()
    {
        QTest::addColumn<QString>("folder");

        QTest::newRow("plain") << "bin";
        QTest::newRow("blanks") << "Nimbrel Lab";
        QTest::newRow("double quote") << "a\"b";
        QTest::newRow("dollar") << "$HOME";
        QTest::newRow("backtick") << "`false`";
        QTest::newRow("backslashes") << "C:\\Apps\\x";
        QTest::newRow("single quote and semicolon") << "it's;here";
    }

    void gioRoundTrip()
    {
        QFETCH(QString, folder);
        const QString application
            = makeRecorder(testRoot() + u'/' + folder + QStringLiteral("/Nimbrel Lab"));
        QVERIFY(!application.isEmpty());
        const QString record = testRoot() + QStringLiteral("/record");
        QFile::remove(record);
        qputenv("NIMBREL_RECORD", record.toUtf8());

        QCOMPARE(dravix(installArguments("nimbrel", application)).exitCode, 0);
        QCOMPARE(gioDefault(QStringLiteral("x-scheme-handler/nimbrel")), ourId);

        const QString link = QStringLiteral("nimbrel:upload_app?file=C:/bins/a b.napbf&v=$x");
        const ProcessResult launch
            = runProcess(QStringLiteral("gio"), { QStringLiteral("launch"), entryPath(), link });
        QVERIFY2(launch.exitCode == 0, launch.err.constData());
        QVERIFY(waitFor([&] { return QFileInfo::exists(record); }));
        const QList<QByteArray> recorded = readFile(record).split('\0');
        QCOMPARE(recorded, (QList<QByteArray>{ application.toUtf8(), "--uri", link.toUtf8(), "" }));
    }

    // xdg-mime names our entry, and nothing once the scheme is removed.
    void xdgMime()
    {
        // A generic desktop: xdg-mime then reads the mimeapps.list files itself.
        qputenv("XDG_CURRENT_DESKTOP", "X-Generic");
        const QString application = makeRecorder(testRoot() + QStringLiteral("/bin/NimbrelLab"));
        const auto query = [] {
            return runProcess(QStringLiteral("xdg-mime"),
                              { QStringLiteral("query"), QStringLiteral("default"),
                                QStringLiteral("x-scheme-handler/nimbrel") });
        };
        QCOMPARE(query().out, QByteArray());
        QCOMPARE(dravix(installArguments("nimbrel", application)).exitCode, 0);
        const ProcessResult installed = query();
        QVERIFY2(installed.exitCode == 0, installed.err.constData());
        QCOMPARE(installed.out, ourId.toUtf8() + '\n');
        QCOMPARE(dravix({ "--command", "removescheme", "--scheme", "nimbrel" }).exitCode, 0);
        QCOMPARE(query().out, QByteArray());
    }

    // Other programs' lines stay byte for byte; ours goes first and comes out again on removal,
    // which gives the default back to the program chosen before.
    void mimeAppsKeptIntact_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("installed");
        QTest::addColumn<QByteArray>("removed");
        QTest::addColumn<QString>("defaultAfterRemoval");

        const QByteArray user = "# Chosen by the user\n"
                                "[Default Applications]\n"
                                "text/html=firefox-esr.desktop;\n"
                                "x-scheme-handler/nimbrel=other-nimbrel.desktop;\n"
                                "x-scheme-handler/https = firefox-esr.desktop;\n"
                                "\n"
                                "[Removed Associations]\n"
                                "image/png=gimp.desktop;\n"
                                "\n"
                                "[Added Associations]\n"
                                "x-scheme-handler/mailto=thunderbird.desktop;\n";
        const QByteArray userInstalled = "# Chosen by the user\n"
                                         "[Default Applications]\n"
                                         "text/html=firefox-esr.desktop;\n"
                                         "x-scheme-handler/nimbrel="
            + ourId.toUtf8()
            + ";other-nimbrel.desktop;\n"
              "x-scheme-handler/https = firefox-esr.desktop;\n"
              "\n"
              "[Removed Associations]\n"
              "image/png=gimp.desktop;\n"
              "\n"
              "[Added Associations]\n"
              "x-scheme-handler/mailto=thunderbird.desktop;\n"
              "x-scheme-handler/nimbrel="
            + ourId.toUtf8() + ";\n";
        QTest::newRow("other handler chosen before")
            << user << userInstalled << user << QStringLiteral("other-nimbrel.desktop");

        QByteArray crlf = user;
        crlf.replace("\n", "\r\n");
        crlf.chop(2);
        QByteArray crlfInstalled = userInstalled;
        crlfInstalled.replace("\n", "\r\n");
        QTest::newRow("CRLF without final line break")
            << crlf << crlfInstalled << QByteArray(crlf + "\r\n")
            << QStringLiteral("other-nimbrel.desktop");

        const QByteArray fresh = "[Default Applications]\n"
                                 "x-scheme-handler/nimbrel="
            + ourId.toUtf8()
            + ";\n"
              "\n"
              "[Added Associations]\n"
              "x-scheme-handler/nimbrel="
            + ourId.toUtf8() + ";\n";
        QTest::newRow("no list yet") << QByteArray() << fresh
                                     << QByteArray("[Default Applications]\n\n"
                                                   "[Added Associations]\n")
                                     << QString();
        QTest::newRow("ours already there, twice")
            << QByteArray("[Default Applications]\n"
                          "x-scheme-handler/nimbrel="
                          + ourId.toUtf8()
                          + ";\n"
                            "X-Scheme-Handler/Nimbrel="
                          + ourId.toUtf8()
                          + ";\n"
                            "\n"
                            "[Added Associations]\n"
                            "x-scheme-handler/nimbrel="
                          + ourId.toUtf8() + ";\n")
            << fresh << QByteArray("[Default Applications]\n\n[Added Associations]\n") << QString();
    }

    void mimeAppsKeptIntact()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, installed);
        QFETCH(QByteArray, removed);
        QFETCH(QString, defaultAfterRemoval);

        QVERIFY(writeFile(applicationsDir() + QStringLiteral("/other-nimbrel.desktop"),
                          "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %u\n"
                          "MimeType=x-scheme-handler/nimbrel;\n"));
        if (!before.isEmpty())
            QVERIFY(writeFile(mimeAppsPath(), before));
        const QString application = makeRecorder(testRoot() + QStringLiteral("/bin/NimbrelLab"));

        QCOMPARE(dravix(installArguments("nimbrel", application)).exitCode, 0);
        QCOMPARE(readFile(mimeAppsPath()), installed);
        QCOMPARE(gioDefault(QStringLiteral("x-scheme-handler/nimbrel")), ourId);

        QCOMPARE(dravix({ "--command", "removescheme", "--scheme", "nimbrel" }).exitCode, 0);
        QCOMPARE(readFile(mimeAppsPath()), removed);
        QCOMPARE(gioDefault(QStringLiteral("x-scheme-handler/nimbrel")), defaultAfterRemoval);
        QVERIFY(!QFileInfo::exists(entryPath()));
        QVERIFY(QFileInfo::exists(applicationsDir() + QStringLiteral("/other-nimbrel.desktop")));
    }

    // Installing over an existing entry replaces our values and keeps everything else in it.
    void overwriteKeepsForeignLines()
    {
        QVERIFY(writeFile(entryPath(),
                          "# Written by hand\n"
                          "[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Old name\n"
                          "Name[de]=Alter Name\n"
                          "Exec=/old/path/App --uri %u\n"
                          "MimeType=text/x-nimbrel;\n"
                          "Comment=Kept\n"
                          "Actions=Safe;\n"
                          "\n"
                          "[Desktop Action Safe]\n"
                          "Name=Safe mode\n"
                          "Exec=/old/path/App --safe\n"));
        QCOMPARE(dravix(installArguments("nimbrel", "/opt/Nimbrel/NimbrelLab")).exitCode, 0);
        QCOMPARE(readFile(entryPath()),
                 QByteArray("# Written by hand\n"
                            "[Desktop Entry]\n"
                            "Type=Application\n"
                            "Name=URL:nimbrel protocol\n"
                            "Name[de]=Alter Name\n"
                            "Exec=\"/opt/Nimbrel/NimbrelLab\" --uri %u\n"
                            "MimeType=text/x-nimbrel;x-scheme-handler/nimbrel;\n"
                            "Comment=Kept\n"
                            "Actions=Safe;\n"
                            "Icon=/opt/Nimbrel/NimbrelLab\n"
                            "NoDisplay=true\n"
                            "\n"
                            "[Desktop Action Safe]\n"
                            "Name=Safe mode\n"
                            "Exec=/old/path/App --safe\n"));
        const ProcessResult validation
            = runProcess(QStringLiteral("desktop-file-validate"), { entryPath() });
        QCOMPARE(validation.out + validation.err, QByteArray());
    }

    // A registration that cannot be written is reported with a message and a non-zero status,
    // never as success. (Tests run as root here, so blocked paths stand in for permissions.)
    void writeFailure_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("blocked");
        QTest::addColumn<QString>("message");

        QTest::newRow("data folder is a file") << "installscheme"
                                               << "data-home"
                                               << "Could not create the folder";
        QTest::newRow("mimeapps.list is a folder") << "installscheme"
                                                   << "mimeapps"
                                                   << "Could not read";
        QTest::newRow("config folder read-only") << "installscheme"
                                                 << "read-only"
                                                 << "Could not write /proc/mimeapps.list";
        QTest::newRow("remove: mimeapps.list is a folder") << "removescheme"
                                                           << "mimeapps"
                                                           << "Could not read";
        QTest::newRow("remove: entry is a folder") << "removescheme"
                                                   << "entry"
                                                   << "Could not remove";
    }

    void writeFailure()
    {
        QFETCH(QString, command);
        QFETCH(QString, blocked);
        QFETCH(QString, message);

        if (blocked == QLatin1String("data-home")) {
            const QString file = testRoot() + QStringLiteral("/not-a-folder");
            QVERIFY(writeFile(file, "x"));
            qputenv("XDG_DATA_HOME", file.toUtf8());
        } else if (blocked == QLatin1String("read-only")) {
            qputenv("XDG_CONFIG_HOME", "/proc");
        } else if (blocked == QLatin1String("mimeapps")) {
            QVERIFY(QDir().mkpath(mimeAppsPath() + QStringLiteral("/inside")));
        } else {
            QVERIFY(QDir().mkpath(entryPath() + QStringLiteral("/inside")));
        }

        const ProcessResult result = dravix({ "--command", command, "--scheme", "nimbrel",
                                              "--application", "/opt/Nimbrel/NimbrelLab" });
        QCOMPARE(result.exitCode, 2);
        QVERIFY2(result.err.contains(message.toUtf8()), result.err.constData());
        QVERIFY(QFileInfo(mimeAppsPath()).isDir() || !QFileInfo::exists(mimeAppsPath()));
        QDir(mimeAppsPath()).removeRecursively();
    }

    // A file that cannot be written whole (here: beyond the process's file-size limit) keeps its
    // previous content byte for byte, no temporary file stays behind, and the status says so.
    // The smaller list fits Qt's 16 KiB write buffer, so its failure shows only when the buffer
    // is flushed at the end.
    void writeFailureUnderFileSizeLimit_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("listSize");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("failing"); // "list" or "entry"

        QTest::newRow("install: list within the write buffer")
            << "installscheme" << 7403 << 4096 << "list";
        QTest::newRow("install: list beyond the write buffer")
            << "installscheme" << 40000 << 4096 << "list";
        QTest::newRow("install: desktop entry") << "installscheme" << 7403 << 64 << "entry";
        QTest::newRow("remove: list within the write buffer")
            << "removescheme" << 7403 << 4096 << "list";
    }

    void writeFailureUnderFileSizeLimit()
    {
        QFETCH(QString, command);
        QFETCH(int, listSize);
        QFETCH(int, limit);
        QFETCH(QString, failing);

        const QString application = QStringLiteral("/opt/Nimbrel/NimbrelLab");
        QVERIFY(writeFile(mimeAppsPath(), userMimeApps(listSize)));
        const QByteArray oldEntry = "[Desktop Entry]\nType=Application\nName=Older\n"
                                    "Exec=\"/old/NimbrelLab\" --uri %u\n"
                                    "MimeType=x-scheme-handler/nimbrel;\n";
        if (command == QLatin1String("removescheme"))
            QCOMPARE(dravix(installArguments("nimbrel", application)).exitCode, 0);
        else if (failing == QLatin1String("entry"))
            QVERIFY(writeFile(entryPath(), oldEntry));
        const QByteArray listBefore = readFile(mimeAppsPath());
        const QByteArray entryBefore = readFile(entryPath());
        QVERIFY(listBefore.size() > limit);
        const QStringList configBefore = entriesOf(QFileInfo(mimeAppsPath()).path());

        // The signal a write past the limit raises keeps its default action here, as a user's
        // shell leaves it: Dravix has to turn it into a write error itself.
        const ProcessResult result = runProcess(
            QStringLiteral("prlimit"),
            { QStringLiteral("--fsize=%1").arg(limit), "--", qEnvironmentVariable("NIMBREL_DRAVIX"),
              "--command", command, "--scheme", "nimbrel", "--application", application });

        QVERIFY(result.finished);
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QVERIFY2(result.exitCode == 2, result.err.constData());
        const QString failedPath = failing == QLatin1String("list") ? mimeAppsPath() : entryPath();
        QVERIFY2(result.err.contains("Could not write " + failedPath.toUtf8()),
                 result.err.constData());
        // The premise: the limit was what made the write fail.
        QVERIFY2(result.err.contains("File too large"), result.err.constData());

        QCOMPARE(readFile(mimeAppsPath()), listBefore);
        if (failing == QLatin1String("entry") || command == QLatin1String("removescheme"))
            QCOMPARE(readFile(entryPath()), entryBefore);
        QCOMPARE(entriesOf(QFileInfo(mimeAppsPath()).path()), configBefore);
        QCOMPARE(applicationEntries(), QStringList{ ourId });
    }

private:
    QList<const char *> m_environment;
    QList<QByteArray> m_saved;
};

QTEST_GUILESS_MAIN(TestDravix)
#include "tst_dravix.moc"
