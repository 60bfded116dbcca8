#pragma once

#include "DeviceUpdateEntry.h"

#include <QHash>
#include <QPointer>

#include <atomic>

class Pelto;

// The update row of a Pelto, whose firmware has two components: the operating system and the
// wireless module's firmware. The operating system goes first; the wireless firmware follows after
// the restart, from the row made when the device returns.
class PeltoUpdateEntry : public DeviceUpdateEntry
{
    Q_OBJECT

public:
    PeltoUpdateEntry(QObject *parent, const OrvDevice *device, bool updateInProgress, bool visible);

    // "TorvikOS" for the board variants 13 and 18 to 23, "PeltoOS" for all others.
    static QString osComponentName(int extendedType);
    static inline const QString WirelessComponent = QStringLiteral("PeltoWireless");

    void setVisible(bool visible) override;
    bool isStartPending() const { return m_startPending; }

signals:
    void QueryPeltoSoftwareUpdate(bool openService);

public slots:
    void refresh() override;
    void peltoOSFwReceived(bool verified, QString version, int timeoutBootTime, int remainingTime);
    void peltoWirelessFwReceived(bool verified, QString version);
    void peltoAppReceived(QString version);
    void peltoBuildIDReceived(QByteArray buildID);
    void peltoNameAppReceived(QString applicationName);
    void setSoftwareUpdateChannel(const SoftwareUpdate *softwareUpdateChannel);
    void updateChannelStateReceived(SoftwareUpdate::UpdateState value);

protected:
    void startDeviceUpdate() override;
    void firmwareFileReady(QString firmware, QString version, QString filePath) override;

private:
    struct Component
    {
        QString current;
        bool received = false;
        QString latest;
        bool needsUpdate = false;
        bool verified = true;
    };
    struct DownloadedFile
    {
        QString component;
        QString version;
        QString path;
    };

    void readLatestVersions();
    void evaluateVersions();
    void uploadPendingFirmware();
    static bool isOlder(const QString &current, const QString &latest);

    QPointer<Pelto> m_pelto;
    Component m_os;
    Component m_wireless;
    QString m_osComponent;
    bool m_startPending = false;
    std::atomic<int> m_expectedFiles{ 0 };
    QHash<QString, DownloadedFile> m_downloaded;
    // The Pelto deletes its update channel without a word when the device disconnects.
    QPointer<const SoftwareUpdate> m_channel;
};
