// Decoding of the replies the device sends on the control channel.
#include "ControlChannel.h"

#include "ControlChannelCodec.h"

#include <QLoggingCategory>

using namespace controlcodec;

Q_DECLARE_LOGGING_CATEGORY(lcControlChannel)

namespace {

// Firmware and wireless-module versions share one layout: u32 verified, 16 text bytes, u32 boot
// time-out, u32 remaining time (the wireless module fills the last two with zero).
constexpr int VersionReplySize = 28;
constexpr int VersionTextOffset = 4;
constexpr int VersionTextSize = 16;
constexpr int AppVersionReplySize = VersionTextOffset + VersionTextSize;
constexpr int FuseSerialReplySize = 20;
constexpr int BoardInfoReplySize = 12;

bool firstByteSet(const QByteArray &payload)
{
    return !payload.isEmpty() && payload.at(0) != '\0';
}

uint8_t firstByte(const QByteArray &payload)
{
    return payload.isEmpty() ? 0 : uint8_t(payload.at(0));
}

} // namespace

void ControlChannel::dataReady(QByteArray packet)
{
    // Malformed frames are dropped without a word: the device resends nothing, and a log line per
    // damaged frame would only flood the log.
    if (packet.size() < HeaderSize)
        return;
    const uint16_t length = readU16(packet.constData());
    const uint16_t code = readU16(packet.constData() + 2);
    const auto response = static_cast<ResponseCode>(uint8_t(packet.at(4)));
    if (packet.size() < length)
        return;
    const QByteArray payload = length < HeaderSize ? packet.mid(HeaderSize)
                                                   : packet.mid(HeaderSize, length - HeaderSize);
    handleReply(code, response, payload);
}

