#pragma once

#include "AppBinaryManager.h"
#include "AppFileTestRig.h"
#include "ErrorHandler.h"
#include "NotificationMsgProgressButton.h"
#include "OrvFactory.h"
#include "Pelto.h"
#include "PeltoSimProcess.h"
#include "QOlm.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

// What the library must do with a simulated Pelto, whatever link carries it: the upload offers
// follow the device from "no device" through "firmware not verified" and "application running"
// to an upload whose image the simulator receives byte for byte as the independent oracle builds
// it.

namespace scenario {

using namespace nimbrel::test;

// The simulated Pelto starts unverified (60 of which 15 remain: 0.75 done) with its application
// running, as an industrial board.
inline QStringList simArguments(const QString &receivedImage)
{
    return { QStringLiteral("--update-image"), receivedImage,
             QStringLiteral("--ext-type"),     QStringLiteral("10"),
             QStringLiteral("--state"),        QStringLiteral("fw_verified=false"),
             QStringLiteral("--state"),        QStringLiteral("fw_timeout_boot_ms=60"),
             QStringLiteral("--state"),        QStringLiteral("fw_remaining_ms=15") };
}

inline bool setSim(PeltoSimProcess &sim, const QJsonObject &fields)
{
    return sim.command(QStringLiteral("set_state"), fields).value(QStringLiteral("ok")).toBool();
}

inline QJsonObject lastUpload(PeltoSimProcess &sim)
{
    return sim.command(QStringLiteral("status")).value(QStringLiteral("update")).toObject();
}

inline NotificationMsgProgressButton *offer(const AppBinaryManager &library)
{
    return qobject_cast<NotificationMsgProgressButton *>(
        ErrorHandler::instance()->getNotification(library.offerKey()));
}

inline bool offerIs(const AppBinaryManager &library, int state, const QString &title)
{
    const NotificationMsgProgressButton *n = offer(library);
    return library.offerState() == state && n && n->getTitle() == title;
}

inline QStringList completions()
{
    return rig::notifications().filter(QStringLiteral("Uploading new model completed"));
}

// `start` brings up the device factory (the library is linked to it by then); the factory's first
// Pelto must become the active device.
template<typename Start>
void runOfferScenario(PeltoSimProcess &sim, const QString &receivedImage, const QString &elf,
                      Start start)
{
    ErrorHandler::instance()->clearNotifications();
    AppBinaryManager library;
    QVERIFY(library.isReady());

    // No device: the upload waits for one.
    library.pushElfBinaryFromUri(elf, QStringLiteral("1.4.2"), QString(), QString());
    QVERIFY(offerIs(library, 2, QStringLiteral("Connect device to upload model")));
    QVERIFY(!offer(library)->getButtonEnabled());

    OrvFactory *factory = start();
    QVERIFY(factory);
    QObject::connect(factory, &OrvFactory::ActiveDeviceChanged, &library,
                     &AppBinaryManager::setDevice);
    const QString device = QStringLiteral("Pelto Industrial");
    QVERIFY(waitFor(
        [&] { return offerIs(library, 1, QStringLiteral("Upload model to ") + device); }, 20000));
    QVERIFY(offer(library)->getButtonEnabled());
    QCOMPARE(library.deviceBoardType(), int(AppFile::Pelto_Industrial));
    QCOMPARE(library.deviceNumber(), 0);

    // Closed by the user without an upload: no completion is announced.
    ErrorHandler::instance()->removeFromList(library.offerKey());
    QVERIFY(waitFor([&] { return library.offerKey() == 0; }, 5000));
    QCoreApplication::processEvents();
    QCOMPARE(library.offerState(), 0);
    QCOMPARE(completions(), QStringList());

    // The row's upload button while the firmware is still being verified.
    QVERIFY(waitFor([&] { return library.list()->count() == 1; }, 5000));
    library.list()->get(0)->flashAppFile();
    QVERIFY(waitFor(
        [&] { return offerIs(library, 3, device + QStringLiteral(" firmware not verified")); },
        10000));
    QCOMPARE(offer(library)->getMessage(),
             QStringLiteral("Can't upload a model to the Pelto Industrial. Wait until the "
                            "verification process is completed before uploading the model."));
    QVERIFY(!offer(library)->getButtonEnabled());
    QVERIFY(
        waitFor([&] { return offer(library) && offer(library)->getProgress() == 0.75f; }, 10000));

    // Verified: the offer to upload comes back.
    QVERIFY(setSim(sim, { { QStringLiteral("fw_verified"), true } }));
    QVERIFY(waitFor(
        [&] { return offerIs(library, 1, QStringLiteral("Upload model to ") + device); }, 10000));

    // The application runs: "Stop app" stops it on the device, and the upload is offered again.
    offer(library)->buttonPressed();
    QVERIFY(waitFor(
        [&] { return offerIs(library, 4, QStringLiteral("Application still running")); }, 10000));
    QCOMPARE(offer(library)->getButtonName(), QStringLiteral("Stop app"));
    QVERIFY(offer(library)->isModal());
    offer(library)->buttonPressed();
    QVERIFY(waitFor(
        [&] { return offerIs(library, 1, QStringLiteral("Upload model to ") + device); }, 10000));
    QCOMPARE(sim.command(QStringLiteral(
                 "get_state"))[QStringLiteral("state")][QStringLiteral("app_status")]
                 .toInt(),
             2);

    // Upload: the channel is opened on request, the image follows, the offer ends on completion.
    AppFile *file = library.offerFile();
    QVERIFY(file);
    const QString napbf = file->filePath();
    offer(library)->buttonPressed();
    QVERIFY(waitFor([&] { return !completions().isEmpty(); }, 60000));
    QCOMPARE(completions(),
             QStringList{ QStringLiteral("Uploading new model completed: The uploading process is "
                                         "finished. The Pelto Industrial will restart and load "
                                         "the new model.") });
    QCOMPARE(library.offerKey(), 0);
    QVERIFY(library.updateChannel());
    const QJsonObject upload = lastUpload(sim);
    QCOMPARE(upload.value(QStringLiteral("kind")).toString(), QStringLiteral("apb"));
    QVERIFY(upload.value(QStringLiteral("crc_ok")).toBool());

    const QString expected = receivedImage + QStringLiteral(".expected");
    const ProcessResult r = runProcess(python(),
                                       { fixturePath(QStringLiteral("flash_image_oracle.py")),
                                         napbf, QStringLiteral("1.4.2"), QStringLiteral("0"),
                                         QStringLiteral("660"), expected });
    QCOMPARE(r.out.trimmed(), QByteArray("image"));
    QByteArray oracle = rig::readAll(expected);
    oracle.append(QByteArray((4 - oracle.size() % 4) % 4, '\0'));
    QCOMPARE(rig::readAll(receivedImage).toHex(), oracle.toHex());
}

} // namespace scenario
