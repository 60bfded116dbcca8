#pragma once

#include "AbstractService.h"
#include "MtScrambler.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QMetaType>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>

class QTimer;

// An image held in memory for an upload; the last holder deletes the buffer.
using SharedBinaryPtr = std::shared_ptr<QBuffer>;

// Uploads an image into the device on channel 4: operating-system firmware (.fwb), wireless-module
// firmware (.feb) or an application image (.apb).
//
// Message (little-endian): u32 magic 0xDDCCBBAA, u32 command, u32 payload length, payload. Image
// chunks are the exception: bare bytes, at most 1018 (one frame payload), one in flight at a time;
// the next goes when the device answers "ready". An application upload first asks the device for a
// seed; with seed mode 1 every chunk whose length is a multiple of 4 goes out scrambled (in
// practice only a short last chunk, since a full chunk of 1018 bytes is not).
//
// Every start pads the image with zero bytes at its end to a multiple of 4; the announced size and
// the CRC-32/MPEG-2 cover the padded image as stored, before any scrambling.
//
// The service has no time-out of its own: the device reports failure, time-out and a running
// application with replies 6, 7 and 9. After reply 7 every packet is ignored until the next start.
//
// Threading: GUI thread only. Ownership: a child of the Pelto, created when the device reports its
// update service open and deleted (deferred) when it reports it closed or the device goes.
class SoftwareUpdate : public AbstractService
{
    Q_OBJECT

public:
    enum UpdateCommand : uint8_t {
        None = 0,
        Firmware = 1,
        AppBinary = 2,
        WirelessFirmware = 3,
    };
    Q_ENUM(UpdateCommand)

    enum UpdateState : uint8_t {
        Started = 0,
        BinaryLoaded = 1,
        SeedRequested = 2,
        UpdateCommandSend = 3,
        SendBinaryData = 4,
        UpdateFinished = 5,
        UpdateVerified = 6,
        TimedOut = 7,
        UpdateError = 8,
        AppStillRunning = 9,
    };
    Q_ENUM(UpdateState)

    static constexpr uint32_t Magic = 0xDDCCBBAA;
    static constexpr int HeaderSize = 12;
    static constexpr uint32_t ChunkSize = 1018;
    static constexpr int VersionPollMs = 5000;
    // The wireless version reply: u32 verified flag first, the text in the last 16 bytes.
    static constexpr int VersionTextSize = 16;

    SoftwareUpdate(QObject *parent, uint16_t channelId, bool isReliable, DatalinkManager *manager);
    ~SoftwareUpdate() override;

    // The 12-byte header, with room reserved for `length` further bytes the caller appends.
    static QByteArray buildUpdateMessage(uint32_t command, uint32_t length);

    UpdateState state() const { return m_state; }
    UpdateCommand command() const { return m_command; }
    uint32_t imageSize() const { return m_imageSize; }
    uint32_t imageCrc() const { return m_crc; }
    uint8_t percentage() const { return m_percentage; }
    // The wireless version poll; null outside a wireless-firmware upload.
    QTimer *versionPollTimer() const { return m_versionPollTimer; }
    // Tests shorten the poll; takes effect the next time the poll starts.
    void setVersionPollInterval(int milliseconds) { m_versionPollMs = milliseconds; }

signals:
    void UpdateStateChanged(SoftwareUpdate::UpdateState value);
    void UpdateProgressChanged(float value);
    void SetVersionESPReceived(bool verified, QString versionNumber);
    void AddToAutoConnect();

public slots:
    void dataReady(QByteArray packet) override;
    void start() override { }
    void pause() override { }
    void initialize() override;

    int startUpdateFromMemory(SharedBinaryPtr binary, SoftwareUpdate::UpdateCommand cmd);
    int startSimBuild(SharedBinaryPtr binary);
    // The command comes from the file's extension; `cmd` is not used. A file that cannot be
    // loaded ends in UpdateError with a notification and sends nothing.
    int startUpdateFromFile(QUrl binaryUrl, SoftwareUpdate::UpdateCommand cmd);
    int startUpdate();
    int loadBinary(QUrl fileName);
    int requestSeed();
    int initUpdateCMD();
    int initSendBinary();
    int sendBinary();
    void pollESPVersion();
    void errorString(QString error);

private:
    void setState(UpdateState state);
    void setPercentage(uint8_t percentage);
    void padImage();
    void deleteVersionPollTimer();
    void notify(const QString &message, const QString &origin);
    void handleSeedReply(const QByteArray &packet, const QByteArray &payload);
    void handleVersionReply(const QByteArray &payload);

    int m_sharedBinaryTypeId = 0;
    QFile m_file;
    SharedBinaryPtr m_image;
    UpdateCommand m_extensionCommand = None;
    UpdateCommand m_command = None;
    uint32_t m_imageSize = 0;
    QTimer *m_versionPollTimer = nullptr;
    QString m_title;
    uint32_t m_crc = 0;
    uint8_t m_lastLoggedPercentage = 0;
    UpdateState m_state = Started;
    uint8_t m_percentage = 0;
    std::unique_ptr<MtScrambler> m_scrambler;
    uint32_t m_mode = 0;
    uint32_t m_seed = 0;
    uint32_t m_remaining = 0;
    uint32_t m_chunkLength = 0;
    int m_versionPollMs = VersionPollMs;
};

Q_DECLARE_METATYPE(SharedBinaryPtr)
