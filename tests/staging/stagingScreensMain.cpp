// The Qt Quick Test runner of the staging screens against their real back ends: device log lists
// over log folders the tests fill, and a stand-in for the device factory's selected Pelto. URLs
// handed to the desktop are recorded, never opened.
#include "AppBinaryManager.h"
#include "AppFileTestRig.h"
#include "FileControlChannel.h"
#include "LogDownloader.h"
#include "MainApplication.h"
#include "OrvDeviceLogProducer.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDateTime>
#include <QDir>
#include <QJsonObject>
#include <QFile>
#include <QPointer>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

#include <memory>
#include <vector>

Q_IMPORT_QML_PLUGIN(orvane_BrandingPlugin)

using namespace nimbrel::test;

// What the screens read of the selected Pelto.
class TestDevice : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString serialNumber MEMBER serialNumber NOTIFY AppStatusChanged)
    Q_PROPERTY(bool appRunning MEMBER appRunning NOTIFY AppStatusChanged)
    Q_PROPERTY(bool appStateSafeForDownload MEMBER safe NOTIFY AppStatusChanged)
    Q_PROPERTY(bool firmwareVerified MEMBER verified CONSTANT)
    Q_PROPERTY(bool isInFallback MEMBER fallback CONSTANT)

public:
    Q_INVOKABLE void setApp(bool running)
    {
        appRunning = running;
        safe = !running;
        emit AppStatusChanged();
    }

    QString serialNumber;
    bool appRunning = false;
    bool safe = true;
    bool verified = true;
    bool fallback = false;

signals:
    void AppStatusChanged();
};

class TestSelection : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QObject *selectedDevice READ selectedDevice NOTIFY SelectedDeviceChanged)

public:
    QObject *selectedDevice() const { return m_device; }
    Q_INVOKABLE void select(QObject *device)
    {
        m_device = device;
        emit SelectedDeviceChanged();
    }

signals:
    void SelectedDeviceChanged();

private:
    QPointer<QObject> m_device;
};

class TestLogs : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList openedUrls MEMBER m_openedUrls NOTIFY changed)

public:
    // A log library with `files` valid local logs for each serial (file k of a device dated day
    // k of January 2026, model "M<k mod 3>"), written by the log generator with the metadata a
    // device puts in.
    Q_INVOKABLE QObject *make(const QStringList &serials, int files)
    {
        const QString root = QDir(testRoot()).filePath(QStringLiteral("LogData%1").arg(++m_made));
        QDir(root).removeRecursively();
        for (const QString &serial : serials) {
            QDir folder(QDir(root).filePath(serial));
            folder.mkpath(QStringLiteral("."));
            for (int k = 1; k <= files; ++k) {
                const QString day = QStringLiteral("%1").arg(k, 2, 10, QLatin1Char('0'));
                const QString name = QStringLiteral("log[%1]_M%2_App_2026-01-%3_10-00-00")
                                         .arg(k)
                                         .arg(k % 3)
                                         .arg(day);
                runProcess(python(),
                           { fixturePath(QStringLiteral("zlf_generator.py")), QStringLiteral("--log"),
                             folder.filePath(name + QStringLiteral(".zlf")),
                             QStringLiteral("logCount=%1").arg(k),
                             QStringLiteral("Date=2026-01-") + day, QStringLiteral("Time=10:00:00"),
                             QStringLiteral("fileName=") + name, QStringLiteral("serial=") + serial,
                             QStringLiteral("modelName=M%1").arg(k % 3) });
            }
        }
        m_downloaders.push_back(std::make_unique<LogDownloader>(QDir(root)));
        // Handed to QML without a parent: the engine would otherwise collect it.
        QQmlEngine::setObjectOwnership(m_downloaders.back().get(), QQmlEngine::CppOwnership);
        return m_downloaders.back().get();
    }

    // Files the producer's device lists, as its file-control service would report them.
    Q_INVOKABLE void listOnDevice(QObject *producer, const QStringList &names)
    {
        QList<FileControlChannel::DirEntry> entries;
        for (const QString &name : names) {
            FileControlChannel::DirEntry entry;
            entry.name = name;
            entry.type = 8;
            entry.size = 4096;
            entries << entry;
        }
        qobject_cast<OrvDeviceLogProducer *>(producer)->handleOrvDeviceLogDirListCompleted(
            FileControlChannel::Success, entries);
    }

    Q_INVOKABLE QObject *makeDevice(const QString &serial)
    {
        auto *device = new TestDevice;
        device->serialNumber = serial;
        device->setParent(this);
        QQmlEngine::setObjectOwnership(device, QQmlEngine::CppOwnership);
        return device;
    }

