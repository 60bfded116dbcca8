#pragma once

#include "AppFile.h"
#include "ControlChannel.h"
#include "Pelto.h"
#include "SoftwareUpdate.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QSortFilterProxyModel>
#include <QString>
#include <QStringList>
#include <QUrl>

class NotificationMsgProgressButton;
class OrvDevice;
class QFile;
class QFileSystemWatcher;

namespace qolm {
template<typename T> class QOlm;
}

namespace platform {
class Trash;
}

// The library of app binaries (QML: binManager): the app-binary files in the "AppBinaries"
// folder, kept in step with the folder, the roads by which new binaries arrive, the attached
// Pelto's state that every file reads, flashing through the Pelto's update channel and the one
// upload offer the user follows (AppBinaryOffers.cpp).
//
// Threading: GUI thread only. Ownership: the listed files are children of the library; a file
// that leaves the list is deleted unless the current offer, a waiting flash request or the
// running upload still needs it, in which case it goes once they are done with it. The device,
// its update channel and the offer's notification (owned by the hub) are only watched.
class AppBinaryManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool autoUploadState READ getAutoUploadState WRITE setAutoUpload NOTIFY
                   AutoUploadStateChanged)
    Q_PROPERTY(
        QSortFilterProxyModel *appBinaryList READ getAppBinaryList NOTIFY AppBinaryListChanged)

public:
    // `trash` (null: the system's) receives the files removeAll and the files' delete move away.
    explicit AppBinaryManager(QObject *parent = nullptr, platform::Trash *trash = nullptr);
    ~AppBinaryManager() override;

    // The board type a Pelto of that extended device type takes.
    static qint32 boardTypeFor(qint32 extendedDeviceType);

    // For tests and the screen's row count.
    qolm::QOlm<AppFile> *list() const { return m_list; }
    bool isReady() const { return m_ready; }
    QString libraryFolder() const { return m_libraryFolder.absolutePath(); }
    qint32 deviceNumber() const { return m_deviceNumber; }
    qint32 deviceBoardType() const { return m_deviceBoardType; }
    QByteArray deviceBuildId() const { return m_deviceBuildId; }
    const SoftwareUpdate *updateChannel() const { return m_updateChannel; }
    int offerKey() const { return m_offerKey; }
    int offerState() const { return m_offerState; }
    AppFile *offerFile() const { return m_offerFile; }

signals:
    void FlashAppBinSignal(QSharedPointer<QBuffer> binData);
    void AutoUploadStateChanged(bool enabled);
    void AppBinaryListChanged();
    void UploadProgressUpdated(float progress);
    void UploadStateUpdated(SoftwareUpdate::UpdateState state);
    void ConnectedDeviceUpdated();
    void DeviceFirmwareVerified(bool verified);
    void DeviceVerifiedProgressUpdated(float progress);
    void DeviceSelected(bool selected);
    void FlashQueuedAppFile();
    void FlashQueuedApbFile(QSharedPointer<QBuffer> queuedBin);
    void QueryPeltoSoftwareUpdate(bool openService);

public slots:
    void setAutoUpload(bool enabled);
    bool getAutoUploadState() const { return m_autoUpload; }
    void removeAll();
    void uploadApbBinary(const QString &binPath);
    void uploadApbBinaryUrl(const QUrl &binPath);
    void pushElfBinaryFromFile(const QString &binPath);
    void pushElfBinaryFromUri(const QString &binPath, const QString &version,
                              const QString &buildID, const QString &boardType, uint flags);
    void pushElfBinaryFromUri(const QString &binPath, const QString &version,
                              const QString &buildID, const QString &boardType);
    void handleFolderChanged();
    void setDevice(const OrvDevice *device);
    void setVisibility(bool isVisible);
    void setSortColumn(const QByteArray &column_name, Qt::SortOrder order);
    void setFilterQuery(const QString &filter_query);
    void importAppBinary(const QUrl &path);
    void setSoftwareUpdateChannel(const SoftwareUpdate *softwareUpdateChannel);
    void updateChannelStateReceived(SoftwareUpdate::UpdateState value);
    void flashApp(AppFile *self, QSharedPointer<QBuffer> binData);
    void flashApbBinary(QSharedPointer<QBuffer> binData);
    void peltoFirmwareVersionUpdated(bool verified, const QString &version, int timeoutBootTime,
                                     int remainingTime);
    void peltoFirmwareVersionUpdated(bool verified, const QString &version, int timeoutBootTime);
    void peltoFirmwareVersionUpdated(bool verified, const QString &version);
    void buildIDUpdated(const QByteArray &buildID);
    void peltoAppRunStatusUpdated(ControlChannel::AppStatus runStatus);
    void popAppBinInstance(AppFile *self);
    void handleDownloadsReady() { }
    void handleDownloadError(int index);
    QSortFilterProxyModel *getAppBinaryList() const { return m_proxy; }
    void notificationDestroyed(QObject *self);
    QString getBinaryNameByBuildID(const QByteArray &buildID) const;
    int openExplorerWindowBinaries();

private slots:
    void offeredUploadFinished();

private:
    int addBinary(const QString &path, bool autoFlash, const QString &versionText,
                  const QString &buildId, const QString &boardTypeName, uint flags, bool selected);
    int rescanBinaryFolder();
    int loadApbFile(QFile &file, QSharedPointer<QBuffer> &image);
    void watchFolder(bool watch);
    void cutUploadLinks();
    void cutQueuedFlash();
    void forgetUpdateChannel();
    void dropUnusedFiles();
    QString deviceName() const;
    ControlChannel::AppStatus deviceAppStatus() const;

    // Upload offers.
    NotificationMsgProgressButton *makeOffer(AppFile *file, const QString &title,
                                             const QString &message, const QString &button);
    void listOffer(NotificationMsgProgressButton *offer, int state);
    void offerUpload(AppFile *file);
    void offerConnectDevice(AppFile *file);
    void offerWaitVerification(AppFile *file);
    void offerStopApp(AppFile *file);
    void clearOffer();

    QFileSystemWatcher *m_watcher = nullptr;
    qolm::QOlm<AppFile> *m_list = nullptr;
    QSortFilterProxyModel *m_proxy = nullptr;
    QDir m_libraryFolder;
    QDir m_managerFolder;
    QStringList m_nameFilters{ QStringLiteral("*.napbf") };
    bool m_autoUpload = true;
    bool m_ready = false;
    bool m_visible = false;
    QPointer<Pelto> m_device;
    QPointer<SoftwareUpdate> m_updateChannel;
    qint32 m_deviceNumber = -1;
    bool m_deviceVerified = false;
    qint32 m_deviceBoardType = 0;
    QByteArray m_deviceBuildId;
    int m_offerKey = 0;
    QPointer<AppFile> m_offerFile;
    int m_offerState = 0;
    // Whether the offered file's upload really finished since the offer was made: only then does
    // the offer's end announce a completed upload.
    bool m_offerUploadFinished = false;
    QSharedPointer<QBuffer> m_queuedImage;
    int m_downloadErrorCount = 0;
    QPointer<AppFile> m_uploadingFile;
    // The file whose flash request waits for the update channel.
    QPointer<AppFile> m_queuedFile;
    QPointer<const OrvDevice> m_attached;
    QMetaObject::Connection m_stateLink;
    QMetaObject::Connection m_progressLink;
    QMetaObject::Connection m_queuedFlashLink;
    QMetaObject::Connection m_channelFlashLink;
    QMetaObject::Connection m_queryLink;
    QPointer<NotificationMsgProgressButton> m_offer;
    platform::Trash *m_trash;
};
