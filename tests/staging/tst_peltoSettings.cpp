#include "DatalinkCommChannel.h"
#include "ErrorHandler.h"
#include "FakeDataLink.h"
#include "HardwareSettings.h"
#include "HwSettingsGUI.h"
#include "Pelto.h"
#include "PeltoSettings.h"
#include "TestSupport.h"
#include "WifiSettingsRows.h"

#include <QPointer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#include <memory>

using namespace nimbrel::test;

namespace {

QByteArray controlReply(quint16 code, quint8 response, const QByteArray &payload)
{
    QByteArray m(5, '\0');
    qToLittleEndian<quint16>(quint16(5 + payload.size()), m.data());
    qToLittleEndian<quint16>(code, m.data() + 2);
    m[4] = char(response);
    return m + payload;
}

// The Wi-Fi codes (96..105) of the channel-1 requests a link carried from `from` on, with their
// payloads.
struct Request
{
    int code;
    QByteArray payload;
};
QList<Request> wifiRequests(const FakeDataLink &link, qsizetype from = 0)
{
    QList<Request> out;
    for (qsizetype i = from; i < link.sent.size(); ++i) {
        const QByteArray &frame = link.sent[i].frame;
        if (link.sent[i].channel != 1 || frame.size() < 11)
            continue;
        const int code = qFromLittleEndian<quint16>(frame.constData() + 8);
        if (code >= 96 && code <= 105)
            out.append({ code, frame.mid(11) });
    }
    return out;
}
QList<int> codesOf(const QList<Request> &requests)
{
    QList<int> codes;
    for (const Request &r : requests)
        codes << r.code;
    return codes;
}

QByteArray randomRecord()
{
    QByteArray record(404, '\0');
    for (char &c : record)
        c = char(QRandomGenerator::global()->bounded(256));
    record.replace(0, 8, QByteArray("Lab\0\xF1\xF2\xF3\xF4", 8));
    record[239] = 0;
    record.replace(308, 4, QByteArray("\xC0\xA8\x00\x01", 4)); // 192.168.0.1
    record.replace(324, 4, QByteArray("\xFF\xFF\xFF\x00", 4));
    record.replace(340, 4, QByteArray("\xC0\xA8\x00\xFE", 4));
    return record;
}

// A Pelto (identified, connected) on a fake link, and the settings back end for it.
struct Rig
{
    std::unique_ptr<OrvDevice> generic
        = std::make_unique<OrvDevice>(static_cast<QObject *>(nullptr));
    FakeDataLink *link = new FakeDataLink(AbstractDataLink::USB);
    std::unique_ptr<Pelto> pelto;
    HardwareSettings hardware{ nullptr };

