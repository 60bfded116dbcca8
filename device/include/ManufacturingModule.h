#pragma once

#include "ControlChannel.h"
#include "ExtendedDeviceType.h"
#include "ManufacturingDeviceTypeList.h"

#include <QObject>
#include <QString>
#include <QUrl>

class OrvDevice;

// The back end of the factory's fuse-burning panel. Only develop and manufacturing builds make
// one; burning itself is not part of this build (burnFuseAvailable stays false).
class ManufacturingModule : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool burnFuseAvailable READ burnFuseAvailable NOTIFY BurnFuseAvailableChanged)
    Q_PROPERTY(bool securityKeysLoaded READ securityKeysLoaded NOTIFY SecurityKeysLoadedChanged)
    Q_PROPERTY(QString activeState READ activeState NOTIFY activeStateChanged)
    Q_PROPERTY(const ManufacturingDeviceTypeList *possibleDeviceTypes READ possibleDeviceTypes
                   CONSTANT)

public:
    explicit ManufacturingModule(QObject *parent = nullptr);

    bool burnFuseAvailable() const { return false; }
    bool securityKeysLoaded() const { return m_securityKeysLoaded; }
    QString activeState() const { return m_activeState; }
    const ManufacturingDeviceTypeList *possibleDeviceTypes() const { return m_deviceTypes; }

    Q_INVOKABLE void BurnFuses(QString serial, orvdevice::ExtendedDeviceType devType);
    Q_INVOKABLE void importKeysFromFolder(QUrl vaultPath);
    // "P" followed by seven upper-case letters or digits.
    Q_INVOKABLE bool isValidSerial(QString serial) const;

signals:
    void BurnFuseAvailableChanged(bool available);
    void SecurityKeysLoadedChanged(bool loaded);
    void activeStateChanged();
    void fusesBurned();
    void evtStartBurning();
    void evtDeviceChanged();
    void evtSerialReceived();
    void evtNonEmptySerialReceived();
    void evtOperationFailed();
    void evtBurnSerialSucceeded();
    void evtBurnKeysSucceeded();
    void evtBurnBoardInfoSucceeded();
    void evtSettingsRestored();

public slots:
    void setDevice(const OrvDevice *device);
    void fuseSerialReceived(ControlChannel::ResponseCode response, ControlChannel::BoardInfo2 info);
    void setFuseSerialCompleted(ControlChannel::ResponseCode response);
    void setFuseKeysCompleted(ControlChannel::ResponseCode response);
    void setFuseBoardInfoCompleted(ControlChannel::ResponseCode response);
    void restoreDefaultSettingsCompleted(ControlChannel::ResponseCode response);

private:
    // Success (1) emits `succeeded`; anything else is a failure the user is told about.
    void finish(ControlChannel::ResponseCode response, void (ManufacturingModule::*succeeded)(),
                const QString &title, const QString &text);

    bool m_securityKeysLoaded = false;
    QString m_activeState;
    ManufacturingDeviceTypeList *m_deviceTypes;
};
