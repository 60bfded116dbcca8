#include "HwSettingsGUI.h"
#include "TestSupport.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <array>
#include <cstring>

Q_DECLARE_METATYPE(HwSetting::FieldState)

namespace {

// A text field of `Width` bytes between two guard areas, so a write past either end shows.
template<int Width> struct GuardedField
{
    std::array<char, 16> before;
    std::array<char, Width> field;
    std::array<char, 16> after;

    explicit GuardedField(const QByteArray &initial)
    {
        before.fill('\xA5');
        after.fill('\x5A');
        field.fill('\0');
        std::memcpy(field.data(), initial.constData(),
                    size_t(qMin<qsizetype>(initial.size(), Width)));
    }
    QByteArray bytes() const { return QByteArray(field.data(), Width); }
    bool guardsIntact() const
    {
        for (char c : before)
            if (c != '\xA5')
                return false;
        for (char c : after)
            if (c != '\x5A')
                return false;
        return true;
    }
};

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestHwSetting : public QObject
{
    Q_OBJECT

private slots:
    // The one rule for address texts, and the bytes the record gets for them (network byte order;
    // a leading zero is decimal, never octal).
    void ipAddressRows_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("passes");
        QTest::addColumn<QByteArray>("stored");
        const QByteArray zero(4, '\0');
        QTest::newRow("192.168.0.1") << "192.168.0.1" << true << QByteArray("\xC0\xA8\x00\x01", 4);
        QTest::newRow("010.1.1.1 is ten")
            << "010.1.1.1" << true << QByteArray("\x0A\x01\x01\x01", 4);
        QTest::newRow("0.0.0.0") << "0.0.0.0" << true << zero;
        QTest::newRow("255.255.255.0")
            << "255.255.255.0" << true << QByteArray("\xFF\xFF\xFF\x00", 4);
        QTest::newRow("empty") << "" << true << zero;
        QTest::newRow("three parts") << "192.168.0" << false << zero;
        QTest::newRow("256") << "1.2.3.256" << false << zero;
        QTest::newRow("empty part") << "1..2.3" << false << zero;
        QTest::newRow("00") << "00.1.1.1" << false << zero;
        QTest::newRow("negative") << "-1.2.3.4" << false << zero;
        QTest::newRow("five parts") << "1.2.3.4.5" << false << zero;
        QTest::newRow("trailing dot") << "1.2.3.4." << false << zero;
        QTest::newRow("space") << " 1.2.3.4" << false << zero;
        QTest::newRow("hex") << "0x1.2.3.4" << false << zero;
    }
    void ipAddressRows()
    {
        QFETCH(QString, text);
        QFETCH(bool, passes);
        QFETCH(QByteArray, stored);

        alignas(4) std::array<uint8_t, 12> record;
        record.fill(0xEE);
        const uint8_t initial[] = { 10, 0, 0, 9 };
        std::memcpy(record.data() + 4, initial, 4);
        QObject tab;
        HwSetting row(&tab, QStringLiteral("Static IP"),
                      reinterpret_cast<uint32_t *>(record.data() + 4), nullptr, nullptr);
        QCOMPARE(row.getStringValue(), QStringLiteral("10.0.0.9"));

        row.editingValueFinished(text);
        QCOMPARE(row.getFieldState(), passes ? HwSetting::Changed : HwSetting::Error);
        QCOMPARE(row.getStringValue(), text);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(record.data() + 4), 4), stored);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(record.data()), 4),
                 QByteArray(4, '\xEE'));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(record.data() + 8), 4),
                 QByteArray(4, '\xEE'));

        uint32_t value = 0;
        QCOMPARE(HwSetting::parseIpv4(text, &value), passes && !text.isEmpty());
    }

    // Text rows write at most the field's width in bytes, never cut a character, zero-fill the
    // rest; the length check counts bytes, the password minimum characters.
    void stringRows_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("state");
        QTest::addColumn<QByteArray>("stored");
        const auto field = [](const char *utf8) {
            QByteArray b(utf8);
            return b + QByteArray(16 - b.size(), '\0');
        };
        QTest::newRow("short") << "SSID"
                               << "lab" << int(HwSetting::Changed) << field("lab");
        QTest::newRow("full width, no zero")
            << "SSID"
            << "0123456789abcdef" << int(HwSetting::Changed) << QByteArray("0123456789abcdef");
        QTest::newRow("one byte too long")
            << "SSID"
            << "0123456789abcdefg" << int(HwSetting::Error) << QByteArray("0123456789abcdef");
        QTest::newRow("8 umlauts fill 16 bytes")
            << "SSID" << QString::fromUtf8("ääääääää") << int(HwSetting::Changed)
            << QByteArray("ääääääää");
        QTest::newRow("9 umlauts are 18 bytes: cut to 8, error")
            << "SSID" << QString::fromUtf8("äääääääää") << int(HwSetting::Error)
            << QByteArray("ääääääää");
        QTest::newRow("cut before a two-byte character")
            << "SSID" << QString::fromUtf8("0123456789abcdeä") << int(HwSetting::Error)
            << field("0123456789abcde");
        QTest::newRow("cut before a four-byte character")
            << "SSID" << QString::fromUtf8("0123456789abc\U0001F600") << int(HwSetting::Error)
            << field("0123456789abc");
        QTest::newRow("password of 7") << "Password"
                                       << "1234567" << int(HwSetting::Error) << field("1234567");
        QTest::newRow("password of 8")
            << "Password"
            << "12345678" << int(HwSetting::Changed) << field("12345678");
        QTest::newRow("password of 8 non-ASCII characters")
            << "Password" << QString::fromUtf8("ßßßßßßßß") << int(HwSetting::Changed)
            << QByteArray("ßßßßßßßß");
        QTest::newRow("back to the accepted text")
            << "SSID"
            << "old" << int(HwSetting::Unchanged) << field("old");
    }
    void stringRows()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(int, state);
        QFETCH(QByteArray, stored);

        GuardedField<16> record("old");
        QObject tab;
        HwSetting row(&tab, name, record.field.data(), 16, name == QLatin1String("Password"),
                      nullptr, nullptr);
        QCOMPARE(row.getStringValue(), QStringLiteral("old"));
        row.editingValueFinished(text);
        QCOMPARE(int(row.getFieldState()), state);
        QCOMPARE(record.bytes(), stored);
        QVERIFY(record.guardsIntact());
        // What the field now holds reads back within the field, terminator or not.
        row.setGuiValues();
        QCOMPARE(row.getStringValue().toUtf8(),
                 QByteArray(stored.constData(), qstrnlen(stored.constData(), 16)));
    }

    void fullFieldReadsWithinItsWidth()
    {
        GuardedField<8> record("ABCDEFGH");
        QObject tab;
        HwSetting row(&tab, QStringLiteral("Name"), record.field.data(), 8, false, nullptr,
                      nullptr);
        QCOMPARE(row.getStringValue(), QStringLiteral("ABCDEFGH"));
    }

    void untouchedEmptyPasswordStaysUnchanged()
    {
        GuardedField<64> record("");
        QObject tab;
        HwSetting row(&tab, QStringLiteral("Password"), record.field.data(), 64, true, nullptr,
                      nullptr);
        row.editingValueFinished(QString());
        QCOMPARE(row.getFieldState(), HwSetting::Unchanged);
    }

    void typingBackReturnsToUnchanged()
    {
        GuardedField<16> record("lab");
        QObject tab;
        HwSetting row(&tab, QStringLiteral("SSID"), record.field.data(), 16, false, nullptr,
                      nullptr);
        QSignalSpy pending(&row, &HwSetting::ValuePendingChanged);
        QSignalSpy states(&row, &HwSetting::FieldStateChanged);
        row.editingTextChanged(QStringLiteral("labs"));
        QVERIFY(row.hasPending());
        row.editingTextChanged(QStringLiteral("lab"));
        QCOMPARE(row.getFieldState(), HwSetting::Unchanged);
        QCOMPARE(pending.count(), 2);
        QCOMPARE(states.count(), 2);
        QCOMPARE(record.bytes(), QByteArray("lab") + QByteArray(13, '\0'));
    }

    void boolRowToggledTwiceIsUnchanged()
    {
        uint8_t field = 0;
        QObject tab;
        HwSetting row(&tab, QStringLiteral("Hidden SSID"), &field, nullptr, nullptr);
        QSignalSpy pending(&row, &HwSetting::ValuePendingChanged);
        QSignalSpy values(&row, &HwSetting::ValueChanged);
        row.boolValueUpdated(true);
        QCOMPARE(field, 1);
        QCOMPARE(row.getFieldState(), HwSetting::Changed);
        QCOMPARE(row.property("boolPosition").toInt(), 1);
        row.boolValueUpdated(false);
        QCOMPARE(field, 0);
        QCOMPARE(row.getFieldState(), HwSetting::Unchanged);
        QCOMPARE(pending.count(), 2);
        QCOMPARE(values.count(), 0);
    }

    // A validator's verdict overrides the type check; siblings are re-validated on every keystroke.
    void siblingsAreRevalidated()
    {
        alignas(4) std::array<uint32_t, 2> fields{};
        QObject tab;
        struct Group : QObject
        {
            QList<HwSetting *> rows;
        } group;
        const HwSettingValidator allOrNone
            = [](QObject *owner, HwSetting *row, std::string *error) {
                  const auto *g = static_cast<Group *>(owner);
                  if (!row->getStringValue().isEmpty())
                      return true;
                  for (const HwSetting *r : g->rows)
                      if (!r->getStringValue().isEmpty()) {
                          *error = "all or none";
                          return false;
                      }
                  return true;
              };
        HwSetting a(&tab, QStringLiteral("A"), &fields[0], allOrNone, &group);
        HwSetting b(&tab, QStringLiteral("B"), &fields[1], allOrNone, &group);
        group.rows = { &a, &b };
        a.setSiblings(group.rows);
        b.setSiblings(group.rows);
        a.editingTextChanged(QStringLiteral("1.2.3.4"));
        QCOMPARE(a.getFieldState(), HwSetting::Changed);
        QCOMPARE(b.getFieldState(), HwSetting::Error);
        a.editingTextChanged(QString());
        QCOMPARE(a.getFieldState(), HwSetting::Unchanged);
        QCOMPARE(b.getFieldState(), HwSetting::Unchanged);
    }

    // Apply and Refresh: the tab relays its number, then its rows settle (queued, after the
    // relayed signal has been handled).
    void tabApplyAndRefresh()
    {
        GuardedField<16> record("lab");
        QObject owner;
        HwSettingsGUI gui(&owner);
        QCOMPARE(gui.addTab("First"), 0);
        const int t = gui.addTab("Second");
        QCOMPARE(t, 1);
        HwSetting *row = gui.addString(t, "SSID", record.field.data(), 16, false, nullptr, nullptr);
        QVERIFY(row);
        HwSettingsTab *tab = gui.tab(t);
        QSignalSpy apply(&gui, &HwSettingsGUI::Apply);
        QSignalSpy refresh(&gui, &HwSettingsGUI::Refresh);
        QSignalSpy pending(tab, &HwSettingsTab::PendingStateChanged);

        row->editingTextChanged(QStringLiteral("office"));
        QVERIFY(tab->hasPendingChanges());
        QVERIFY(!tab->hasValueErrors());
        QVERIFY(pending.count() > 0);
        bool pendingWhenApplied = false;
        connect(&gui, &HwSettingsGUI::Apply, this, [&] { pendingWhenApplied = row->hasPending(); });
        tab->applySettings();
        QCOMPARE(apply.count(), 1);
        QCOMPARE(apply.first().first().toInt(), t);
        QVERIFY(pendingWhenApplied);
        QTRY_VERIFY(!row->hasPending());
        QVERIFY(!tab->hasPendingChanges());

        row->editingTextChanged(QStringLiteral("x"));
        tab->refresh();
        QCOMPARE(refresh.count(), 1);
        QCOMPARE(refresh.first().first().toInt(), t);
        QTRY_COMPARE(row->getStringValue(), QStringLiteral("office"));
        QCOMPARE(row->getFieldState(), HwSetting::Unchanged);
    }

    void addTabReusesByName()
    {
        QObject owner;
        HwSettingsGUI gui(&owner);
        QSignalSpy tabs(&gui, &HwSettingsGUI::TabsChanged);
        QCOMPARE(gui.addTab("Pelto"), 0);
        QCOMPARE(gui.addTab("Other"), 1);
        QCOMPARE(gui.addTab("Pelto"), 0);
        QCOMPARE(gui.addTab("pelto"), 2);
        QCOMPARE(gui.property("settingsTabs").value<SettingsTabsList>().size(), 3);
        QCOMPARE(tabs.count(), 3);
        uint8_t b = 0;
        QVERIFY(!gui.addBool(3, "x", &b, nullptr, nullptr));
        QVERIFY(!gui.addSection(-1, "x"));
        QCOMPARE(gui.tab(0)->getSettingsList().size(), 0);
    }

    // A rebuilt tab does not keep its old rows alive, and rows in error go with them.
    void rebuiltTabDeletesItsRows()
    {
        QObject owner;
        HwSettingsGUI gui(&owner);
        alignas(4) uint32_t address = 0;
        int t = gui.addTab("Pelto");
        QPointer<HwSetting> section = gui.addSection(t, "General settings");
        QPointer<HwSetting> row = gui.addIpAddress(t, "Static IP", &address, nullptr, nullptr);
        row->editingTextChanged(QStringLiteral("1.2.3"));
        HwSettingsTab *tab = gui.tab(t);
        QVERIFY(tab->hasValueErrors());
        QSignalSpy errors(tab, &HwSettingsTab::ValueErrorStateChanged);

        QCOMPARE(gui.addTab("Pelto"), t);
        QVERIFY(tab->getSettingsList().isEmpty());
        QVERIFY(!tab->hasValueErrors());
        QVERIFY(errors.count() > 0);
        settle();
        QVERIFY(section.isNull());
        QVERIFY(row.isNull());
        QCOMPARE(tab->children().size(), 0);

        QPointer<HwSettingsTab> gone = tab;
        gui.deleteAllTabs();
        settle();
        QVERIFY(gone.isNull());
    }
};

QTEST_GUILESS_MAIN(TestHwSetting)
#include "tst_hwSetting.moc"
