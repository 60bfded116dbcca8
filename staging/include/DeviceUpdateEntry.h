#pragma once

#include "ExtendedDeviceType.h"
#include "OrvDevice.h"
#include "SoftwareUpdate.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariantMap>

// One connected device in the firmware update list: compares its firmware with the catalogue's
// newest release, fetches the files through the firmware cache, checks and decrypts them and hands
// them to the device's update channel. The device-specific part lives in the derived rows.
class DeviceUpdateEntry : public QObject
{
    Q_OBJECT
    Q_PROPERTY(OrvDevice::DeviceType deviceType READ getDeviceType CONSTANT)
    Q_PROPERTY(orvdevice::ExtendedDeviceType extendedDeviceType READ getExtendedDeviceType CONSTANT)
    Q_PROPERTY(QString deviceTypeString READ getDeviceTypeString CONSTANT)
    Q_PROPERTY(QString currentFwVersion READ getCurrentFwVersion NOTIFY CurrentFirmwareChanged)
    Q_PROPERTY(QString latestFwVersion READ getLatestFwVersion CONSTANT)
    Q_PROPERTY(
        QVariantMap componentVersions READ getComponentVersions NOTIFY componentVersionsChanged)
    Q_PROPERTY(bool updateAvailable READ getUpdateAvailable NOTIFY UpdatedAvailableChanged)
    Q_PROPERTY(float updateProgress READ getUpdateProgress NOTIFY UpdateProgressChanged)
    Q_PROPERTY(QString progressText READ getProgressText NOTIFY ProgressTextChanged)
    Q_PROPERTY(bool deleteButtonVisible READ getDeleteButtonVisible NOTIFY UpdateStateChanged)
    Q_PROPERTY(UpdateState updateState READ getUpdateState NOTIFY UpdateStateChanged)

public:
    enum UpdateState : int {
        NoUpdateAvailable = 0,
        UpdateAvailable = 1,
        RestartAfterUpload = 2,
        DownloadingFirmware = 3,
        UploadingFirmware = 4,
        VerifyingUpdate = 5,
        ErrorWhileUpdating = 6,
        Restarting = 7,
    };
    Q_ENUM(UpdateState)

    DeviceUpdateEntry(QObject *parent, const OrvDevice *device, bool updateInProgress,
                      bool visible);
    ~DeviceUpdateEntry() override;

    // The family name the catalogue uses for a device type and board variant; empty when the
    // updater does not support it.
    static QString familyName(OrvDevice::DeviceType type, int extendedType);

    // Key material of firmware files, built like the catalogue's from constant blocks and six seed
    // words, these from NIMBREL_FIRMWARE_SEEDS.
    static QByteArray firmwareKey();
    static QByteArray firmwareIv();

    virtual void setVisible(bool visible) = 0;

    OrvDevice::DeviceType getDeviceType() const { return m_deviceType; }
    orvdevice::ExtendedDeviceType getExtendedDeviceType() const { return m_extendedDeviceType; }
    QString getDeviceTypeString() const { return m_deviceTypeString; }
    QString getCurrentFwVersion() const { return m_currentFwVersion; }
    QString getLatestFwVersion() const { return m_latestFwVersion; }
    QVariantMap getComponentVersions() const { return m_componentVersions; }
    bool getUpdateAvailable() const { return m_updateAvailable; }
    float getUpdateProgress() const { return m_updateProgress; }
    QString getProgressText() const { return m_progressText; }
    bool getDeleteButtonVisible() const { return m_updateState == Restarting; }
    UpdateState getUpdateState() const { return m_updateState; }
    QString serialNumber() const { return m_serialNumber; }

    void setUpdateState(UpdateState state, bool keepNotification);
    void requestFirmwareDownload(const QString &firmware, const QString &version);
    void uploadFirmwareFile(const QString &firmware, const QString &version,
                            const QString &filePath, SoftwareUpdate::UpdateCommand cmd);
    void updateCurrentVersion(const QMap<QString, QString> &versions);
    void showProgressNotification(bool show);
    void reportUpdateFailure(const QString &message);
    void deviceDisconnected();

signals:
    void UploadFw(SharedBinaryPtr binary, SoftwareUpdate::UpdateCommand cmd);
    void setGlobalUpdatesCounter(int updatesAvailable);
    void CurrentFirmwareChanged(QString version);
    void LatestFirmwareChanged(QString version);
    void UpdatedAvailableChanged(bool available);
    void UpdateProgressChanged(float progress);
    void UpdateStateChanged();
    void ProgressTextChanged(QString text);
    void SetUpdateStateSignal(bool state, QString serial);
    void RequestDelete(DeviceUpdateEntry *self);
    void componentVersionsChanged();

public slots:
    virtual void refresh() = 0;
    virtual void startUpdate() { startDeviceUpdate(); }
    void setUpdateProgress(float updatePercentage);
    void firmwareDownloadReady(QString firmware, QString version, QString filePath);
    void forceDelete() { emit RequestDelete(this); }

protected:
    virtual void startDeviceUpdate() = 0;
    virtual void firmwareFileReady(QString firmware, QString version, QString filePath) = 0;

    void setUpdateAvailable(bool available);
    void setProgressText(const QString &text);
    void closeProgressNotification(bool taken);

    QString m_currentFwVersion;
    QString m_latestFwVersion;
    QString m_deviceTypeString;
    bool m_updateAvailable = false;
    bool m_inProgress = false;
    bool m_uploadStarted = false;
    bool m_visible = false;
    int m_notificationKey = 0;
    UpdateState m_updateState = NoUpdateAvailable;
    OrvDevice::DeviceType m_deviceType = OrvDevice::None;
    orvdevice::ExtendedDeviceType m_extendedDeviceType = orvdevice::ReadError;
    QString m_serialNumber;
    // The (firmware, version) pairs asked of the cache and not yet answered. The cache broadcasts
    // to every listening row, so a row takes only the answers to its own requests.
    QList<QPair<QString, QString>> m_requestedFirmware;
    float m_updateProgress = 0.0f;
    QString m_progressText = QStringLiteral("Device up-to-date");
    QVariantMap m_componentVersions;
};
