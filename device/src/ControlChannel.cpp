#include "ControlChannel.h"

#include "ControlChannelCodec.h"
#include "Crc32.h"
#include "DatalinkManager.h"

#include <QLoggingCategory>

using namespace controlcodec;

Q_LOGGING_CATEGORY(lcControlChannel, "Device.ControlChannel")

ControlChannel::TimeDate ControlChannel::TimeDate::fromBytes(const char *data)
{
    TimeDate t;
    int32_t *fields[] = { &t.second, &t.minute,    &t.hour,      &t.dayOfMonth, &t.month,
                          &t.year,   &t.dayOfWeek, &t.dayOfYear, &t.reserved };
    for (int i = 0; i < 9; ++i)
        *fields[i] = readI32(data + 4 * i);
    return t;
}

QByteArray ControlChannel::TimeDate::toBytes() const
{
    QByteArray out(Size, '\0');
    const int32_t fields[]
        = { second, minute, hour, dayOfMonth, month, year, dayOfWeek, dayOfYear, reserved };
    for (int i = 0; i < 9; ++i)
        writeU32(out.data() + 4 * i, uint32_t(fields[i]));
    return out;
}

std::array<uint8_t, 16> ControlChannel::WifiIP::address() const
{
    std::array<uint8_t, 16> out{};
    std::copy_n(bytes.begin() + AddressOffset, out.size(), out.begin());
    return out;
}

ControlChannel::BoardInfo2 ControlChannel::BoardInfo2::fromBytes(const char *data)
{
    BoardInfo2 info;
    info.checksum = readU32(data);
    info.accessWord = readU32(data + 4);
    info.deviceType = static_cast<orvdevice::ExtendedDeviceType>(readI32(data + 8));
    info.serialLength = readU32(data + 12);
    std::copy_n(data + 16, info.serial.size(), info.serial.begin());
    return info;
}

QByteArray ControlChannel::BoardInfo2::toBytes() const
{
    QByteArray out(Size, '\0');
    writeU32(out.data(), checksum);
    writeU32(out.data() + 4, accessWord);
    writeU32(out.data() + 8, uint32_t(int32_t(deviceType)));
    writeU32(out.data() + 12, serialLength);
    std::copy(serial.begin(), serial.end(), out.data() + 16);
    return out;
}

ControlChannel::ControlChannel(QObject *parent, uint16_t channelId, bool isReliable,
                               DatalinkManager *manager)
    : AbstractService(parent, channelId, isReliable, manager)
{
    // Queued connections (the Pelto queues its requests, the settings back end its answers)
    // look these types up by name.
    qRegisterMetaType<ControlChannel::ResponseCode>("ResponseCode");
    qRegisterMetaType<ControlChannel::WifiSettings>("WifiSettings");
    qRegisterMetaType<ControlChannel::WifiState>("WifiState");
    qRegisterMetaType<ControlChannel::TimeDate>();
    qRegisterMetaType<ControlChannel::WifiIP>();
    qRegisterMetaType<ControlChannel::WifiAPInfo>();
    qRegisterMetaType<ControlChannel::ImageDetails>();
    qRegisterMetaType<ControlChannel::BoardInfo2>();
    qRegisterMetaType<ControlChannel::AppStatus>();
    qRegisterMetaType<ControlChannel::MSCStatus>();
    qRegisterMetaType<std::array<char, 16>>();

    if (manager)
        connect(manager, &DatalinkManager::isConnected, this, [this](bool connected) {
            if (connected)
                m_shortRepliesReported.clear();
        });
}

ControlChannel::~ControlChannel() = default;

// ---- requests ----

void ControlChannel::sendPacket(ControlCode cmd, ResponseCode rsp, QByteArray payload) const
{
    QByteArray message(HeaderSize, '\0');
    writeU16(message.data(), uint16_t(payload.size() + HeaderSize));
    writeU16(message.data() + 2, cmd);
    message[4] = char(rsp);
    message += payload;
    // Requests are const slots (they change nothing here); sending is a signal of the base.
    emit const_cast<ControlChannel *>(this)->write(channelId, isReliable, message);
}

