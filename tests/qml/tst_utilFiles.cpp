#include "ApplicationConfiguration.h"
#include "FileIo.h"
#include "ModuleComponent.h"
#include "StandardPaths.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

class tst_UtilFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void qmldirLines();
    void groupedPaths_data();
    void groupedPaths();
    void documentsFollowTheUserDirs();
    void subGroups();
    void configuration_data();
    void configuration();
    void missingConfiguration();
    void fileRoundTrip();
    void failedWriteKeepsTheOldFile();
    void tempFileUrls();
    void moduleComponentNames_data();
    void moduleComponentNames();
};

void tst_UtilFiles::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("UtilTest"));
}

void tst_UtilFiles::groupedPaths_data()
{
    QTest::addColumn<QString>("getter");
    QTest::addColumn<QString>("base");
    QTest::addColumn<bool>("grouped");
    const QString home = qEnvironmentVariable("HOME");
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME") + "/Orvane/UtilTest";
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Orvane/UtilTest";
    const QString data = qEnvironmentVariable("XDG_DATA_HOME") + "/Orvane/UtilTest";
    QTest::newRow("cache") << "getCachePath" << cache << true;
    QTest::newRow("config") << "getConfigPath" << config << true;
    QTest::newRow("hidden data") << "getHiddenUserDataPath" << data << true;
    QTest::newRow("temp") << "getTempPath" << QDir::tempPath() << false;
    QTest::newRow("downloads") << "getDownloadsPath" << home + "/Downloads" << false;
    QTest::newRow("resources") << "getResourcePath"
                               << QCoreApplication::applicationDirPath() + "/resources" << false;
}

// The folders come from the isolated test environment's XDG variables, set by the harness.
void tst_UtilFiles::groupedPaths()
{
    QFETCH(QString, getter);
    QFETCH(QString, base);
    QFETCH(bool, grouped);
    StandardPaths paths(QStringLiteral("a/b"));
    QString result;
    QVERIFY(QMetaObject::invokeMethod(&paths, getter.toLatin1(), Q_RETURN_ARG(QString, result),
                                      Q_ARG(QString, QStringLiteral("x.txt"))));
    const QString folder = grouped ? base + "/a/b" : base;
    QCOMPARE(result, folder + "/x.txt");
    if (grouped)
        QVERIFY(QDir(folder).exists());
    QVERIFY(!QFile::exists(result));
    QVERIFY(QMetaObject::invokeMethod(&paths, getter.toLatin1(), Q_RETURN_ARG(QString, result),
                                      Q_ARG(QString, QString())));
    QCOMPARE(result, folder);
}

void tst_UtilFiles::documentsFollowTheUserDirs()
{
    // xdg-user-dir reads the same user-dirs.dirs as Qt: it is the oracle for the documents.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    QFile dirs(config + "/user-dirs.dirs");
    QVERIFY(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
    dirs.close();
    const auto oracle = nimbrel::test::runProcess("xdg-user-dir", { "DOCUMENTS" });
    QVERIFY(oracle.finished && oracle.exitCode == 0);
    const QString documents = QString::fromUtf8(oracle.out).trimmed();
    QVERIFY(documents.endsWith("/Papers"));

    StandardPaths paths(QStringLiteral("logs"));
    QCOMPARE(paths.getUserDataPath("f"), documents + "/Orvane/UtilTest/logs/f");
    // Test mode moves Qt's own locations; the documents folder is then Qt's to say.
    QStandardPaths::setTestModeEnabled(true);
    QCOMPARE(paths.getUserDataPath(),
             QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                 + "/qttest/Orvane/UtilTest/logs");
    QStandardPaths::setTestModeEnabled(false);
    QCoreApplication::setOrganizationName(QString());
    QCOMPARE(StandardPaths().getUserDataPath(), documents + "/UtilTest");
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
}

void tst_UtilFiles::subGroups()
{
    StandardPaths root;
    std::unique_ptr<StandardPaths> c(root.subGroup("c"));
    QCOMPARE(c->group(), QStringLiteral("c"));
    StandardPaths ab(QStringLiteral("a/b"));
    std::unique_ptr<StandardPaths> abc(ab.subGroup("c"));
    QCOMPARE(abc->group(), QStringLiteral("a/b/c"));
    QSignalSpy changes(&ab, &StandardPaths::groupChanged);
    ab.setGroup("a/b");
    ab.setGroup("z");
    QCOMPARE(changes.size(), 1);
}

void tst_UtilFiles::configuration_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("object") << QByteArray(R"({"a": 1, "b": [1, "x"], "": "empty key"})");
    QTest::newRow("nested object") << QByteArray(R"({"a": {"c": true}})");
    QTest::newRow("array") << QByteArray("[1, 2]");
    QTest::newRow("scalar") << QByteArray("42");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("broken") << QByteArray(R"({"a": )");
}

