// The library's upload offers: one notification with a button and a progress bar that follows the
// attached Pelto (none, firmware being verified, application running, ready) until the offered
// file has been uploaded.

#include "AppBinaryManager.h"

#include "AppFile.h"
#include "ErrorHandler.h"
#include "NotificationMsgProgressButton.h"
#include "Pelto.h"

#include <QDateTime>

namespace {
const QString origin = QStringLiteral("Binary list");
} // namespace

NotificationMsgProgressButton *AppBinaryManager::makeOffer(AppFile *file, const QString &title,
                                                           const QString &message,
                                                           const QString &button)
{
    if (m_offerKey) {
        AbstractNotification *previous = ErrorHandler::instance()->takeNotification(m_offerKey);
        if (previous) {
            // Replaced, not finished: it goes without a word.
            disconnect(previous, nullptr, this, nullptr);
            emit previous->RequestDelete(previous);
        }
        m_offerKey = 0;
    }
    if (m_offer)
        disconnect(m_offer, nullptr, this, nullptr);

    auto *offer = new NotificationMsgProgressButton(
        this, nimbrel::Info, AbstractNotification::NimbrelLab, title, message, button, origin,
        QDateTime::currentDateTimeUtc());
    connect(file, &QObject::destroyed, offer, [offer] { emit offer->RequestDelete(offer); });
    connect(offer, &QObject::destroyed, this, &AppBinaryManager::notificationDestroyed);
    offer->deleteOnProgressComplete(true);
    if (file != m_offerFile)
        m_offerUploadFinished = false;
    m_offerFile = file;
    m_offer = offer;
    return offer;
}

void AppBinaryManager::listOffer(NotificationMsgProgressButton *offer, int state)
{
    m_offerState = state;
    m_offerKey = ErrorHandler::instance()->addNotification(offer);
    // The upload that started before this offer does not count for it.
    m_offerUploadFinished = false;
    if (m_offerFile)
        connect(m_offerFile, &AppFile::uploadFinished, this,
                &AppBinaryManager::offeredUploadFinished, Qt::UniqueConnection);
}

void AppBinaryManager::offeredUploadFinished()
{
    if (sender() && sender() == m_offerFile.data())
        m_offerUploadFinished = true;
}

void AppBinaryManager::clearOffer()
{
    m_offerKey = 0;
    m_offerState = 0;
}

void AppBinaryManager::offerUpload(AppFile *file)
{
    if (!file) {
        clearOffer();
        return;
    }
    NotificationMsgProgressButton *offer = makeOffer(
        file, QStringLiteral("Upload model to ") + deviceName(),
        QStringLiteral("The previous uploaded model will be replaced by the new model."),
        QStringLiteral("Upload"));
    connect(offer, &NotificationMsgProgressButton::FireButton, file, &AppFile::flashAppFile,
            Qt::QueuedConnection);
    connect(file, &AppFile::UploadProgressChanged, offer,
            &NotificationMsgProgressButton::updateProgress, Qt::QueuedConnection);
    offer->enableButton(true);
    offer->enableProgress(true);
    listOffer(offer, 1);
}

void AppBinaryManager::offerConnectDevice(AppFile *file)
{
    if (!file) {
        clearOffer();
        return;
    }
    NotificationMsgProgressButton *offer
        = makeOffer(file, QStringLiteral("Connect device to upload model"),
                    QStringLiteral("A model is available for uploading. Connect a supported device "
                                   "to upload this model."),
                    QStringLiteral("Upload"));
    connect(offer, &NotificationMsgProgressButton::FireButton, file, &AppFile::flashAppFile,
            Qt::QueuedConnection);
    connect(file, &AppFile::UploadProgressChanged, offer,
            &NotificationMsgProgressButton::updateProgress, Qt::QueuedConnection);
    connect(this, &AppBinaryManager::DeviceSelected, offer,
            &NotificationMsgProgressButton::enableButton);
    offer->enableButton(false);
    listOffer(offer, 2);
}

void AppBinaryManager::offerWaitVerification(AppFile *file)
{
    if (!file) {
        clearOffer();
        return;
    }
    const QString device = deviceName();
    NotificationMsgProgressButton *offer = makeOffer(
        file, device + QStringLiteral(" firmware not verified"),
        QStringLiteral("Can't upload a model to the ") + device
            + QStringLiteral(". Wait until the verification process is completed before "
                             "uploading the model."),
        QStringLiteral("Upload"));
    connect(this, &AppBinaryManager::DeviceFirmwareVerified, offer,
            &NotificationMsgProgressButton::enableButton);
    connect(file, &AppFile::UploadProgressChanged, offer,
            &NotificationMsgProgressButton::updateProgress, Qt::QueuedConnection);
    connect(this, &AppBinaryManager::DeviceVerifiedProgressUpdated, offer,
            &NotificationMsgProgressButton::updateProgress, Qt::QueuedConnection);
    offer->enableButton(false);
    offer->enableProgress(true);
    listOffer(offer, 3);
}

void AppBinaryManager::offerStopApp(AppFile *file)
{
    if (!file) {
        clearOffer();
        return;
    }
    NotificationMsgProgressButton *offer = makeOffer(
        file, QStringLiteral("Application still running"),
        QStringLiteral("The application is still running. Stop the application and retry again"),
        QStringLiteral("Stop app"));
    if (m_device) {
        // One link however often this offer is made: the status must not be handled twice.
        connect(m_device, &Pelto::AppStatusChanged, this,
                &AppBinaryManager::peltoAppRunStatusUpdated, Qt::UniqueConnection);
        connect(offer, &NotificationMsgProgressButton::FireButton, m_device,
                &Pelto::toggleAppState);
    }
    connect(file, &AppFile::UploadProgressChanged, offer,
            &NotificationMsgProgressButton::updateProgress, Qt::QueuedConnection);
    offer->enableButton(true);
    offer->setModal(true);
    offer->setExpanded(true);
    listOffer(offer, 4);
}

void AppBinaryManager::peltoAppRunStatusUpdated(ControlChannel::AppStatus runStatus)
{
    if (!m_offerKey || !m_device)
        return;
    if (!qobject_cast<NotificationMsgProgressButton *>(
            ErrorHandler::instance()->getNotification(m_offerKey)))
        return;
    const bool busy = runStatus == ControlChannel::Running || runStatus == ControlChannel::Stopping
        || runStatus == ControlChannel::Loading;
    if (m_offerState == 4) {
        if (!busy)
            offerUpload(m_offerFile);
    } else if (busy) {
        offerStopApp(m_offerFile);
    }
}

void AppBinaryManager::notificationDestroyed(QObject *self)
{
    // An offer that was already replaced has nothing left to say about the current one.
    if (self != m_offer.data() && !m_offer.isNull())
        return;
    m_offerKey = 0;
    if (m_offerState == 1 && m_device && m_offerUploadFinished) {
        ErrorHandler::instance()->pushNotification(
            nimbrel::Info, AbstractNotification::NimbrelLab,
            QStringLiteral("Uploading new model completed"),
            QStringLiteral("The uploading process is finished. The ") + deviceName()
                + QStringLiteral(" will restart and load the new model."),
            origin, QDateTime::currentDateTimeUtc());
    } else {
        m_offerState = 0;
    }
    m_offerFile = nullptr;
    m_offerUploadFinished = false;
    dropUnusedFiles();
}
