#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

using namespace nimbrel::test;

// usb-pelto with the real NimbrelLab as its child: the program's own libusb, in another process
// than the testbed's ioctl handler, must find the simulated Pelto, identify it by the serial only
// pelto-sim knows (the USB descriptors carry none), and make USB its active link, which pelto-sim
// confirms on its control socket. Unplugging and plugging it in again goes through the same
// cross-process uevents.
class tst_usbPeltoLauncher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void programFindsTheSimulatedPeltoOverUsb();
    void servesTheGivenFolder_data();
    void servesTheGivenFolder();

private:
    QJsonObject simStatus();
    bool waitForOutput(const QString &text, int occurrences = 1, int timeoutMs = 60000);
    bool waitForSim(const QString &activeInterface, int usbLinks, int timeoutMs = 30000);

    QProcess m_launcher;
    QByteArray m_output;
    quint16 m_controlPort = 0;
};

QJsonObject tst_usbPeltoLauncher::simStatus()
{
    QTcpSocket control;
    control.connectToHost(QStringLiteral("127.0.0.1"), m_controlPort);
    if (!control.waitForConnected(scaled(5000)))
        return {};
    control.write("{\"cmd\":\"status\"}\n");
    QByteArray reply;
    while (!reply.contains('\n') && control.waitForReadyRead(scaled(5000)))
        reply += control.readAll();
    return QJsonDocument::fromJson(reply.left(reply.indexOf('\n'))).object();
}

bool tst_usbPeltoLauncher::waitForOutput(const QString &text, int occurrences, int timeoutMs)
{
    const QByteArray needle = text.toUtf8();
    return waitFor(
               [&] {
                   m_output += m_launcher.readAll();
                   return m_output.count(needle) >= occurrences
                       || m_launcher.state() == QProcess::NotRunning;
               },
               timeoutMs)
        && m_output.count(needle) >= occurrences;
}

bool tst_usbPeltoLauncher::waitForSim(const QString &activeInterface, int usbLinks, int timeoutMs)
{
    return waitFor(
        [&] {
            const QJsonObject status = simStatus();
            int count = 0;
            for (const QJsonValue link : status.value(QStringLiteral("links")).toArray())
                count += link.toObject().value(QStringLiteral("kind")).toString()
                    == QLatin1String("usb");
            return count == usbLinks
                && status.value(QStringLiteral("active_interface")).toString() == activeInterface;
        },
        timeoutMs);
}

void tst_usbPeltoLauncher::programFindsTheSimulatedPeltoOverUsb()
{
    const QString launcher = qEnvironmentVariable("NIMBREL_USB_PELTO");
    const QString app = qEnvironmentVariable("NIMBREL_APP");
    QVERIFY(!launcher.isEmpty() && !app.isEmpty());
    const QString serial = QStringLiteral("PLT-TRY-0427");

    m_launcher.setProcessChannelMode(QProcess::MergedChannels);
    // The program it starts keeps Qt Quick's pictures to the end; LeakSanitizer cannot name
    // Qt's frames, so its report would decide the exit status checked here.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS"))
                           + QStringLiteral(":detect_leaks=0"));
    m_launcher.setProcessEnvironment(environment);
    m_launcher.start(launcher,
                     { QStringLiteral("--serial"), serial, QStringLiteral("--sim-arg=-v"),
                       QStringLiteral("--"), app });
    QVERIFY(m_launcher.waitForStarted(scaled(10000)));

    QVERIFY2(waitForOutput(QStringLiteral("pelto-sim ready")), m_output.constData());
    const QRegularExpressionMatch port = QRegularExpression(QStringLiteral("control port (\\d+)"))
                                             .match(QString::fromUtf8(m_output));
    QVERIFY2(port.hasMatch(), m_output.constData());
    m_controlPort = quint16(port.captured(1).toUInt());

    const QString found = QStringLiteral("Device found: \"%1\"").arg(serial);
    QVERIFY2(waitForOutput(found), m_output.constData());
    QVERIFY2(waitForSim(QStringLiteral("USB"), 1), m_output.constData());
    QVERIFY2(waitForOutput(QStringLiteral("Set datalink to:  USB")), m_output.constData());

    m_launcher.write("unplug\n");
    QVERIFY2(waitForSim(QStringLiteral("None"), 0), m_output.constData());
    m_launcher.write("plug\n");
    QVERIFY2(waitForOutput(found, 2), m_output.constData());
    QVERIFY2(waitForSim(QStringLiteral("USB"), 1), m_output.constData());

    m_launcher.write("quit\n");
    QVERIFY2(m_launcher.waitForFinished(scaled(30000)), m_output.constData());
    m_output += m_launcher.readAll();
    QCOMPARE(m_launcher.exitStatus(), QProcess::NormalExit);
    QVERIFY2(m_launcher.exitCode() == 0, m_output.constData());
    // The program takes SIGTERM as a request to quit and shuts down the usual way.
    QVERIFY2(m_output.contains(QStringLiteral("%1 ended with exit code 0").arg(app).toUtf8()),
             m_output.constData());
    QVERIFY2(m_output.contains("Ending on signal 15"), m_output.constData());
    QVERIFY2(!m_output.contains("ERROR: AddressSanitizer"), m_output.constData());
}

