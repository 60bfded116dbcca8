#include "BinaryLibraryScenario.h"
#include "FactoryTestRig.h"
#include "WifiDatalink.h"
#include "WifiPeltoHost.h"

#include <QPointer>
#include <QTcpServer>
#include <QTemporaryDir>

#include <memory>

using namespace nimbrel::test;

namespace {

// A Pelto on its own Wi-Fi link to one simulator, outside any device factory, so that two of
// them can be attached to the library one after the other.
struct Host : WifiPeltoHost
{
    explicit Host(const PeltoSimProcess &sim)
        : WifiPeltoHost(sim, {}, 0, QHostAddress::LocalHost, 0, 200)
    { }
};

} // namespace

// The library against pelto-sim over Wi-Fi: the offers and the upload, and a change of Pelto.
class TestBinaryLibraryWifi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_elf = rig::makeModelElf(m_dir.path());
        QVERIFY(!m_elf.isEmpty());
    }
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void offersAndUpload()
    {
        const QString received = m_dir.filePath(QStringLiteral("received.bin"));
        PeltoSimProcess sim;
        QVERIFY(sim.start(scenario::simArguments(received)));
        FactoryTestRig rig;
        rig.addSimulator(QStringLiteral("127.0.0.1"), sim);
        scenario::runOfferScenario(sim, received, m_elf, [&] {
            OrvFactory &factory = rig.start();
            factory.insertNetworkOrvDevice(QStringLiteral("127.0.0.1"));
            return &factory;
        });
    }

    // A second Pelto never receives into the first one's channel: after the change the library
    // asks the new Pelto for its own and the image goes there.
    void changeOfPeltoForgetsTheChannel()
    {
        ErrorHandler::instance()->clearNotifications();
        const QString receivedA = m_dir.filePath(QStringLiteral("a.bin"));
        const QString receivedB = m_dir.filePath(QStringLiteral("b.bin"));
        PeltoSimProcess simA;
        PeltoSimProcess simB;
        QVERIFY(simA.start({ QStringLiteral("--update-image"), receivedA,
                             QStringLiteral("--serial"), QStringLiteral("PLT-A"),
                             QStringLiteral("--state"), QStringLiteral("app_status=2") }));
        QVERIFY(simB.start({ QStringLiteral("--update-image"), receivedB,
                             QStringLiteral("--serial"), QStringLiteral("PLT-B"),
                             QStringLiteral("--state"), QStringLiteral("app_status=2") }));
        Host a(simA);
        Host b(simB);
        QVERIFY(waitFor([&] { return a.connected() && b.connected(); }, 15000));
        QVERIFY(waitFor(
            [&] {
                return a.pelto->getAppRunningState() == ControlChannel::Stopped
                    && b.pelto->getAppRunningState() == ControlChannel::Stopped
                    && a.pelto->isFirmwareVerified() && b.pelto->isFirmwareVerified();
            },
            10000));

        AppBinaryManager library;
        library.setDevice(a.pelto.get());
        library.setVisibility(true);
        QVERIFY(waitFor([&] { return library.updateChannel() != nullptr; }, 10000));
        QCOMPARE(library.updateChannel(), a.pelto->updateService());

        library.setDevice(b.pelto.get());
        QCOMPARE(library.updateChannel(), nullptr);
        QSignalSpy sent(&library, &AppBinaryManager::FlashAppBinSignal);
        library.pushElfBinaryFromUri(m_elf, QStringLiteral("1.4.2"), QString(), QString());
        QVERIFY(waitFor(
            [&] { return scenario::lastUpload(simB).value(QStringLiteral("crc_ok")).toBool(); },
            30000));
        QCOMPARE(library.updateChannel(), b.pelto->updateService());
        QVERIFY(scenario::lastUpload(simA).isEmpty());
        // One image, although the Pelto reported its channel open twice (visible, then flash).
        QCOMPARE(sent.size(), 1);
        QCOMPARE(rig::readAll(receivedB).size(), 404);

        // A ready-made image goes out as it is (padded to 4 bytes), through the same channel.
        QByteArray apb(5001, Qt::Uninitialized);
        for (int i = 0; i < apb.size(); ++i)
            apb[i] = char((i * 131 + 7) & 0xFF);
        const QString apbPath = m_dir.filePath(QStringLiteral("ready.apb"));
        QFile apbFile(apbPath);
        QVERIFY(apbFile.open(QIODevice::WriteOnly) && apbFile.write(apb) == apb.size());
        apbFile.close();
        library.uploadApbBinaryUrl(QUrl::fromLocalFile(apbPath));
        QVERIFY(waitFor(
            [&] {
                const QJsonObject upload = scenario::lastUpload(simB);
                return upload.value(QStringLiteral("size")).toInt() == 5004
                    && upload.value(QStringLiteral("crc_ok")).toBool();
            },
            30000));
        QCOMPARE(rig::readAll(receivedB).toHex(), (apb + QByteArray(3, '\0')).toHex());
        QTest::ignoreMessage(
            QtCriticalMsg,
            QRegularExpression(QStringLiteral("Error: .*none.apb.* > No such file")));
        library.uploadApbBinary(m_dir.filePath(QStringLiteral("none.apb")));
        QCOMPARE(sent.size(), 2);
    }

private:
    QTemporaryDir m_dir;
    QString m_elf;
};

QTEST_GUILESS_MAIN(TestBinaryLibraryWifi)
#include "tst_binaryLibraryWifi.moc"
