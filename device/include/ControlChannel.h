#pragma once

#include "AbstractService.h"
#include "ExtendedDeviceType.h"

#include <QByteArray>
#include <QMetaType>
#include <QSet>
#include <QString>

#include <array>
#include <cstdint>
#include <string_view>

// The request/reply service on the control channel (channel 1). Every request is a
// fire-and-forget slot; the device answers with a message carrying the same control code, and
// each reply is decoded by its code and raised as that code's signal, whatever the host asked.
// There is no table of outstanding requests and no time-out.
//
// Control message (both directions, little-endian): u16 length (whole message, header included),
// u16 control code, u8 response code (0 in requests), payload. One message is one frame payload.
//
// Replies whose payload is too short for what is read from it are never read beyond their
// bytes: a reply that carries a response code then reports Failure (4) with a zero record; the
// version replies, which carry no response code, are dropped like a failure answer. Every reply
// to a code with a fixed-size record yields exactly one signal.
//
// A device that answers a polled request with a short reply does so every time; the warning about
// a short reply is therefore given once per control code and connection (the link manager
// reporting a connection starts a new one), not once a second.
//
// Threading: GUI thread only. State: besides the channel number and the reliability flag, the
// codes whose short replies were reported during this connection.
class ControlChannel : public AbstractService
{
    Q_OBJECT

public:
    enum ControlCode : uint16_t {
        ResetDevice = 1,
        GetFuseSerial = 2,
        SetFuseSerial = 3,
        GoToSerialDownloaderMode = 4,
        GetDate = 6,
        SetDate = 7,
        OpenCloseUpdateService = 9,
        OpenCloseMonitoringService = 10,
        OpenCloseErrorChannelService = 11,
        OpenCloseFileControlService = 12,
        DisconnectDevice = 13,
        SetFuseKeys = 14,
        RestoreDefaultSettings = 15,
        SetBoardInfo = 16,
        GetBoardInfo = 17,
        SetBoardInfo2 = 18,
        GetBoardInfo2 = 19,
        GetFirmwareVersion = 32,
        GetAppVersion = 33,
        GetESPVersion = 34,
        VerifyFirmware = 35,
        VerifyESPFirmware = 36,
        GetFwImageDetails = 37,
        GetExtendedAppVersion = 38,
        GetMscState = 64,
        MscInsert = 65,
        MscEject = 66,
        SetWifiState = 96,
        GetWifiState = 97,
        SetWifiSettings = 98,
        GetWifiSettings = 99,
        GetWifiIP = 100,
        SetWifiTxPower = 104,
        GetWifiTxPower = 105,
        GetWifiAPInfo = 106,
        StartStopApp = 128,
        GetAppStatus = 129,
        GetExtModStatus = 130,
        GetCurrentBuildID = 131,
        GetAppName = 132,
        ResetESPToRecovery = 256,
    };
    Q_ENUM(ControlCode)

    // 0 in every request. In replies: 2 the payload holds the answer, 3 the device has nothing to
    // report, 4 failure (also produced by this channel for a reply of the wrong size). Any other
    // byte is passed on unchanged, hence the fixed underlying type.
    enum ResponseCode : uint8_t {
        Request = 0,
        Answer = 2,
        NothingToReport = 3,
        Failure = 4,
    };
    Q_ENUM(ResponseCode)

    // The device's mass-storage state.
    enum MSCStatus : uint8_t {
        AlreadyMounted = 0,
        NotMounted = 1,
        NotAttached = 2,
    };
    Q_ENUM(MSCStatus)

    // The state of the user application on the device.
    enum AppStatus : uint8_t {
        NotLoaded = 0,
        Loaded = 1,
        Stopped = 2,
        Running = 3,
        Crashed = 4,
        Paused = 5,
        Killed = 6,
        Stopping = 7,
        Loading = 8,
        Unknown = 255,
    };
    Q_ENUM(AppStatus)

    // The device's clock: nine signed 32-bit values, 36 bytes.
    struct TimeDate
    {
        static constexpr int Size = 36;
        int32_t second = 0;
        int32_t minute = 0;
        int32_t hour = 0;
        int32_t dayOfMonth = 0;
        int32_t month = 0; // 1 to 12
        int32_t year = 0; // full year
        int32_t dayOfWeek = 0; // 1 = Monday to 7 = Sunday
        int32_t dayOfYear = 0; // 1 to 366
        int32_t reserved = 0; // written as 0

        static TimeDate fromBytes(const char *data); // reads Size bytes
        QByteArray toBytes() const;
        bool operator==(const TimeDate &) const = default;
    };

    // Wi-Fi state (3 bytes) and settings (404 bytes): moved as opaque blocks; their layout belongs
    // to the Wi-Fi settings back end.
    struct WifiState
    {
        static constexpr int Size = 3;
        std::array<uint8_t, Size> bytes{};
        bool operator==(const WifiState &) const = default;
    };
    struct WifiSettings
    {
        static constexpr int Size = 404;
        std::array<uint8_t, Size> bytes{};
        bool operator==(const WifiSettings &) const = default;
    };