void ControlChannel::sendPacket(ControlCode cmd, ResponseCode rsp) const
{
    sendPacket(cmd, rsp, QByteArray());
}

void ControlChannel::resetDevice() const
{
    sendPacket(ResetDevice, Request);
}

void ControlChannel::getFuseSerial() const
{
    sendPacket(GetFuseSerial, Request);
}

void ControlChannel::setFuseSerial(std::string_view serial) const
{
    if (serial.size() > BoardInfo2::MaxSerialLength) {
        qCWarning(lcControlChannel).nospace()
            << "setFuseSerial: serial of " << serial.size() << " bytes is longer than "
            << BoardInfo2::MaxSerialLength << "; nothing sent";
        return;
    }
    QByteArray record(28, '\0');
    std::copy(serial.begin(), serial.end(), record.data());
    writeU32(record.data() + 16, uint32_t(serial.size()));
    writeU32(record.data() + 20, ManufacturingAccessWord);
    writeU32(record.data() + 24, crc32Update(0xFFFFFFFFu, record.constData(), 24));
    sendPacket(SetFuseSerial, Request, record);
}

void ControlChannel::goToSerialDownloaderMode() const
{
    sendPacket(GoToSerialDownloaderMode, Request);
}

void ControlChannel::getDate() const
{
    sendPacket(GetDate, Request);
}

void ControlChannel::setDate(TimeDate dateTime) const
{
    sendPacket(SetDate, Request, dateTime.toBytes());
}

void ControlChannel::openCloseUpdateService(bool openService) const
{
    sendPacket(OpenCloseUpdateService, Request, QByteArray(1, openService ? '\1' : '\0'));
}

void ControlChannel::openCloseMonitoringService(bool openService) const
{
    sendPacket(OpenCloseMonitoringService, Request, QByteArray(1, openService ? '\1' : '\0'));
}

void ControlChannel::openCloseErrorChannelService(bool openService) const
{
    sendPacket(OpenCloseErrorChannelService, Request, QByteArray(1, openService ? '\1' : '\0'));
}

void ControlChannel::openCloseFileControlService(bool openService) const
{
    sendPacket(OpenCloseFileControlService, Request, QByteArray(1, openService ? '\1' : '\0'));
}

void ControlChannel::disconnectDevice() const
{
    sendPacket(DisconnectDevice, Request);
}

void ControlChannel::setFuseKeys(std::array<uint8_t, 16> aesKey,
                                 std::array<uint32_t, 8> srkKey) const
{
    QByteArray record(56, '\0');
    std::copy(aesKey.begin(), aesKey.end(), record.data());
    for (size_t i = 0; i < srkKey.size(); ++i)
        writeU32(record.data() + 16 + 4 * i, srkKey[i]);
    writeU32(record.data() + 48, FuseKeysAccessWord);
    writeU32(record.data() + 52, crc32Update(0xFFFFFFFFu, record.constData(), 52));
    sendPacket(SetFuseKeys, Request, record);
}

void ControlChannel::restoreDefaultSettings() const
{
    sendPacket(RestoreDefaultSettings, Request);
}

void ControlChannel::setBoardInfo(uint8_t rev, bool isRugged) const
{
    QByteArray record(12, '\0');
    record[0] = char(rev);
    record[1] = isRugged ? '\1' : '\0';
    writeU32(record.data() + 4, ManufacturingAccessWord);
    writeU32(record.data() + 8, crc32Update(0xFFFFFFFFu, record.constData(), 8));
    sendPacket(SetBoardInfo, Request, record);
}

void ControlChannel::getBoardInfo() const
{
    sendPacket(GetBoardInfo, Request);
}

