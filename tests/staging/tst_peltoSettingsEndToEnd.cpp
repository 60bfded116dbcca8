#include "HardwareSettings.h"
#include "HwSettingsGUI.h"
#include "PeltoSettings.h"
#include "PeltoSimProcess.h"
#include "TestSupport.h"
#include "WifiPeltoHost.h"
#include "WifiSettingsRows.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace nimbrel::test;

namespace {

// A field of the record as the record writer names it, its bytes and its row.
struct Field
{
    const char *name;
    int offset;
    int size;
    int row;
};
const Field Fields[] = {
    { "name", 0, 32, NameRow },
    { "sta_ssid", 32, 32, StationSsidRow },
    { "sta_password", 64, 64, StationPasswordRow },
    { "ap_ssid", 128, 32, AccessPointSsidRow },
    { "ap_password", 160, 64, AccessPointPasswordRow },
    { "hidden", 239, 1, HiddenSsidRow },
    { "static_ip", 308, 4, StaticIpRow },
    { "static_mask", 324, 4, SubnetMaskRow },
    { "gateway", 340, 4, GatewayRow },
};
const Field *field(const QString &name)
{
    for (const Field &f : Fields)
        if (name == QLatin1String(f.name))
            return &f;
    return nullptr;
}

// The state rows and their byte in the 3-byte state record.
struct StateField
{
    const char *name;
    int byte;
    int row;
};
const StateField StateFields[] = {
    { "wifi_enabled", 0, WifiEnabledRow },
    { "ap_enabled", 1, AccessPointEnabledRow },
    { "station_enabled", 2, StationEnabledRow },
};

bool recordWriter(const QStringList &arguments)
{
    const ProcessResult r = runProcess(
        python(),
        QStringList{ fixturePath(QStringLiteral("wifi_settings_record.py")) } + arguments);
    if (r.exitCode != 0)
        qWarning().noquote() << r.err;
    return r.finished && r.exitCode == 0;
}

// `cmp -l a b`: the 0-based offsets where the files differ; empty when they are equal.
QList<int> differingOffsets(const QString &a, const QString &b)
{
    const ProcessResult r = runProcess(QStringLiteral("cmp"), { QStringLiteral("-l"), a, b });
    QList<int> offsets;
    for (const QByteArray &line : r.out.split('\n'))
        if (!line.trimmed().isEmpty())
            offsets << line.trimmed().split(' ').first().toInt() - 1;
    return offsets;
}

bool sameFiles(const QString &a, const QString &b)
{
    const ProcessResult r = runProcess(QStringLiteral("cmp"), { a, b });
    return r.finished && r.exitCode == 0;
}

QList<int> wifiCodes(PeltoSimProcess &sim, qsizetype from)
{
    QList<int> codes;
    const QList<int> all = sim.controlCodes();
    for (qsizetype i = from; i < all.size(); ++i)
        if (all[i] >= 96 && all[i] <= 105)
            codes << all[i];
    return codes;
}

} // namespace