    // The device's Wi-Fi address, 208 bytes; only the bytes below are interpreted.
    struct WifiIP
    {
        static constexpr int Size = 208;
        static constexpr int AddressOffset = 112;
        std::array<uint8_t, Size> bytes{};
        // Nonzero byte 0: compare all 16 address bytes, else the first 4.
        bool compareFullAddress() const { return bytes[0] != 0; }
        bool isIPv6() const { return bytes[1] != 0; }
        // An IPv4 address sits in the first four bytes, network byte order; four zero bytes there
        // mean no address.
        std::array<uint8_t, 16> address() const;
        bool operator==(const WifiIP &) const = default;
    };

    // The access point the device is connected to, 44 bytes.
    struct WifiAPInfo
    {
        static constexpr int Size = 44;
        std::array<uint8_t, Size> bytes{};
        int rssi() const { return static_cast<int8_t>(bytes[41]); } // dBm
        bool operator==(const WifiAPInfo &) const = default;
    };

    // Details of the running firmware image, 12 bytes; byte 0 holds eight boot flags.
    struct ImageDetails
    {
        static constexpr int Size = 12;
        std::array<uint8_t, Size> bytes{};
        uint8_t bootFlags() const { return bytes[0]; }
        bool operator==(const ImageDetails &) const = default;
    };

    // Board information written at manufacturing, 32 bytes. The checksum is crc32Update from
    // 0xFFFFFFFF over bytes 4 to 31.
    struct BoardInfo2
    {
        static constexpr int Size = 32;
        static constexpr int MaxSerialLength = 16;
        uint32_t checksum = 0;
        uint32_t accessWord = 0;
        orvdevice::ExtendedDeviceType deviceType = orvdevice::NoShield;
        uint32_t serialLength = 0;
        std::array<char, MaxSerialLength> serial{}; // Latin-1, zero-padded

        static BoardInfo2 fromBytes(const char *data); // reads Size bytes
        QByteArray toBytes() const;
        bool operator==(const BoardInfo2 &) const = default;
    };

    // Access word the device requires in every manufacturing record.
    static constexpr uint32_t ManufacturingAccessWord = 0x5C27E190;
    static constexpr uint32_t FuseKeysAccessWord = 0x2F91C7A6;
    static constexpr int HeaderSize = 5;

    ControlChannel(QObject *parent, uint16_t channelId, bool isReliable, DatalinkManager *manager);
    ~ControlChannel() override;

signals:
    void ResetReceived(ControlChannel::ResponseCode response);
    void GetFuseSerialReceived(ControlChannel::ResponseCode response, std::array<char, 16> serial);
    void SetFuseSerialReceived(ControlChannel::ResponseCode response);
    void GoToSerialDownloaderModeReceived(ControlChannel::ResponseCode response);
    void GetDateReceived(ControlChannel::ResponseCode response, ControlChannel::TimeDate dateTime);
    void SetDateReceived(ControlChannel::ResponseCode response);
    void OpenCloseUpdateServiceReceived(ControlChannel::ResponseCode response, bool isOpen);
    void OpenCloseMonitoringServiceReceived(ControlChannel::ResponseCode response, bool isOpen);
    void OpenCloseErrorChannelServiceReceived(ControlChannel::ResponseCode response, bool isOpen);
    void OpenCloseFileControlServiceReceived(ControlChannel::ResponseCode response, bool isOpen);
    void DisconnectReceived(ControlChannel::ResponseCode response); // the device never answers
    void SetFuseKeysReceived(ControlChannel::ResponseCode response);
    void RestoreDefaultSettingsReceived(ControlChannel::ResponseCode response);
    void SetBoardInfoReceived(ControlChannel::ResponseCode response);
    void GetBoardInfoReceived(ControlChannel::ResponseCode response, uint8_t rev, bool isRugged);
    void SetBoardInfo2Received(ControlChannel::ResponseCode response);
    void GetBoardInfo2Received(ControlChannel::ResponseCode response,
                               ControlChannel::BoardInfo2 info);
    void GetFwVersionReceived(bool verified, QString version, int timeoutBootTime,
                              int remainingTime);
    void GetAppVersionReceived(bool verified, QString version);
    void GetESPVersionReceived(bool verified, QString version);
    void VerifyFirmwareReceived(ControlChannel::ResponseCode response);
    void VerifyESPFirmwareReceived(ControlChannel::ResponseCode response);
    void GetFwImageDetailsReceived(ControlChannel::ResponseCode response,
                                   ControlChannel::ImageDetails details);
    void GetExtendedAppVersionReceived(bool verified, QString version);
    void GetMscStateReceived(ControlChannel::ResponseCode response,
                             ControlChannel::MSCStatus status);
    void MscInsertReceived(ControlChannel::ResponseCode response, ControlChannel::MSCStatus status);
    void MscEjectReceived(ControlChannel::ResponseCode response, ControlChannel::MSCStatus status);
    void SetWifiStateReceived(ControlChannel::ResponseCode response);
    void GetWifiStateReceived(ControlChannel::ResponseCode response,
                              ControlChannel::WifiState state);
    void SetWifiSettingsReceived(ControlChannel::ResponseCode response);
    void GetWifiSettingsReceived(ControlChannel::ResponseCode response,
                                 ControlChannel::WifiSettings settings);
    void GetWifiIPReceived(ControlChannel::ResponseCode response, ControlChannel::WifiIP ip);
    void SetWifiTxPowerReceived(ControlChannel::ResponseCode response);
    void GetWifiTxPowerReceived(ControlChannel::ResponseCode response, int powerDbm);
    void GetWifiAPInfoReceived(ControlChannel::ResponseCode response,
                               ControlChannel::WifiAPInfo info);
    void StartStopAppReceived(ControlChannel::ResponseCode response,
                              ControlChannel::AppStatus status);
    void GetAppStatusReceived(ControlChannel::ResponseCode response,
                              ControlChannel::AppStatus status);
    void GetExtModStatusReceived(ControlChannel::ResponseCode response, bool isOpen);
    void GetCurrentBuildIDReceived(ControlChannel::ResponseCode response, QByteArray buildID);
    void GetAppNameReceived(QString appName);
    void ResetESPToRecoveryReceived(ControlChannel::ResponseCode response);

public slots:
    void dataReady(QByteArray packet) override;
    void start() override { }
    void pause() override { }
    void initialize() override { }