public slots:
    void openUrl(const QUrl &url)
    {
        m_openedUrls << url.toString();
        emit changed();
    }

signals:
    void changed();

    // The libraries go while the screens' engine and window still exist: views over their
    // models must see them go, not find them at program exit after the window.
public:
    void clear() { m_downloaders.clear(); }

private:
    int m_made = 0;
    std::vector<std::unique_ptr<LogDownloader>> m_downloaders;
    QStringList m_openedUrls;
};

// An app-binary library in the per-user folder, emptied for each test, and app-binary files
// written outside it by the struct-only header writer.
class TestBinaries : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE QObject *make()
    {
        m_manager.reset();
        auto manager = std::make_unique<AppBinaryManager>();
        QDir library(manager->libraryFolder());
        for (const QString &name : library.entryList(QDir::Files))
            library.remove(name);
        manager->handleFolderChanged();
        m_manager = std::move(manager);
        QQmlEngine::setObjectOwnership(m_manager.get(), QQmlEngine::CppOwnership);
        return m_manager.get();
    }

    // File k: its own build ID, created k hours before now.
    Q_INVOKABLE QUrl writeApp(const QString &name, const QString &version, const QString &appName,
                              int k)
    {
        const QString dir = QDir(testRoot()).filePath(QStringLiteral("outside"));
        QDir().mkpath(dir);
        if (m_elf.isEmpty())
            m_elf = rig::makeModelElf(dir);
        const QString path = QDir(dir).filePath(name + QStringLiteral(".napbf"));
        rig::writeNapbf(path, m_elf,
                        { { "version_number", version },
                          { "version_text", version },
                          { "app_name", appName },
                          { "build_id_hex", QStringLiteral("%1").arg(k, 64, 16, QLatin1Char('0')) },
                          { "time", QDateTime::currentDateTimeUtc().addSecs(-3600 * k).toString(
                                        Qt::TextDate) } });
        return QUrl::fromLocalFile(path);
    }

    void clear() { m_manager.reset(); }

private:
    std::unique_ptr<AppBinaryManager> m_manager;
    QString m_elf;
};

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        main_Application::registerQmlTypes();
        for (const char *scheme : { "http", "https", "file" })
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_logs, "openUrl");
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        const QString screens = qEnvironmentVariable("NIMBREL_BINARY_DIR") + "/screens";
        QDir().mkpath(screens);
        QQmlContext *context = engine->rootContext();
        context->setContextProperty(QStringLiteral("screensFolder"), screens);
        context->setContextProperty(QStringLiteral("testLogs"), &m_logs);
        context->setContextProperty(QStringLiteral("testSelection"), &m_selection);
        context->setContextProperty(QStringLiteral("testBinaries"), &m_binaries);
    }

    void cleanupTestCase()
    {
        m_logs.clear();
        m_binaries.clear();
        for (const char *scheme : { "http", "https", "file" })
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }

private:
    TestLogs m_logs;
    TestSelection m_selection;
    TestBinaries m_binaries;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Nimbrel Lab"));
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "staging", nullptr, &setup);
}

#include "stagingScreensMain.moc"
