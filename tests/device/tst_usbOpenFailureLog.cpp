#include "TestSupport.h"
#include "UsbOpenFailureLog.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <libusb.h>

using namespace nimbrel::test;

using Device = UsbOpenFailureLog::Device;

namespace {
// One step of a discovery history: a failure to report (error != 0), a successful open
// (error == 0) or a pass that no longer sees the other devices (bus == 0: keep only `device`).
struct Step
{
    Device device;
    int error = 0;
    int expectedLines = 0;
};
} // namespace
Q_DECLARE_METATYPE(QList<Step>)

// Discovery retries a device it cannot open every second; the log says so once per device and
// error, and says what to install when the permission is missing.
class TestUsbOpenFailureLog : public QObject
{
    Q_OBJECT

private slots:
    void reportsOncePerDeviceAndError_data()
    {
        const Device a{ 1, 5 };
        const Device b{ 1, 6 };
        const Device aAgain{ 1, 9 }; // the same device plugged in again: a new address
        QTest::addColumn<QList<Step>>("steps");
        QTest::newRow("missing rule, every second") << QList<Step>{ { a, LIBUSB_ERROR_ACCESS, 2 },
                                                                    { a, LIBUSB_ERROR_ACCESS, 0 },
                                                                    { a, LIBUSB_ERROR_ACCESS, 0 } };
        QTest::newRow("two devices") << QList<Step>{ { a, LIBUSB_ERROR_ACCESS, 2 },
                                                     { b, LIBUSB_ERROR_ACCESS, 2 },
                                                     { a, LIBUSB_ERROR_ACCESS, 0 },
                                                     { b, LIBUSB_ERROR_ACCESS, 0 } };
        QTest::newRow("another error of the same device") << QList<Step>{
            { a, LIBUSB_ERROR_ACCESS, 2 }, { a, LIBUSB_ERROR_BUSY, 1 }, { a, LIBUSB_ERROR_BUSY, 0 }
        };
        QTest::newRow("opened in between")
            << QList<Step>{ { a, LIBUSB_ERROR_BUSY, 1 }, { a, 0, 0 }, { a, LIBUSB_ERROR_BUSY, 1 } };
        QTest::newRow("plugged in again")
            << QList<Step>{ { a, LIBUSB_ERROR_ACCESS, 2 }, { aAgain, LIBUSB_ERROR_ACCESS, 2 } };
        QTest::newRow("gone from the bus and back") << QList<Step>{ { a, LIBUSB_ERROR_IO, 1 },
                                                                    { Device{ 0, 0 }, 0, 0 },
                                                                    { a, LIBUSB_ERROR_IO, 1 } };
    }
    void reportsOncePerDeviceAndError()
    {
        QFETCH(QList<Step>, steps);
        UsbOpenFailureLog log;
        for (const Step &step : steps) {
            if (step.device.bus == 0) {
                log.keepOnly({});
                QCOMPARE(log.size(), std::size_t(0));
                continue;
            }
            if (step.error == 0) {
                log.opened(step.device);
                continue;
            }
            const QStringList lines
                = log.report(step.device, step.error, libusb_error_name(step.error));
            QCOMPARE(lines.size(), step.expectedLines);
            if (lines.isEmpty())
                continue;
            QVERIFY2(lines.first().startsWith(
                         QStringLiteral("error opening device: %1").arg(step.error)),
                     qPrintable(lines.first()));
            QVERIFY(lines.first().contains(QLatin1String(libusb_error_name(step.error))));
            QCOMPARE(lines.size() == 2, step.error == LIBUSB_ERROR_ACCESS);
        }
    }

    // The hint names a rule that ships in the source tree and grants what it promises.
    void accessHintNamesTheShippedRule()
    {
        const QString hint = UsbOpenFailureLog::accessHint();
        const QRegularExpressionMatch path
            = QRegularExpression(QStringLiteral("(packaging/udev/[\\w.-]+\\.rules)")).match(hint);
        QVERIFY2(path.hasMatch(), qPrintable(hint));
        QVERIFY(hint.contains(QLatin1String("/etc/udev/rules.d/")));
        QVERIFY(hint.contains(QLatin1String("udevadm control --reload-rules")));
        QFile rule(sourceDir() + QLatin1Char('/') + path.captured(1));
        QVERIFY2(rule.open(QIODevice::ReadOnly), qPrintable(rule.fileName()));
        // Sorted before 73-seat-late.rules, which turns the uaccess tag into an ACL.
        QVERIFY(QFileInfo(rule).fileName() < QStringLiteral("73-seat-late.rules"));
        QStringList matching;
        for (const QByteArray &line : rule.readAll().split('\n')) {
            if (!line.trimmed().startsWith('#') && line.contains("=="))
                matching << QString::fromUtf8(line);
        }
        QCOMPARE(matching.size(), 1);
        const QString r = matching.first();
        for (const char *key : { "SUBSYSTEM==\"usb\"", "ATTR{idVendor}==\"1fc9\"",
                                 "ATTR{idProduct}==\"828a\"", "MODE=\"0660\"", "TAG+=\"uaccess\"" })
            QVERIFY2(r.contains(QLatin1String(key)), key);
    }
};

QTEST_GUILESS_MAIN(TestUsbOpenFailureLog)
#include "tst_usbOpenFailureLog.moc"
