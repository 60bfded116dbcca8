#pragma once

#include "ManufacturingModule.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

class OrvDevice;
class Pelto;

// The back end of the "Develop Sandbox" page: serial-downloader reset, factory settings,
// mass-storage mode and the progress of an upload of the attached Pelto. Only develop and
// manufacturing builds make one.
class DeveloperModule : public QObject
{
    Q_OBJECT
    Q_PROPERTY(float flashUploadPercentage READ flashUploadPercentage NOTIFY UpdateProgressChanged)
    Q_PROPERTY(bool peltoAvailable READ peltoAvailable NOTIFY PeltoAvailableChanged)
    Q_PROPERTY(bool mscState READ mscState NOTIFY MscStateChanged)
    Q_PROPERTY(ManufacturingModule *manufacturing READ manufacturing CONSTANT)

public:
    explicit DeveloperModule(QObject *parent = nullptr);

    float flashUploadPercentage() const { return m_flashUploadPercentage; }
    bool peltoAvailable() const { return !m_pelto.isNull(); }
    bool mscState() const;
    ManufacturingModule *manufacturing() const { return m_manufacturing; }

    Q_INVOKABLE void fileDialog(QUrl url);
    Q_INVOKABLE void goToSerialDownloader();
    Q_INVOKABLE void setMscState(bool state);
    Q_INVOKABLE void restoreDefaultSettings();

signals:
    void FileDialogUrlReceived(QUrl url);
    void UpdateProgressChanged(float progress);
    void PeltoAvailableChanged(bool available);
    void MscStateChanged(bool state);

public slots:
    void setDevice(const OrvDevice *device);
    void updateProgressUpdated(float progress);

private:
    QPointer<Pelto> m_pelto;
    float m_flashUploadPercentage = 0;
    ManufacturingModule *m_manufacturing;
};
