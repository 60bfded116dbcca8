#pragma once

#include "OrvDeviceLogProducer.h"
#include "QOlm.h"

#include <QDir>
#include <QObject>
#include <QPointer>

class OrvDevice;
class QFileSystemWatcher;

namespace platform {
class DesktopShell;
class Trash;
} // namespace platform

using OrvDeviceLogProducerList = qolm::QOlm<OrvDeviceLogProducer>;

// The log library ("LogData"): one OrvDeviceLogProducer per device serial number (one folder
// each), the devices routed to them as they connect and go, and the device the log screen shows.
// Published to QML as the context property LogDownloader.
//
// Threading: GUI thread only.
class LogDownloader : public QObject
{
    Q_OBJECT
    Q_PROPERTY(OrvDeviceLogProducerList *orvDeviceLogList READ orvDeviceLogList NOTIFY
                   LogDeviceListChanged)
    Q_PROPERTY(OrvDeviceLogProducer *selectedDevice READ selectedDevice WRITE setSelectedProducer
                   NOTIFY SelectedLogDeviceChanged)

public:
    // logRoot: the "LogData" folder (made by the caller); shell and trash: the system's when
    // null.
    LogDownloader(const QDir &logRoot, QObject *parent = nullptr,
                  platform::DesktopShell *shell = nullptr, platform::Trash *trash = nullptr);
    ~LogDownloader() override;

    OrvDeviceLogProducerList *orvDeviceLogList() const { return m_producers; }
    OrvDeviceLogProducer *selectedDevice() const { return m_selected; }
    void setSelectedProducer(OrvDeviceLogProducer *producer);
    OrvDeviceLogProducer *producerFor(const QString &serialNumber) const;

    Q_INVOKABLE int openExplorerWindowLogs();

public slots:
    void orvDeviceConnected(const OrvDevice *device, bool isConnected);
    void addLogFile(const QString &filePath);
    void handleFolderChanged();
    void setSelectedDevice(const OrvDevice *device);
    void setVisibility(bool isVisible);
    void refresh();
    void setFilterQuery(const QString &filter_query);
    void removeDevice(OrvDeviceLogProducer *self);

signals:
    void LogDeviceListChanged();
    void SelectedLogDeviceChanged();

private:
    OrvDeviceLogProducer *findOrCreateProducer(const QString &serialNumber);
    void scanFolder();

    OrvDeviceLogProducerList *m_producers;
    QDir m_logRoot;
    QPointer<OrvDeviceLogProducer> m_selected;
    QFileSystemWatcher *m_watcher = nullptr;
    platform::DesktopShell *m_shell;
    platform::Trash *m_trash;
    QList<const Pelto *> m_mscWatched;
    int m_removalCounter = 0;
    bool m_visible = false;
};