void ControlChannel::handleReply(uint16_t code, ResponseCode response, const QByteArray &payload)
{
    const char *data = payload.constData();
    const qsizetype size = payload.size();

    switch (code) {
    case ResetDevice:
        emit ResetReceived(response);
        break;
    case GetFuseSerial: {
        std::array<char, 16> serial{};
        if (response != Answer) {
            emit GetFuseSerialReceived(response, serial);
            break;
        }
        const uint32_t length = size == FuseSerialReplySize ? readU32(data + 16) : 0;
        if (size != FuseSerialReplySize || length > serial.size()) {
            emit GetFuseSerialReceived(Failure, serial);
            break;
        }
        std::copy_n(data, length, serial.begin());
        emit GetFuseSerialReceived(response, serial);
        break;
    }
    case SetFuseSerial:
        emit SetFuseSerialReceived(response);
        break;
    case GoToSerialDownloaderMode:
        emit GoToSerialDownloaderModeReceived(response);
        break;
    case GetDate:
        if (response != Answer) {
            emit GetDateReceived(response, TimeDate());
        } else if (size < TimeDate::Size) {
            warnShortReply("Date", code, size, TimeDate::Size);
            emit GetDateReceived(Failure, TimeDate());
        } else {
            emit GetDateReceived(response, TimeDate::fromBytes(data));
        }
        break;
    case SetDate:
        emit SetDateReceived(response);
        break;
    case OpenCloseUpdateService:
    case OpenCloseMonitoringService:
    case OpenCloseErrorChannelService:
    case OpenCloseFileControlService:
        handleServiceSwitch(code, response, payload);
        break;
    case SetFuseKeys:
        emit SetFuseKeysReceived(response);
        break;
    case RestoreDefaultSettings:
        emit RestoreDefaultSettingsReceived(response);
        break;
    case SetBoardInfo:
        emit SetBoardInfoReceived(response);
        break;
    case GetBoardInfo:
        if (response != Answer)
            emit GetBoardInfoReceived(response, 0, false);
        else if (size != BoardInfoReplySize)
            emit GetBoardInfoReceived(Failure, 0, false);
        else
            emit GetBoardInfoReceived(response, uint8_t(data[0]), data[1] != '\0');
        break;
    case SetBoardInfo2:
        emit SetBoardInfo2Received(response);
        break;
    case GetBoardInfo2:
        if (response != Answer)
            emit GetBoardInfo2Received(response, BoardInfo2());
        else if (size < BoardInfo2::Size)
            emit GetBoardInfo2Received(Failure, BoardInfo2());
        else
            emit GetBoardInfo2Received(response, BoardInfo2::fromBytes(data));
        break;
    case GetFirmwareVersion:
    case GetESPVersion:
        if (response == Answer)
            handleVersion(code, payload);
        break;
    case GetAppVersion:
        if (response != Answer)
            break;
        if (size < AppVersionReplySize) {
            warnShortReply("App version", code, size, AppVersionReplySize);
            break;
        }
        emit GetAppVersionReceived(readU32(data) == 1,
                                   textUpToZero(data + VersionTextOffset, VersionTextSize));
        break;
    case VerifyFirmware:
        emit VerifyFirmwareReceived(response);
        break;
    case VerifyESPFirmware:
        qCInfo(lcControlChannel) << "ESP firmware verified";
        emit VerifyESPFirmwareReceived(response);
        break;
    case GetFwImageDetails:
        if (response != Answer)
            emit GetFwImageDetailsReceived(response, ImageDetails());
        else if (size != ImageDetails::Size)
            emit GetFwImageDetailsReceived(Failure, ImageDetails());
        else
            emit GetFwImageDetailsReceived(response, recordFrom<ImageDetails>(data));
        break;
    case GetExtendedAppVersion:
        if (response == NothingToReport)
            emit GetExtendedAppVersionReceived(true, QString());
        else if (response == Answer)
            emit GetExtendedAppVersionReceived(true, textUpToZero(data, size));
        break;
    case GetMscState:
    case MscInsert:
    case MscEject:
        handleMsc(code, response, payload);
        break;
    case SetWifiState:
        emit SetWifiStateReceived(response);
        break;
    case SetWifiSettings:
        emit SetWifiSettingsReceived(response);
        break;
    case SetWifiTxPower:
        emit SetWifiTxPowerReceived(response);
        break;
    case GetWifiState:
    case GetWifiSettings:
    case GetWifiIP:
    case GetWifiTxPower:
    case GetWifiAPInfo:
        handleFixedSizeRecord(code, response, payload);
        break;
    case StartStopApp:
    case GetAppStatus: {
        const auto status = (response == Answer || response == NothingToReport)
            ? static_cast<AppStatus>(firstByte(payload))
            : Unknown;
        if (code == StartStopApp)
            emit StartStopAppReceived(response, status);
        else
            emit GetAppStatusReceived(response, status);
        break;
    }
    case GetExtModStatus:
        emit GetExtModStatusReceived(response, response == Answer && firstByteSet(payload));
        break;
    case GetCurrentBuildID:
        if (response == NothingToReport)
            emit GetCurrentBuildIDReceived(response, QByteArray());
        else if (response == Answer)
            emit GetCurrentBuildIDReceived(response, payload);
        break;
    case GetAppName:
        if (response == NothingToReport)
            emit GetAppNameReceived(QString());
        else if (response == Answer)
            emit GetAppNameReceived(textUpToZero(data, size));
        break;
    case ResetESPToRecovery:
        emit ResetESPToRecoveryReceived(response);
        break;
    default:
        // DisconnectDevice is never answered; other codes are not part of the protocol.
        break;
    }
}

void ControlChannel::handleServiceSwitch(uint16_t code, ResponseCode response,
                                         const QByteArray &payload)
{
    auto emitFor = [this, code](ResponseCode r, bool isOpen) {
        switch (code) {
        case OpenCloseUpdateService:
            emit OpenCloseUpdateServiceReceived(r, isOpen);
            break;
        case OpenCloseMonitoringService:
            emit OpenCloseMonitoringServiceReceived(r, isOpen);
            break;
        case OpenCloseErrorChannelService:
            emit OpenCloseErrorChannelServiceReceived(r, isOpen);
            break;
        default:
            emit OpenCloseFileControlServiceReceived(r, isOpen);
            break;
        }
    };
    // A malformed answer is reported as a failure first; the device's own answer still follows,
    // so the device object learns the state the device claims.
    if (payload.size() != 1)
        emitFor(Failure, false);
    emitFor(response, firstByteSet(payload));
}

