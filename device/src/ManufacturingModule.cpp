#include "ManufacturingModule.h"

#include "ErrorHandler.h"
#include "ManufacturingDeviceTypeList.h"

#include <QDateTime>

ManufacturingModule::ManufacturingModule(QObject *parent)
    : QObject(parent)
    , m_deviceTypes(new ManufacturingDeviceTypeList(this))
{
}

void ManufacturingModule::BurnFuses(QString, orvdevice::ExtendedDeviceType) {}

void ManufacturingModule::importKeysFromFolder(QUrl) {}

bool ManufacturingModule::isValidSerial(QString serial) const
{
    static const QString allowed = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    if (serial.size() != 8 || serial.front() != QLatin1Char('P'))
        return false;
    return std::all_of(serial.cbegin(), serial.cend(),
                       [](QChar c) { return allowed.contains(c); });
}

void ManufacturingModule::setDevice(const OrvDevice *) {}

void ManufacturingModule::fuseSerialReceived(ControlChannel::ResponseCode,
                                             ControlChannel::BoardInfo2)
{
}

void ManufacturingModule::setFuseSerialCompleted(ControlChannel::ResponseCode response)
{
    finish(response, &ManufacturingModule::evtBurnSerialSucceeded,
           tr("Serial fuse burning failed"), tr("The burning of the serial number failed: %1"));
}

void ManufacturingModule::setFuseKeysCompleted(ControlChannel::ResponseCode response)
{
    finish(response, &ManufacturingModule::evtBurnKeysSucceeded,
           tr("Security key fuse burning failed"),
           tr("The burning of the security keys failed: %1"));
}

void ManufacturingModule::setFuseBoardInfoCompleted(ControlChannel::ResponseCode response)
{
    finish(response, &ManufacturingModule::evtBurnBoardInfoSucceeded,
           tr("Board info fuse burning failed"), tr("The burning of the board info failed: %1"));
}

void ManufacturingModule::restoreDefaultSettingsCompleted(ControlChannel::ResponseCode response)
{
    finish(response, &ManufacturingModule::evtSettingsRestored, tr("Resetting failed"),
           tr("Resetting the device to factory settings failed: %1"));
}

void ManufacturingModule::finish(ControlChannel::ResponseCode response,
                                 void (ManufacturingModule::*succeeded)(), const QString &title,
                                 const QString &text)
{
    if (int(response) == 1) {
        emit(this->*succeeded)();
        return;
    }
    emit evtOperationFailed();
    ErrorHandler::instance()->pushNotification(
        nimbrel::Error, AbstractNotification::NimbrelLab, title, text.arg(int(response)),
        tr("Manufacturing tool"), QDateTime::currentDateTimeUtc());
}