// --files hands a person's folder (logs in log/) to the pelto-sim the launcher starts; the
// simulator's own command line shows what it was given, and a path that is no folder stops it
// from starting. The program is a plain sleep: only the launcher and the simulator matter here.
void tst_usbPeltoLauncher::servesTheGivenFolder_data()
{
    QTest::addColumn<QString>("files");
    QTest::addColumn<bool>("withSimSocket");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    QTest::newRow("folder") << QStringLiteral("served") << false << 0
                            << QStringLiteral("pelto-sim ready");
    QTest::newRow("file") << QStringLiteral("plain.txt") << false << 1
                          << QStringLiteral("pelto-sim did not start");
    QTest::newRow("with sim socket") << QStringLiteral("served") << true << 2
                                     << QStringLiteral("--files is for the pelto-sim started here");
}

void tst_usbPeltoLauncher::servesTheGivenFolder()
{
    QFETCH(QString, files);
    QFETCH(bool, withSimSocket);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    const QString launcher = qEnvironmentVariable("NIMBREL_USB_PELTO");
    QVERIFY(!launcher.isEmpty());
    const QDir root(testRoot());
    QVERIFY(root.mkpath(QStringLiteral("served/log")));
    QFile plain(root.filePath(QStringLiteral("plain.txt")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString folder = root.filePath(files);

    QStringList arguments{ QStringLiteral("--files"), folder };
    if (withSimSocket)
        arguments << QStringLiteral("--sim-socket") << root.filePath(QStringLiteral("none.sock"));
    arguments << QStringLiteral("--") << QStringLiteral("/bin/sleep") << QStringLiteral("120");
    m_output.clear();
    m_launcher.setProcessChannelMode(QProcess::MergedChannels);
    m_launcher.start(launcher, arguments);
    QVERIFY(m_launcher.waitForStarted(scaled(10000)));
    QVERIFY2(waitForOutput(said), m_output.constData());

    if (exitCode == 0) {
        const QRegularExpressionMatch pid
            = QRegularExpression(QStringLiteral("USB socket \\S+, pid (\\d+)"))
                  .match(QString::fromUtf8(m_output));
        QVERIFY2(pid.hasMatch(), m_output.constData());
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid.captured(1)));
        QVERIFY(commandLine.open(QIODevice::ReadOnly));
        const QList<QByteArray> simArguments = commandLine.readAll().split('\0');
        const qsizetype at = simArguments.indexOf("--files");
        QVERIFY2(at >= 0 && at + 1 < simArguments.size(), m_output.constData());
        QCOMPARE(QString::fromLocal8Bit(simArguments.at(at + 1)), folder);
        m_launcher.write("quit\n");
    }
    // It may have ended already, while its output was awaited.
    QVERIFY2(m_launcher.state() == QProcess::NotRunning
                 || m_launcher.waitForFinished(scaled(30000)),
             m_output.constData());
    m_output += m_launcher.readAll();
    QCOMPARE(m_launcher.exitStatus(), QProcess::NormalExit);
    QVERIFY2(m_launcher.exitCode() == exitCode, m_output.constData());
}

QTEST_GUILESS_MAIN(tst_usbPeltoLauncher)
#include "tst_usbPeltoLauncher.moc"