void tst_UtilFiles::configuration()
{
    QFETCH(QByteArray, content);
    const QString path = QDir::temp().filePath("appconfig.json");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    // jq decides independently which files hold a JSON object.
    const auto oracle = nimbrel::test::runProcess(
        "jq", { "-s", "-e", "length == 1 and (.[0] | type == \"object\")", path });
    const bool isObject = oracle.finished && oracle.exitCode == 0;

    ApplicationConfiguration configuration;
    if (!isObject) {
        QTest::ignoreMessage(QtWarningMsg, "Configuration file is not correctly formatted.");
    }
    configuration.load(path);
    if (isObject) {
        const auto expected = nimbrel::test::runProcess("jq", { "-c", ".a", path });
        const QVariant a = configuration.getConfiguration("a");
        QVERIFY(a.isValid());
        QCOMPARE(QJsonDocument::fromVariant(QVariantList{ a }).toJson(QJsonDocument::Compact),
                 "[" + expected.out.trimmed() + "]");
        QVERIFY(!configuration.getConfiguration("missing").isValid());
        const auto emptyKey = nimbrel::test::runProcess("jq", { "-r", ".[\"\"] // \"\"", path });
        QCOMPARE(configuration.getConfiguration().toString(),
                 QString::fromUtf8(emptyKey.out.trimmed()));
    } else {
        QVERIFY(!configuration.getConfiguration("a").isValid());
        QVERIFY(!configuration.getConfiguration().isValid());
    }
}

void tst_UtilFiles::missingConfiguration()
{
    ApplicationConfiguration configuration;
    QTest::ignoreMessage(QtWarningMsg, "Could not open config file");
    configuration.load(QDir::temp().filePath("nothing-here.json"));
    QVERIFY(!configuration.getConfiguration("a").isValid());
}

void tst_UtilFiles::fileRoundTrip()
{
    FileIo io;
    const QUrl url = QUrl::fromLocalFile(QDir::temp().filePath("round.bin"));
    const QByteArray data("\x00\x01binary\xff", 9);
    QVERIFY(io.writeToFile(url, data));
    QCOMPARE(io.readFromFile(url), data);
    QVERIFY(io.writeToFile(url, "short"));
    QCOMPARE(io.readFromFile(url), QByteArray("short"));
    io.deleteFile(url);
    QVERIFY(!QFile::exists(url.toLocalFile()));

    QTest::ignoreMessage(QtWarningMsg, "Couldn't open path file.");
    QCOMPARE(io.readFromFile(url), QByteArray());
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable("Couldn't delete file  QUrl(\"" + url.toString() + "\")"));
    io.deleteFile(url);
}

void tst_UtilFiles::failedWriteKeepsTheOldFile()
{
    FileIo io;
    const QString path = QDir::temp().filePath("keep.txt");
    const QByteArray old(3000, 'o');
    QVERIFY(io.writeToFile(QUrl::fromLocalFile(path), old));

    // Tests run as root, where permissions cannot make a write fail; a file-size limit can.
    struct rlimit before
    {
    };
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = before;
    limited.rlim_cur = 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Couldn't open path file\\..*"));
    const bool written = io.writeToFile(QUrl::fromLocalFile(path), QByteArray(8000, 'n'));
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!written);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), old);
    // The parent is a file: the write cannot even start.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Couldn't open path file\\..*"));
    QVERIFY(!io.writeToFile(QUrl::fromLocalFile(path + "/inside.txt"), "x"));
}

void tst_UtilFiles::tempFileUrls()
{
    FileIo io;
    const QUrl first = io.tempFileUrl();
    const QUrl second = io.tempFileUrl();
    QVERIFY(first != second);
    static const QRegularExpression name(QStringLiteral("^NimbrelBrastel_[0-9]+$"));
    QVERIFY(name.match(QFileInfo(first.toLocalFile()).fileName()).hasMatch());
    QCOMPARE(QFileInfo(first.toLocalFile()).absolutePath(), QDir::tempPath());
    QVERIFY(!QFile::exists(first.toLocalFile()));
}

void tst_UtilFiles::moduleComponentNames_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("made");
    QTest::addColumn<bool>("ready");
    QTest::newRow("QtQuick Rectangle") << "QtQuick"
                                       << "Rectangle" << true << true;
    QTest::newRow("dotted module") << "QtQuick.Layouts"
                                   << "RowLayout" << true << true;
    QTest::newRow("unknown type") << "QtQuick"
                                  << "NoSuchType" << true << false;
    QTest::newRow("text after uri") << "QtQuick; Item {}"
                                    << "Rectangle" << false << false;
    QTest::newRow("type with body") << "QtQuick"
                                    << "Item { }\nItem" << false << false;
    QTest::newRow("lower-case type") << "QtQuick"
                                     << "rectangle" << false << false;
    QTest::newRow("empty uri") << ""
                               << "Rectangle" << false << false;
    QTest::newRow("trailing dot") << "QtQuick."
                                  << "Rectangle" << false << false;
}

void tst_UtilFiles::moduleComponentNames()
{
    QFETCH(QString, uri);
    QFETCH(QString, type);
    QFETCH(bool, made);
    QFETCH(bool, ready);
    QQmlEngine engine;
    std::unique_ptr<QQmlComponent> component(createModuleComponent(&engine, uri, type));
    QCOMPARE(bool(component), made);
    if (component)
        QCOMPARE(component->status() == QQmlComponent::Ready, ready);
}

namespace {
QStringList qmldirOf(const QString &module)
{
    QFile file(QStringLiteral(":/qt/qml/orvane/%1/qmldir").arg(module));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    lines.removeAll(QString());
    return lines;
}
} // namespace

void tst_UtilFiles::qmldirLines()
{
    QCOMPARE(qmldirOf("Util"),
             QStringList({ "module orvane.Util", "linktarget Utilplugin", "plugin Utilplugin",
                           "classname orvane_UtilPlugin", "typeinfo Util.qmltypes",
                           "prefer :/qt/qml/orvane/Util/",
                           "ObservableDragHandler 1.0 qml/ObservableDragHandler.qml",
                           "CachedLoader 1.0 qml/CachedLoader.qml" }));
}

QTEST_GUILESS_MAIN(tst_UtilFiles)
#include "tst_utilFiles.moc"