    Rig()
    {
        generic->addDatalink(link);
        QMetaObject::invokeMethod(
            generic.get(), "setDeviceInfo", Qt::DirectConnection,
            Q_ARG(QString, QStringLiteral("PX0001")), Q_ARG(dlComm::Type, dlComm::Type(1)),
            Q_ARG(AbstractDataLink::LinkType, AbstractDataLink::USB), Q_ARG(int32_t, 0));
        pelto = std::make_unique<Pelto>(generic.get());
        pelto->setPollInterval(3600 * 1000);
        auto *manager = pelto->property("datalinkManager").value<DatalinkManager *>();
        manager->setTimings({ 3600 * 1000, 3600 * 1000, 3600 * 1000 });
        pelto->setActiveDatalinkUsb();
        manager->handleSetActiveDatalinkReceived(AbstractDataLink::USB, true);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        link->sent.clear();
        hardware.setOrvDevice(pelto.get());
    }
    ~Rig()
    {
        hardware.setOrvDevice(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    PeltoSettings *settings() const
    {
        return qobject_cast<PeltoSettings *>(hardware.deviceSettings());
    }
    HwSettingsGUI *gui() const { return hardware.settingsGui(); }
    void answer(quint16 code, quint8 response, const QByteArray &payload)
    {
        link->injectFrame(1, controlReply(code, response, payload));
    }
    void answerAll(const QByteArray &record, const QByteArray &state, qint32 power = 12)
    {
        QByteArray p(4, '\0');
        qToLittleEndian<qint32>(power, p.data());
        answer(99, 2, record);
        answer(97, 2, state);
        answer(105, 2, p);
    }
    // Shows the screen (which queries the device) and answers.
    HwSettingsTab *open(const QByteArray &record, const QByteArray &state)
    {
        gui()->setVisibility(true);
        if (!QTest::qWaitFor([this] { return wifiRequests(*link).size() >= 3; }, scaled(5000)))
            return nullptr;
        answerAll(record, state);
        return gui()->tab(settings()->wifiTab());
    }
};

} // namespace

class TestPeltoSettings : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        ErrorHandler::instance()->clearNotifications();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The rows show the record as the layout has it: texts up to their zero byte, addresses in
    // network byte order, the state bytes in their places.
    void tabShowsTheRecords()
    {
        Rig rig;
        QVERIFY(rig.settings());
        const QByteArray record = randomRecord();
        HwSettingsTab *tab = rig.open(record, QByteArray("\x01\x00\x01", 3));
        QVERIFY(tab);
        QCOMPARE(codesOf(wifiRequests(*rig.link)), (QList<int>{ 99, 97, 105 }));
        QCOMPARE(tab->getName(), QStringLiteral("Pelto"));
        QCOMPARE(tab->getSettingsList().size(), 16);
        QCOMPARE(row(tab, NameRow)->getStringValue(), QStringLiteral("Lab"));
        QCOMPARE(row(tab, StaticIpRow)->getStringValue(), QStringLiteral("192.168.0.1"));
        QCOMPARE(row(tab, SubnetMaskRow)->getStringValue(), QStringLiteral("255.255.255.0"));
        QCOMPARE(row(tab, GatewayRow)->getStringValue(), QStringLiteral("192.168.0.254"));
        QCOMPARE(row(tab, WifiEnabledRow)->property("boolPosition").toInt(), 1);
        QCOMPARE(row(tab, AccessPointEnabledRow)->property("boolPosition").toInt(), 0);
        QCOMPARE(row(tab, StationEnabledRow)->property("boolPosition").toInt(), 1);
        QCOMPARE(row(tab, HiddenSsidRow)->getName(), QStringLiteral("Hidden SSID"));
        QVERIFY(row(tab, StationPasswordRow)->property("isPassword").toBool());
        QCOMPARE(rig.settings()->transmitPower(), 12);
        QCOMPARE(
            QByteArray(
                reinterpret_cast<const char *>(rig.settings()->settingsRecord().bytes.data()), 404),
            record);
    }

    // Apply sends the whole record only when a record row changed, the state only when a state
    // row changed, and always asks for the settings after.
    void applySendsWhatChanged_data()
    {
        QTest::addColumn<QList<int>>("edits"); // rows toggled (Bool) or edited (others)
        QTest::addColumn<QList<int>>("codes");
        QTest::newRow("hidden SSID only") << QList<int>{ HiddenSsidRow } << QList<int>{ 98, 99 };
        QTest::newRow("Wi-Fi enabled only") << QList<int>{ WifiEnabledRow } << QList<int>{ 96, 99 };
        QTest::newRow("static IP and access point")
            << QList<int>{ StaticIpRow, AccessPointEnabledRow } << QList<int>{ 98, 96, 99 };
        QTest::newRow("nothing") << QList<int>{} << QList<int>{ 99 };
    }
    void applySendsWhatChanged()
    {
        QFETCH(QList<int>, edits);
        QFETCH(QList<int>, codes);
        Rig rig;
        const QByteArray record = randomRecord();
        const QByteArray state("\x01\x00\x01", 3);
        HwSettingsTab *tab = rig.open(record, state);
        QVERIFY(tab);
        QByteArray expectedRecord = record;
        QByteArray expectedState = state;
        for (int index : edits) {
            HwSetting *r = row(tab, index);
            if (r->property("type").toInt() == HwSetting::Bool) {
                r->boolValueUpdated(!r->property("boolPosition").toBool());
            } else {
                r->editingTextChanged(QStringLiteral("10.1.2.3"));
            }
        }
        if (edits.contains(HiddenSsidRow))
            expectedRecord[239] = 1;
        if (edits.contains(StaticIpRow))
            expectedRecord.replace(308, 4, QByteArray("\x0A\x01\x02\x03", 4));
        if (edits.contains(WifiEnabledRow))
            expectedState[0] = 0;
        if (edits.contains(AccessPointEnabledRow))
            expectedState[1] = 1;
        QCOMPARE(tab->hasPendingChanges(), !edits.isEmpty());

        const qsizetype mark = rig.link->sent.size();
        tab->applySettings();
        QTRY_COMPARE_WITH_TIMEOUT(codesOf(wifiRequests(*rig.link, mark)), codes, scaled(5000));
        for (const Request &r : wifiRequests(*rig.link, mark)) {
            if (r.code == 98)
                QCOMPARE(r.payload, expectedRecord);
            if (r.code == 96)
                QCOMPARE(r.payload, expectedState);
        }
        QTRY_VERIFY(!tab->hasPendingChanges());
    }

