#include "FileDialogHandler.h"
#include "UriDistributor.h"

#include <QSignalSpy>
#include <QTest>

// The router and the file sorter: which link or file gives which signal with which values.
class TestUriRouting : public QObject
{
    Q_OBJECT

private slots:
    void uploadApp_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("build");
        QTest::addColumn<QString>("boardType");
        QTest::addColumn<int>("flags");
        QTest::newRow("defaults") << "nimbrel:upload_app?file=C:/bins/a.napbf"
                                  << "C:/bins/a.napbf" << "N/A" << "" << "" << 0;
        QTest::newRow("all items") << "nimbrel:upload_app?file=/b/x.elf&version=2.1&flags=7"
                                      "&build=abc&boardType=Pelto"
                                   << "/b/x.elf" << "2.1" << "abc" << "Pelto" << 7;
        QTest::newRow("percent-encoded file") << "nimbrel:upload_app?file=/my%20bins/%C3%A4.elf"
                                              << "/my bins/ä.elf" << "N/A" << "" << "" << 0;
        QTest::newRow("encoded ampersand in version")
            << "nimbrel:upload_app?file=f&version=a%26b" << "f" << "a&b" << "" << "" << 0;
        QTest::newRow("capital scheme") << "NIMBREL:upload_app?file=f" << "f" << "N/A" << ""
                                        << "" << 0;
        QTest::newRow("flags all bits") << "nimbrel:upload_app?file=f&flags=4294967295" << "f"
                                        << "N/A" << "" << "" << -1;
        QTest::newRow("flags too large") << "nimbrel:upload_app?file=f&flags=4294967296" << "f"
                                         << "N/A" << "" << "" << 0;
        QTest::newRow("flags negative") << "nimbrel:upload_app?file=f&flags=-1" << "f" << "N/A"
                                        << "" << "" << 0;
        QTest::newRow("flags hex") << "nimbrel:upload_app?file=f&flags=0x10" << "f" << "N/A"
                                   << "" << "" << 0;
        QTest::newRow("file without value") << "nimbrel:upload_app?file" << "" << "N/A" << ""
                                            << "" << 0;
    }

    void uploadApp()
    {
        QFETCH(QString, link);
        UriDistributor router;
        QSignalSpy app(&router, &UriDistributor::AppBinManagerUriReceived);
        QSignalSpy toolchain(&router, &UriDistributor::InstallToolchainUriReceived);
        router.urlReceived(QUrl(link));
        QCOMPARE(toolchain.size(), 0);
        QCOMPARE(app.size(), 1);
        const QList<QVariant> args = app.first();
        QTEST(args[0].toString(), "file");
        QTEST(args[1].toString(), "version");
        QTEST(args[2].toString(), "build");
        QTEST(args[3].toString(), "boardType");
        QTEST(args[4].value<int32_t>(), "flags");
    }

    void toolchain_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("msg");
        QTest::addColumn<int>("progress");
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("uninstall");
        QTest::newRow("install") << "nimbrel:install_tc?version=1.2.0&progress=50&flags=1"
                                 << "1.2.0" << "" << 50 << 1 << false;
        QTest::newRow("uninstall") << "nimbrel:uninstall_tc?version=1.2.0&progress=50&flags=1"
                                   << "1.2.0" << "" << 50 << 1 << true;
        QTest::newRow("message") << "nimbrel:install_tc?version=2&progress=100&flags=0&msg=done%20ok"
                                 << "2" << "done ok" << 100 << 0 << false;
        QTest::newRow("letters") << "nimbrel:install_tc?version=1&progress=abc&flags=x1"
                                 << "1" << "" << 0 << 0 << false;
        QTest::newRow("minus") << "nimbrel:install_tc?version=1&progress=-5&flags=-1" << "1"
                               << "" << 0 << 0 << false;
        QTest::newRow("empty values") << "nimbrel:install_tc?version&progress&flags" << "" << ""
                                      << 0 << 0 << false;
    }

    void toolchain()
    {
        QFETCH(QString, link);
        UriDistributor router;
        QSignalSpy spy(&router, &UriDistributor::InstallToolchainUriReceived);
        router.urlReceived(QUrl(link));
        QCOMPARE(spy.size(), 1);
        const QList<QVariant> args = spy.first();
        QTEST(args[0].toString(), "version");
        QTEST(args[1].toString(), "msg");
        QTEST(args[2].value<int32_t>(), "progress");
        QTEST(args[3].value<int32_t>(), "flags");
        QTEST(args[4].toBool(), "uninstall");
    }

    void routesNothing_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("warning"); // empty: nothing is logged as a warning
        const QString missing = QStringLiteral("query file not set");
        QTest::newRow("authority form") << "nimbrel://upload_app?file=x" << "";
        QTest::newRow("unknown command") << "nimbrel:launch?file=x" << "";
        QTest::newRow("upload without file") << "nimbrel:upload_app?version=1" << missing;
        QTest::newRow("install without flags") << "nimbrel:install_tc?version=1.2.0&progress=50"
                                               << missing;
        QTest::newRow("install without version") << "nimbrel:install_tc?progress=1&flags=1"
                                                 << missing;
        QTest::newRow("other scheme") << "https:upload_app?file=x"
                                      << "invalid url scheme passed to application, check if "
                                         "service is calling nimbrel correctly";
        QTest::newRow("invalid url") << "" << "invalid url scheme passed to application, check "
                                              "if service is calling nimbrel correctly";
    }

    void routesNothing()
    {
        QFETCH(QString, link);
        QFETCH(QString, warning);
        UriDistributor router;
        QSignalSpy app(&router, &UriDistributor::AppBinManagerUriReceived);
        QSignalSpy toolchain(&router, &UriDistributor::InstallToolchainUriReceived);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        router.urlReceived(QUrl(link));
        QCOMPARE(app.size() + toolchain.size(), 0);
    }

    void files_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("kind"); // FileDialogHandler::DataTypes, none when unrecognised
        QTest::newRow("apb") << "/bins/app.apb" << int(FileDialogHandler::apb);
        QTest::newRow("upper-case ELF") << "/bins/image.ELF" << int(FileDialogHandler::elf);
        QTest::newRow("napbf") << "/bins/a.b.napbf" << int(FileDialogHandler::napbf);
        QTest::newRow("feb") << "/fw/x.feb" << int(FileDialogHandler::feb);
        QTest::newRow("fwb") << "/fw/x.Fwb" << int(FileDialogHandler::fwb);
        QTest::newRow("none extension") << "/bins/file.none" << int(FileDialogHandler::none);
        QTest::newRow("last is no kind") << "/bins/file.last" << int(FileDialogHandler::none);
        QTest::newRow("no dot") << "/bins/elf" << int(FileDialogHandler::none);
        QTest::newRow("dot in folder") << "/bins.apb/file" << int(FileDialogHandler::none);
    }

    void files()
    {
        QFETCH(QString, path);
        QFETCH(int, kind);
        FileDialogHandler handler;
        QSignalSpy apb(&handler, &FileDialogHandler::ApbFileReceived);
        QSignalSpy elf(&handler, &FileDialogHandler::ElfFileReceived);
        QSignalSpy napbf(&handler, &FileDialogHandler::NapbfFileReceived);
        QSignalSpy feb(&handler, &FileDialogHandler::FebFileReceived);
        QSignalSpy fwb(&handler, &FileDialogHandler::FwbFileReceived);
        QSignalSpy *spies[] = {nullptr, &apb, &elf, &napbf, &feb, &fwb};
        if (kind == FileDialogHandler::none)
            QTest::ignoreMessage(QtDebugMsg, "Unrecognised file imported");
        handler.fileDialogUrlReceived(QUrl::fromLocalFile(path));
        for (int k = 1; k <= 5; ++k) {
            QCOMPARE(spies[k]->size(), k == kind ? 1 : 0);
            if (k == kind)
                QCOMPARE(spies[k]->first().first().toString(), path);
        }
    }
};

QTEST_GUILESS_MAIN(TestUriRouting)
#include "tst_uriRouting.moc"