// The Wi-Fi settings edited against pelto-sim: the record the device receives differs from the one
// it sent only in the edited fields (checked with cmp against a record written by Python's struct
// from the layout), and the codes go out in order: 98 only for a changed record, 96 only for a
// changed state, 99 always after.
class TestPeltoSettingsEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void editAgainstTheDevice_data()
    {
        QTest::addColumn<QStringList>("edits"); // FIELD=VALUE; state rows are toggled
        QTest::addColumn<QList<int>>("codes");
        QTest::newRow("ASCII texts and hidden SSID")
            << QStringList{ "name=Lab-Pelto-7", "sta_ssid=office-net",
                            "sta_password=correct horse 1", "hidden=1" }
            << QList<int>{ 98, 99 };
        QTest::newRow("non-ASCII texts")
            << QStringList{ QString::fromUtf8("name=ÄÖÜäöüßÄÖÜäöüßéé"), // 32 bytes, no zero
                            QString::fromUtf8("ap_ssid=Café ☕ Zürich"),
                            QString::fromUtf8("ap_password=pässwörd-ß-🔑12") }
            << QList<int>{ 98, 99 };
        QTest::newRow("state only") << QStringList{ "wifi_enabled" } << QList<int>{ 96, 99 };
        QTest::newRow("static addresses and access point")
            << QStringList{ "static_ip=192.168.0.1", "static_mask=255.255.255.0",
                            "gateway=192.168.0.254", "ap_enabled" }
            << QList<int>{ 98, 96, 99 };
    }
    void editAgainstTheDevice()
    {
        QFETCH(QStringList, edits);
        QFETCH(QList<int>, codes);
        QTemporaryDir dir;
        const QString sent = dir.filePath(QStringLiteral("sent.bin"));
        const QString device = dir.filePath(QStringLiteral("device.bin"));
        const QString expected = dir.filePath(QStringLiteral("expected.bin"));
        QVERIFY(recordWriter(
            { QStringLiteral("write"), sent, QStringLiteral("--seed"),
              QString::number(QTest::currentDataTag()[0]), QStringLiteral("name=Sim Pelto"),
              QStringLiteral("sta_ssid=home"), QStringLiteral("sta_password=initial-pass"),
              QStringLiteral("ap_ssid=PeltoAP"), QStringLiteral("ap_password=ap-secret-1"),
              QStringLiteral("static_ip="), QStringLiteral("static_mask="),
              QStringLiteral("gateway=") }));
        QVERIFY(QFile::copy(sent, device));

        PeltoSimProcess sim;
        QVERIFY(sim.start({ QStringLiteral("--wifi-settings"), device, QStringLiteral("--state"),
                            QStringLiteral("wifi_state=010001") }));
        WifiPeltoHost host(sim, {}, 0, QHostAddress::LocalHost, 0, 3600 * 1000);
        QVERIFY(waitFor([&] { return host.connected(); }, 15000));

        HardwareSettings hardware(nullptr);
        hardware.setOrvDevice(host.pelto.get());
        auto *settings = qobject_cast<PeltoSettings *>(hardware.deviceSettings());
        QVERIFY(settings);
        HwSettingsGUI *gui = hardware.settingsGui();
        gui->setVisibility(true);
        // Built from the answers to this query (the Pelto's own request at connect may build it
        // first): the record rows show the device's record.
        QVERIFY(waitFor(
            [&] {
                HwSettingsTab *tab = gui->tab(settings->wifiTab());
                return tab && tab->getSettingsList().size() == WifiRowCount
                    && row(tab, NameRow)->getStringValue() == QLatin1String("Sim Pelto")
                    && row(tab, WifiEnabledRow)->property("boolPosition").toInt() == 1
                    && wifiCodes(sim, 0).count(105) == 1;
            },
            15000));
        QCoreApplication::processEvents();
        HwSettingsTab *tab = gui->tab(settings->wifiTab());
        QCOMPARE(row(tab, StaticIpRow)->getStringValue(), QString());
        const qsizetype mark = sim.controlCodes().size();

        QStringList recordEdits;
        QByteArray expectedState("\x01\x00\x01", 3);
        QList<QPair<int, int>> editedRanges;
        for (const QString &edit : edits) {
            const QString name = edit.section(QLatin1Char('='), 0, 0);
            const QString value = edit.section(QLatin1Char('='), 1);
            if (const Field *f = field(name)) {
                HwSetting *r = row(tab, f->row);
                if (f->size == 1)
                    r->boolValueUpdated(value == QLatin1String("1"));
                else
                    r->editingTextChanged(value);
                recordEdits << edit;
                editedRanges.append({ f->offset, f->offset + f->size });
                continue;
            }
            bool found = false;
            for (const StateField &s : StateFields) {
                if (name == QLatin1String(s.name)) {
                    HwSetting *r = row(tab, s.row);
                    const bool now = r->property("boolPosition").toInt() != 0;
                    r->boolValueUpdated(!now);
                    expectedState[s.byte] = now ? 0 : 1;
                    found = true;
                }
            }
            QVERIFY2(found, qPrintable(edit));
        }
        QVERIFY(tab->hasPendingChanges());
        QVERIFY(!tab->hasValueErrors());
        QVERIFY(recordWriter(QStringList{ QStringLiteral("edit"), sent, expected } + recordEdits));

        QSignalSpy rebuilt(tab, &HwSettingsTab::SettingsChanged);
        tab->applySettings();
        QVERIFY(waitFor([&] { return wifiCodes(sim, mark).contains(99) && rebuilt.count() > 0; },
                        15000));
        QCOMPARE(wifiCodes(sim, mark), codes);

        // The record the device received differs from what it sent only inside the edited
        // fields ...
        for (int offset : differingOffsets(sent, device)) {
            bool inside = false;
            for (const auto &[begin, end] : editedRanges)
                inside = inside || (offset >= begin && offset < end);
            QVERIFY2(inside, qPrintable(QStringLiteral("byte %1 changed").arg(offset)));
        }
        QCOMPARE(differingOffsets(sent, device).isEmpty(), recordEdits.isEmpty());
        // ... and is exactly the record the layout's writer makes from the edits.
        QVERIFY2(sameFiles(expected, device), "received record differs from the expected one");

        const QString state = sim.command(QStringLiteral("get_state"))
                                  .value(QStringLiteral("state"))
                                  .toObject()
                                  .value(QStringLiteral("wifi_state"))
                                  .toString();
        QCOMPARE(state, QString::fromLatin1(expectedState.toHex()));

        // The rebuilt tab shows what the device now holds, and nothing is pending.
        QVERIFY(waitFor([&] { return !tab->hasPendingChanges(); }, 5000));
        for (const QString &edit : recordEdits) {
            const Field *f = field(edit.section(QLatin1Char('='), 0, 0));
            if (f->size > 1)
                QCOMPARE(row(tab, f->row)->getStringValue(), edit.section(QLatin1Char('='), 1));
        }
    }
};

QTEST_GUILESS_MAIN(TestPeltoSettingsEndToEnd)
#include "tst_peltoSettingsEndToEnd.moc"
