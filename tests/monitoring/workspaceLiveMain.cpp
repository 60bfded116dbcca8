// The Qt Quick Test runner of the Workspace page against the simulated Pelto over Wi-Fi: the tests
// see `orvFactory`, whose selected device is the connected Pelto, and `peltoSim`, which asks the
// simulator what it received and reads the settings the page wrote.
#include "../device/PeltoSimProcess.h"
#include "../device/WifiPeltoHost.h"
#include "ExternalMonitor.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QJsonObject>
#include <QPointer>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSettings>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(orvane_BrandingPlugin)

using namespace nimbrel::test;

// What the page needs of the device factory: the selected device and its change signal.
class DeviceSelection : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QObject *selectedDevice READ selectedDevice NOTIFY SelectedDeviceChanged)

public:
    QObject *selectedDevice() const { return m_device; }
    void select(QObject *device)
    {
        if (m_device == device)
            return;
        m_device = device;
        emit SelectedDeviceChanged(device);
    }

signals:
    void SelectedDeviceChanged(QObject *device);

private:
    QPointer<QObject> m_device;
};

class SimProbe : public QObject
{
    Q_OBJECT

public:
    explicit SimProbe(PeltoSimProcess &sim)
        : m_sim(sim)
    { }

    // Payloads of the channel-2 frames the simulator received, in hex, in order.
    Q_INVOKABLE QStringList controlPayloads()
    {
        QStringList payloads;
        for (const QJsonValue &frame : m_sim.frames(2))
            payloads << frame.toObject().value(QStringLiteral("payload")).toString();
        return payloads;
    }

    Q_INVOKABLE QVariant setting(const QString &key) const
    {
        QSettings settings;
        return settings.value(key);
    }

private:
    PeltoSimProcess &m_sim;
};

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
        QCoreApplication::setApplicationName(QStringLiteral("Nimbrel Lab"));
        ExternalMonitor::install();
        const QString model = sourceDir() + QStringLiteral("/tools/pelto-sim/models/monitored_model.json");
        if (!m_sim.start({ QStringLiteral("--monitor-model"), model }))
            qFatal("the simulated Pelto did not start");
        m_probe = std::make_unique<SimProbe>(m_sim);
        m_host = std::make_unique<WifiPeltoHost>(m_sim);
        // The factory selects a Pelto once it is connected.
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this, poll] {
            if (!m_host->connected())
                return;
            m_selection.select(m_host->pelto.get());
            poll->stop();
        });
        poll->start(50);
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        const QString screens = qEnvironmentVariable("NIMBREL_BINARY_DIR") + "/screens";
        QDir().mkpath(screens);
        engine->rootContext()->setContextProperty(QStringLiteral("screensFolder"), screens);
        engine->rootContext()->setContextProperty(QStringLiteral("orvFactory"), &m_selection);
        engine->rootContext()->setContextProperty(QStringLiteral("peltoSim"), m_probe.get());
    }

    void cleanupTestCase()
    {
        m_selection.select(nullptr);
        m_host.reset();
    }

private:
    PeltoSimProcess m_sim;
    DeviceSelection m_selection;
    std::unique_ptr<SimProbe> m_probe;
    std::unique_ptr<WifiPeltoHost> m_host;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "workspace", nullptr, &setup);
}

#include "workspaceLiveMain.moc"