void ControlChannel::handleFixedSizeRecord(uint16_t code, ResponseCode response,
                                           const QByteArray &payload)
{
    // Nothing to report gives a zero record whatever the payload; a payload of exactly the
    // record's size gives the record; any other size is a failure. Each reply thus yields one
    // signal, and a refused request (4, usually without payload) is not swallowed.
    int expected = 0;
    switch (code) {
    case GetWifiState:
        expected = WifiState::Size;
        break;
    case GetWifiSettings:
        expected = WifiSettings::Size;
        break;
    case GetWifiIP:
        expected = WifiIP::Size;
        break;
    case GetWifiTxPower:
        expected = 4;
        break;
    default:
        expected = WifiAPInfo::Size;
        break;
    }
    const bool valid = response != NothingToReport && payload.size() == expected;
    const ResponseCode reported = response == NothingToReport || valid ? response : Failure;
    const char *data = payload.constData();

    switch (code) {
    case GetWifiState:
        emit GetWifiStateReceived(reported, valid ? recordFrom<WifiState>(data) : WifiState());
        break;
    case GetWifiSettings:
        emit GetWifiSettingsReceived(reported,
                                     valid ? recordFrom<WifiSettings>(data) : WifiSettings());
        break;
    case GetWifiIP:
        emit GetWifiIPReceived(reported, valid ? recordFrom<WifiIP>(data) : WifiIP());
        break;
    case GetWifiTxPower:
        emit GetWifiTxPowerReceived(reported, valid ? readI32(data) : 0);
        break;
    default:
        emit GetWifiAPInfoReceived(reported, valid ? recordFrom<WifiAPInfo>(data) : WifiAPInfo());
        break;
    }
}

void ControlChannel::handleVersion(uint16_t code, const QByteArray &payload)
{
    const bool firmware = code == GetFirmwareVersion;
    if (payload.size() < VersionReplySize) {
        warnShortReply(firmware ? "Firmware version" : "ESP version", code, payload.size(),
                       VersionReplySize);
        return;
    }
    const char *data = payload.constData();
    const bool verified = readU32(data) == 1;
    QString text = textUpToZero(data + VersionTextOffset, VersionTextSize);
    const QString placeholder
        = firmware ? QStringLiteral("FwVersionError") : QStringLiteral("NoESPAvailable");
    const bool isPlaceholder = text == placeholder;

    // An unverified image is verified at once; the placeholder means there is nothing to verify.
    if (!verified && !isPlaceholder)
        sendPacket(firmware ? VerifyFirmware : VerifyESPFirmware, Request);
    if (isPlaceholder)
        text.clear();

    if (firmware) {
        const int timeoutBootTime = int(readU32(data + 20));
        const int remainingTime = int(readU32(data + 24));
        emit GetFwVersionReceived(verified, text, timeoutBootTime, remainingTime);
        qCInfo(lcControlChannel).noquote()
            << "Pelto Firmware version: " << text << (verified ? "Verified" : "Verifying")
            << remainingTime / 1000 << "/" << timeoutBootTime / 1000;
    } else {
        emit GetESPVersionReceived(verified, text);
        qCInfo(lcControlChannel).noquote()
            << "ESP version: " << text << (verified ? "Verified" : "Not verified.");
    }
}

void ControlChannel::handleMsc(uint16_t code, ResponseCode response, const QByteArray &payload)
{
    MSCStatus status;
    if (response == Answer || response == NothingToReport)
        status = static_cast<MSCStatus>(firstByte(payload));
    else if (code == GetMscState)
        status = NotAttached;
    else if (code == MscInsert)
        status = AlreadyMounted;
    else
        status = NotMounted;

    if (code == GetMscState)
        emit GetMscStateReceived(response, status);
    else if (code == MscInsert)
        emit MscInsertReceived(response, status);
    else
        emit MscEjectReceived(response, status);
}

void ControlChannel::warnShortReply(const char *what, uint16_t code, qsizetype size,
                                    qsizetype needed)
{
    if (m_shortRepliesReported.contains(code))
        return;
    m_shortRepliesReported.insert(code);
    qCWarning(lcControlChannel).nospace()
        << what << " reply (control code " << code << ") too short: " << size << " of " << needed
        << " bytes; further short replies to this code go unreported until the next connection";
}