    void resetDevice() const;
    void getFuseSerial() const;
    // A serial of more than 16 bytes sends nothing (warning only).
    void setFuseSerial(std::string_view serial) const;
    void goToSerialDownloaderMode() const;
    void getDate() const;
    void setDate(ControlChannel::TimeDate dateTime) const;
    void openCloseUpdateService(bool openService) const;
    void openCloseMonitoringService(bool openService) const;
    void openCloseErrorChannelService(bool openService) const;
    void openCloseFileControlService(bool openService) const;
    void disconnectDevice() const;
    void setFuseKeys(std::array<uint8_t, 16> aesKey, std::array<uint32_t, 8> srkKey) const;
    void restoreDefaultSettings() const;
    void setBoardInfo(uint8_t rev, bool isRugged) const;
    void getBoardInfo() const;
    // A serial of more than 16 Latin-1 bytes sends nothing (warning only).
    void setBoardInfo2(orvdevice::ExtendedDeviceType device_type, QString serial_number) const;
    void getBoardInfo2() const;
    void getFirmwareVersion() const;
    void getAppVersion() const;
    void getESPVersion() const;
    void verifyFirmware() const;
    void verifyESPFirmware() const;
    void getFwImageDetails() const;
    void getExtendedAppVersion() const;
    void getMscState() const;
    void mscInsert() const;
    void mscEject() const;
    void setWifiState(ControlChannel::WifiState state) const;
    void getWifiState() const;
    void setWifiSettings(ControlChannel::WifiSettings settings) const;
    void getWifiSettings() const;
    void getWifiIP() const;
    void setWifiTxPower(int powerDbm) const;
    void getWifiTxPower() const;
    void getWifiAPInfo() const;
    // true starts the application (payload byte 0), false stops it (1).
    void startStopApp(bool start) const;
    void getAppStatus() const;
    void getExtModStatus() const;
    void getCurrentBuildID() const;
    void getAppName() const;
    void resetESPToRecovery() const;

protected slots:
    void sendPacket(ControlChannel::ControlCode cmd, ControlChannel::ResponseCode rsp,
                    QByteArray payload) const;
    void sendPacket(ControlChannel::ControlCode cmd, ControlChannel::ResponseCode rsp) const;

private:
    void handleReply(uint16_t code, ResponseCode response, const QByteArray &payload);
    void handleServiceSwitch(uint16_t code, ResponseCode response, const QByteArray &payload);
    void handleFixedSizeRecord(uint16_t code, ResponseCode response, const QByteArray &payload);
    void handleVersion(uint16_t code, const QByteArray &payload);
    void handleMsc(uint16_t code, ResponseCode response, const QByteArray &payload);
    // Warns about a reply of `size` bytes where its layout has `needed`, once per code and
    // connection.
    void warnShortReply(const char *what, uint16_t code, qsizetype size, qsizetype needed);

    QSet<uint16_t> m_shortRepliesReported;
};

Q_DECLARE_METATYPE(ControlChannel::TimeDate)
Q_DECLARE_METATYPE(ControlChannel::WifiState)
Q_DECLARE_METATYPE(ControlChannel::WifiSettings)
Q_DECLARE_METATYPE(ControlChannel::WifiIP)
Q_DECLARE_METATYPE(ControlChannel::WifiAPInfo)
Q_DECLARE_METATYPE(ControlChannel::ImageDetails)
Q_DECLARE_METATYPE(ControlChannel::BoardInfo2)