void ControlChannel::setBoardInfo2(orvdevice::ExtendedDeviceType device_type,
                                   QString serial_number) const
{
    const QByteArray serial = serial_number.toLatin1();
    if (serial.size() > BoardInfo2::MaxSerialLength) {
        qCWarning(lcControlChannel).nospace()
            << "setBoardInfo2: serial number of " << serial.size() << " bytes is longer than "
            << BoardInfo2::MaxSerialLength << "; nothing sent";
        return;
    }
    BoardInfo2 info;
    info.accessWord = ManufacturingAccessWord;
    info.deviceType = device_type;
    info.serialLength = uint32_t(serial.size());
    std::copy(serial.begin(), serial.end(), info.serial.begin());
    QByteArray record = info.toBytes();
    writeU32(record.data(), crc32Update(0xFFFFFFFFu, record.constData() + 4, BoardInfo2::Size - 4));
    sendPacket(SetBoardInfo2, Request, record);
}

void ControlChannel::getBoardInfo2() const
{
    sendPacket(GetBoardInfo2, Request);
}

void ControlChannel::getFirmwareVersion() const
{
    sendPacket(GetFirmwareVersion, Request);
}

void ControlChannel::getAppVersion() const
{
    sendPacket(GetAppVersion, Request);
}

void ControlChannel::getESPVersion() const
{
    sendPacket(GetESPVersion, Request);
}

void ControlChannel::verifyFirmware() const
{
    sendPacket(VerifyFirmware, Request);
}

void ControlChannel::verifyESPFirmware() const
{
    sendPacket(VerifyESPFirmware, Request);
}

void ControlChannel::getFwImageDetails() const
{
    sendPacket(GetFwImageDetails, Request);
}

void ControlChannel::getExtendedAppVersion() const
{
    sendPacket(GetExtendedAppVersion, Request);
}

void ControlChannel::getMscState() const
{
    sendPacket(GetMscState, Request);
}

void ControlChannel::mscInsert() const
{
    sendPacket(MscInsert, Request);
}

void ControlChannel::mscEject() const
{
    sendPacket(MscEject, Request);
}

void ControlChannel::setWifiState(WifiState state) const
{
    sendPacket(SetWifiState, Request, recordBytes(state));
}

void ControlChannel::getWifiState() const
{
    sendPacket(GetWifiState, Request);
}

void ControlChannel::setWifiSettings(WifiSettings settings) const
{
    sendPacket(SetWifiSettings, Request, recordBytes(settings));
}

void ControlChannel::getWifiSettings() const
{
    sendPacket(GetWifiSettings, Request);
}

void ControlChannel::getWifiIP() const
{
    sendPacket(GetWifiIP, Request);
}

void ControlChannel::setWifiTxPower(int powerDbm) const
{
    QByteArray payload(4, '\0');
    writeU32(payload.data(), uint32_t(int32_t(powerDbm)));
    sendPacket(SetWifiTxPower, Request, payload);
}

void ControlChannel::getWifiTxPower() const
{
    sendPacket(GetWifiTxPower, Request);
}

void ControlChannel::getWifiAPInfo() const
{
    sendPacket(GetWifiAPInfo, Request);
}

void ControlChannel::startStopApp(bool start) const
{
    sendPacket(StartStopApp, Request, QByteArray(1, start ? '\0' : '\1'));
}

void ControlChannel::getAppStatus() const
{
    sendPacket(GetAppStatus, Request);
}

void ControlChannel::getExtModStatus() const
{
    sendPacket(GetExtModStatus, Request);
}

void ControlChannel::getCurrentBuildID() const
{
    sendPacket(GetCurrentBuildID, Request);
}

void ControlChannel::getAppName() const
{
    sendPacket(GetAppName, Request);
}

void ControlChannel::resetESPToRecovery() const
{
    sendPacket(ResetESPToRecovery, Request);
}