    // One lost reply: the next query still goes out once the answers are overdue, and at once
    // when the user refreshes.
    void lostReplyDoesNotDeafen_data()
    {
        QTest::addColumn<bool>("byRefresh");
        QTest::newRow("time-out") << false;
        QTest::newRow("refresh") << true;
    }
    void lostReplyDoesNotDeafen()
    {
        QFETCH(bool, byRefresh);
        Rig rig;
        HwSettingsTab *tab = rig.open(randomRecord(), QByteArray("\x01\x00\x01", 3));
        QVERIFY(tab);
        rig.settings()->setQueryTimeoutMs(byRefresh ? 3600 * 1000 : scaled(300));

        qsizetype mark = rig.link->sent.size();
        rig.settings()->querySettings(-1);
        QTRY_COMPARE(codesOf(wifiRequests(*rig.link, mark)), (QList<int>{ 99, 97, 105 }));
        rig.answer(99, 2, randomRecord());
        rig.answer(105, 2, QByteArray(4, '\0')); // 97 never answered

        mark = rig.link->sent.size();
        rig.settings()->querySettings(-1); // still waiting: nothing goes out
        QCoreApplication::processEvents();
        QCOMPARE(codesOf(wifiRequests(*rig.link, mark)), QList<int>{});

        if (byRefresh) {
            tab->refresh();
        } else {
            QTest::qWait(scaled(400));
            rig.settings()->querySettings(-1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(codesOf(wifiRequests(*rig.link, mark)),
                                  (QList<int>{ 99, 97, 105 }), scaled(5000));
        QSignalSpy rebuilt(tab, &HwSettingsTab::SettingsChanged);
        rig.answerAll(randomRecord(), QByteArray("\x00\x00\x00", 3));
        QVERIFY(rebuilt.count() > 0);
        QCOMPARE(row(tab, WifiEnabledRow)->property("boolPosition").toInt(), 0);
    }

    // A failed answer warns and the tab is built from what was held before.
    void failedAnswerWarns()
    {
        Rig rig;
        HwSettingsTab *tab = rig.open(randomRecord(), QByteArray("\x01\x01\x00", 3));
        QVERIFY(tab);
        QCOMPARE(ErrorHandler::instance()->getNotificationCount(), 0u);
        rig.settings()->querySettings(-1);
        QTRY_COMPARE(codesOf(wifiRequests(*rig.link)).size(), 6);
        QSignalSpy rebuilt(tab, &HwSettingsTab::SettingsChanged);
        rig.answer(99, 2, randomRecord());
        rig.answer(97, 4, QByteArray(3, '\0'));
        rig.answer(105, 2, QByteArray(4, '\0'));
        QVERIFY(rebuilt.count() > 0);
        QCOMPARE(row(tab, AccessPointEnabledRow)->property("boolPosition").toInt(), 1);
        const auto list = ErrorHandler::instance()->getNotificationList();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.first()->property("title").toString(),
                 QStringLiteral("Retrieve data failed"));
        QCOMPARE(list.first()->property("message").toString(),
                 QStringLiteral("Could not retrieve current settings from Pelto"));
    }

    // Static addressing needs all three addresses or none.
    void staticAddressesAllOrNone()
    {
        Rig rig;
        QByteArray record = randomRecord();
        record.replace(308, 48, QByteArray(48, '\0'));
        HwSettingsTab *tab = rig.open(record, QByteArray("\x01\x00\x01", 3));
        QVERIFY(tab);
        HwSetting *ip = row(tab, StaticIpRow);
        HwSetting *mask = row(tab, SubnetMaskRow);
        HwSetting *gateway = row(tab, GatewayRow);
        QCOMPARE(ip->getStringValue(), QString());
        ip->editingTextChanged(QStringLiteral("192.168.0.7"));
        QCOMPARE(ip->getFieldState(), HwSetting::Changed);
        QCOMPARE(mask->getFieldState(), HwSetting::Error);
        QCOMPARE(gateway->getFieldState(), HwSetting::Error);
        QVERIFY(tab->hasValueErrors());
        mask->editingTextChanged(QStringLiteral("255.255.255.0"));
        gateway->editingTextChanged(QStringLiteral("192.168.0.1"));
        QVERIFY(!tab->hasValueErrors());
        for (HwSetting *r : { gateway, mask, ip })
            r->editingTextChanged(QString());
        QVERIFY(!tab->hasValueErrors());
        QVERIFY(!tab->hasPendingChanges());
    }

    // Another family leaves the back end and its tab; no device takes both away.
    void deviceChanges()
    {
        Rig rig;
        HwSettingsTab *tab = rig.open(randomRecord(), QByteArray("\x01\x00\x01", 3));
        QVERIFY(tab);
        QPointer<DeviceSettings> backEnd = rig.hardware.deviceSettings();
        OrvDevice halvex(static_cast<QObject *>(nullptr));
        QMetaObject::invokeMethod(
            &halvex, "setDeviceInfo", Qt::DirectConnection,
            Q_ARG(QString, QStringLiteral("HX0001")), Q_ARG(dlComm::Type, dlComm::Type(2)),
            Q_ARG(AbstractDataLink::LinkType, AbstractDataLink::USB), Q_ARG(int32_t, 0));
        QCOMPARE(halvex.getDeviceType(), OrvDevice::Halvex);
        rig.hardware.setOrvDevice(&halvex);
        QCoreApplication::processEvents();
        QCOMPARE(rig.hardware.deviceSettings(), backEnd.data());
        QCOMPARE(rig.gui()->tab(0), tab);

        QPointer<HwSettingsTab> gone = tab;
        rig.hardware.setOrvDevice(nullptr);
        QTRY_VERIFY(backEnd.isNull());
        QTRY_VERIFY(gone.isNull());
        QVERIFY(!rig.gui()->tab(0));
    }

    // A back end replaced by the next one takes only its own tab: the new back end's tab, built
    // before the old one is gone, stays with its rows.
    void replacedBackEndLeavesTheNewTab()
    {
        Rig rig;
        QVERIFY(rig.open(randomRecord(), QByteArray("\x01\x00\x01", 3)));
        QPointer<DeviceSettings> old = rig.hardware.deviceSettings();
        rig.hardware.setOrvDevice(rig.pelto.get());
        PeltoSettings *next = rig.settings();
        QVERIFY(next && next != old);
        ControlChannel::WifiSettings record;
        record.bytes[0] = 'N';
        next->wifiSettingsReceived(ControlChannel::Answer, record);
        next->wifiStateReceived(ControlChannel::Answer, {});
        next->wifiTxPowerReceived(ControlChannel::Answer, 0);
        QPointer<HwSettingsTab> tab = rig.gui()->tab(next->wifiTab());
        QVERIFY(tab);
        QPointer<HwSetting> name = row(tab, NameRow);
        QCOMPARE(name->getStringValue(), QStringLiteral("N"));
        QTRY_VERIFY(old.isNull());
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(tab);
        QVERIFY(name);
        QCOMPARE(rig.gui()->tab(next->wifiTab()), tab.data());
    }
};

QTEST_GUILESS_MAIN(TestPeltoSettings)
#include "tst_peltoSettings.moc"
