// Qt Quick Test runner of the toolchain section on the Global Settings page: the list object over
// fake MATLAB releases (NIMBREL_TEST_RELEASES: "three" or "none") as toolchainInstall, the QML
// modules, the application's screens and widgets, the main window's units for a 1080-pixel high
// screen, and the folder the screens are saved in.
#include "ErrorHandler.h"
#include "MatlabHelper.h"
#include "ToolchainHandlerGUI.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

Q_IMPORT_QML_PLUGIN(orvane_BrandingPlugin)
Q_IMPORT_QML_PLUGIN(MatLab_GUIPlugin)

namespace {

class FakeReleases : public MatlabInstallationSource
{
public:
    explicit FakeReleases(bool three)
        : m_three(three)
    { }
    std::map<std::string, std::string> findInstallations() const override
    {
        if (!m_three)
            return {};
        return { { "9.09", "/m/R2020b" }, { "9.10", "/m/R2021a" }, { "9.12", "/m/R2022a" } };
    }

private:
    bool m_three;
};

void writeVersionFile(const QString &name, const QByteArray &version)
{
    const QString folder
        = QDir(qEnvironmentVariable("XDG_DATA_HOME"))
              .filePath("Orvane/NimbrelStudio/MatlabHelper/MatlabToolchainVersion");
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + name);
    if (file.open(QIODevice::WriteOnly))
        file.write("{\"ToolchainVersion\": \"" + version + "\"}");
}

} // namespace

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        const bool three = qEnvironmentVariable("NIMBREL_TEST_RELEASES") == QLatin1String("three");
        writeVersionFile(QStringLiteral("R2020b_9_9.json"), "1.2.0");
        writeVersionFile(QStringLiteral("R2021a_9_10.json"), "1.10.0");
        m_list = std::make_unique<ToolchainHandlerGUI>(
            nullptr,
            std::make_unique<MatlabHelper>(
                std::make_unique<FakeReleases>(three),
                [](const QString &, const QStringList &, const QString &) { return true; }));
        for (InstalledMatlabEntry *row : m_list->installedMatlabs())
            row->setLatestToolchainVersion("1.10.0");
        const QString screens = qEnvironmentVariable("NIMBREL_BINARY_DIR") + "/screens";
        QDir().mkpath(screens);
        QQmlContext *context = engine->rootContext();
        context->setContextProperty(QStringLiteral("screensFolder"), screens);
        context->setContextProperty(QStringLiteral("hRef"), 1080);
        context->setContextProperty(QStringLiteral("uScale"), 1080 / 1080.01);
        context->setContextProperty(QStringLiteral("toolchainInstall"), m_list.get());
        context->setContextProperty(QStringLiteral("Notifications"), ErrorHandler::instance());
        context->setContextProperty(QStringLiteral("expectedReleases"),
                                    three ? QStringList{ "R2020b", "R2021a", "R2022a" }
                                          : QStringList());
    }
    void cleanupTestCase() { m_list.reset(); }

private:
    std::unique_ptr<ToolchainHandlerGUI> m_list;
};

int main(int argc, char **argv)
{
    // Nothing may reach the maker's storage: downloads go to a closed port on loopback.
    qputenv("NIMBREL_STORAGE_BASE_URL", "https://127.0.0.1:1/");
    QApplication app(argc, argv);
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "toolchainQml", nullptr, &setup);
}

#include "toolchainQmlMain.moc"
