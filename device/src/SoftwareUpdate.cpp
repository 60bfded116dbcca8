#include "SoftwareUpdate.h"

#include "Crc32.h"
#include "ErrorHandler.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <QTimer>
#include <QtEndian>

#include <algorithm>

Q_LOGGING_CATEGORY(lcSoftwareUpdate, "Device.SoftwareUpdate")

namespace {

enum WireCommand : uint32_t {
    SeedCommand = 1,
    FirmwareStart = 2,
    AppBinaryStart = 3,
    WirelessStart = 4,
    Finished = 5,
    Failed = 6,
    DeviceTimedOut = 7,
    WirelessVersion = 8,
    AppRunning = 9,
};

const QString firmwareTitle = QStringLiteral("Upload firmware failed");
const QString binaryTitle = QStringLiteral("Upload binary failed");
const QString uploaderOrigin = QStringLiteral("Binary uploader");

QString titleFor(SoftwareUpdate::UpdateCommand command)
{
    return command == SoftwareUpdate::AppBinary ? binaryTitle : firmwareTitle;
}

uint32_t readU32(const QByteArray &bytes, qsizetype offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

void appendU32(QByteArray &bytes, uint32_t value)
{
    char raw[4];
    qToLittleEndian<quint32>(value, raw);
    bytes.append(raw, 4);
}

} // namespace

SoftwareUpdate::SoftwareUpdate(QObject *parent, uint16_t channelId, bool isReliable,
                               DatalinkManager *manager)
    : AbstractService(parent, channelId, isReliable, manager)
{
    m_sharedBinaryTypeId = qRegisterMetaType<SharedBinaryPtr>("SharedBinaryPtr");
    initialize();
}

SoftwareUpdate::~SoftwareUpdate() = default;

QByteArray SoftwareUpdate::buildUpdateMessage(uint32_t command, uint32_t length)
{
    QByteArray message;
    message.reserve(HeaderSize + qsizetype(length));
    appendU32(message, Magic);
    appendU32(message, command);
    appendU32(message, length);
    return message;
}

void SoftwareUpdate::initialize()
{
    static const int commandTypeId
        = qRegisterMetaType<SoftwareUpdate::UpdateCommand>("SoftwareUpdate::UpdateCommand");
    Q_UNUSED(commandTypeId);
    m_mode = 0;
    m_seed = 0;
    m_crc = 0;
    m_lastLoggedPercentage = 0;
    m_extensionCommand = None;
    m_command = None;
    m_imageSize = 0;
    setState(Started);
    m_percentage = 0;
    emit UpdateProgressChanged(0.0f);
}

void SoftwareUpdate::setState(UpdateState state)
{
    m_state = state;
    emit UpdateStateChanged(state);
}

void SoftwareUpdate::padImage()
{
    if (!m_image->isOpen())
        m_image->open(QIODevice::ReadWrite);
    // The padding belongs after the image, wherever the caller left the buffer's position.
    const qint64 size = m_image->size();
    m_image->seek(size);
    const qint64 padding = (4 - size % 4) % 4;
    if (padding)
        m_image->write(QByteArray(padding, '\0'));
    m_imageSize = uint32_t(m_image->size());
}

void SoftwareUpdate::deleteVersionPollTimer()
{
    if (!m_versionPollTimer)
        return;
    m_versionPollTimer->stop();
    delete m_versionPollTimer;
    m_versionPollTimer = nullptr;
}

void SoftwareUpdate::notify(const QString &message, const QString &origin)
{
    ErrorHandler::instance()->pushNotification(nimbrel::Warning, AbstractNotification::NimbrelLab,
                                               m_title, message, origin,
                                               QDateTime::currentDateTimeUtc());
}

int SoftwareUpdate::startUpdateFromMemory(SharedBinaryPtr binary, UpdateCommand cmd)
{
    initialize();
    if (!binary) {
        qCWarning(lcSoftwareUpdate) << "No image to upload";
        return -1;
    }
    m_image = std::move(binary);
    padImage();
    setState(BinaryLoaded);
    m_command = cmd;
    return startUpdate();
}

int SoftwareUpdate::startSimBuild(SharedBinaryPtr binary)
{
    initialize();
    m_command = AppBinary;
    qCDebug(lcSoftwareUpdate) << "simbuild started";
    if (!binary) {
        qCWarning(lcSoftwareUpdate) << "No image to upload";
        return -1;
    }
    m_image = std::move(binary);
    padImage();
    setState(BinaryLoaded);
    deleteVersionPollTimer();
    requestSeed();
    setState(SeedRequested);
    qCDebug(lcSoftwareUpdate) << "seed requested";
    return 0;
}

int SoftwareUpdate::startUpdateFromFile(QUrl binaryUrl, UpdateCommand cmd)
{
    Q_UNUSED(cmd);
    initialize();
    m_image = std::make_shared<QBuffer>();
    m_image->open(QIODevice::ReadWrite);
    if (loadBinary(binaryUrl) != 0) {
        // Announcing an empty image would let the device erase its flash for nothing.
        m_title = titleFor(m_extensionCommand);
        setState(UpdateError);
        notify(QStringLiteral("The file %1 could not be loaded.").arg(binaryUrl.toString()),
               uploaderOrigin);
        return -1;
    }
    setState(BinaryLoaded);
    m_command = m_extensionCommand;
    return startUpdate();
}

int SoftwareUpdate::startUpdate()
{
    deleteVersionPollTimer();
    switch (m_command) {
    case None:
        return -1;
    case AppBinary:
        requestSeed();
        setState(SeedRequested);
        return 0;
    case Firmware:
    case WirelessFirmware:
        if (initUpdateCMD() != 0)
            return -1;
        setState(UpdateCommandSend);
        return 0;
    }
    return -1;
}

int SoftwareUpdate::loadBinary(QUrl fileName)
{
    const QString text = fileName.toString();
    const QString path = fileName.isLocalFile() ? fileName.toLocalFile() : text;
    const QString extension = text.mid(text.lastIndexOf(QLatin1Char('.')) + 1);
    if (extension == QLatin1String("apb")) {
        m_extensionCommand = AppBinary;
    } else if (extension == QLatin1String("fwb")) {
        m_extensionCommand = Firmware;
    } else if (extension == QLatin1String("feb")) {
        m_extensionCommand = WirelessFirmware;
    } else {
        qCCritical(lcSoftwareUpdate).noquote() << "Error: " + text + " > Unknown extension";
        return -1;
    }
    if (!QFile::exists(path)) {
        qCCritical(lcSoftwareUpdate).noquote() << "Error: " + text + " > No such file";
        return -1;
    }
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        qCCritical(lcSoftwareUpdate).noquote() << "Error: " + text + " > " + m_file.errorString();
        return -1;
    }
    const QByteArray contents = m_file.readAll();
    const bool readWhole = m_file.error() == QFileDevice::NoError;
    m_file.close();
    if (!readWhole) {
        qCCritical(lcSoftwareUpdate).noquote() << "Error: " + text + " > Read failed";
        return -1;
    }
    if (!m_image) {
        m_image = std::make_shared<QBuffer>();
        m_image->open(QIODevice::ReadWrite);
    }
    m_image->buffer().clear();
    m_image->seek(0);
    m_image->write(contents);
    padImage();
    return 0;
}

int SoftwareUpdate::requestSeed()
{
    emit write(channelId, isReliable, buildUpdateMessage(SeedCommand, 0));
    return 0;
}

int SoftwareUpdate::initUpdateCMD()
{
    uint32_t wireCommand = 0;
    switch (m_command) {
    case None:
        return -1;
    case Firmware:
        wireCommand = FirmwareStart;
        break;
    case AppBinary:
        wireCommand = AppBinaryStart;
        break;
    case WirelessFirmware:
        wireCommand = WirelessStart;
        m_versionPollTimer = new QTimer(this);
        connect(m_versionPollTimer, &QTimer::timeout, this, &SoftwareUpdate::pollESPVersion);
        break;
    }
    m_title = titleFor(m_command);
    m_lastLoggedPercentage = 0;

    // Over the image as stored, before any scrambling.
    uint32_t crc = 0xFFFFFFFF;
    const QByteArray image = m_image ? m_image->data() : QByteArray();
    for (qsizetype offset = 0; offset < image.size(); offset += ChunkSize) {
        const qsizetype piece = std::min<qsizetype>(ChunkSize, image.size() - offset);
        crc = crc32Update(crc, image.constData() + offset, uint64_t(piece));
    }
    m_crc = crc;

    if (m_image)
        m_image->seek(0);
    m_remaining = m_imageSize;
    setState(SendBinaryData);

    QByteArray message = buildUpdateMessage(wireCommand, 8);
    appendU32(message, m_imageSize);
    appendU32(message, m_crc);
    emit write(channelId, isReliable, message);
    return 0;
}

int SoftwareUpdate::initSendBinary()
{
    if (m_image)
        m_image->seek(0);
    m_remaining = m_imageSize;
    setState(SendBinaryData);
    return 0;
}

int SoftwareUpdate::sendBinary()
{
    if (m_remaining > 0 && m_image) {
        m_chunkLength = std::min(m_remaining, ChunkSize);
        m_image->seek(qint64(m_imageSize - m_remaining));
        QByteArray chunk = m_image->read(m_chunkLength);
        if (chunk.size() != qsizetype(m_chunkLength)) {
            qCWarning(lcSoftwareUpdate) << "Image shorter than announced";
            return -1;
        }
        // Changes only a chunk whose length is a multiple of 4, and only in mode 1.
        if (m_command == AppBinary && m_scrambler)
            m_scrambler->apply(chunk.data(), m_chunkLength, int(m_mode));
        emit write(channelId, isReliable, chunk);
        m_remaining -= m_chunkLength;
        const float factor = float(100.0 / m_imageSize);
        setPercentage(uint8_t(float(m_imageSize - m_remaining) * factor));
    } else {
        setPercentage(100);
    }
    return 0;
}

void SoftwareUpdate::setPercentage(uint8_t percentage)
{
    m_percentage = percentage;
    emit UpdateProgressChanged(float(m_percentage / 100.0));
    if (m_percentage > m_lastLoggedPercentage) {
        qCDebug(lcSoftwareUpdate).nospace() << "[" << m_percentage << "% ]";
        m_lastLoggedPercentage = m_percentage;
    }
}

void SoftwareUpdate::pollESPVersion()
{
    emit write(channelId, isReliable, buildUpdateMessage(WirelessVersion, 0));
}

void SoftwareUpdate::errorString(QString error)
{
    Q_UNUSED(error);
}

void SoftwareUpdate::dataReady(QByteArray packet)
{
    if (packet.size() < HeaderSize || readU32(packet, 0) != Magic)
        return;
    const uint32_t command = readU32(packet, 4);
    const uint32_t length = readU32(packet, 8);
    if (quint64(packet.size()) < quint64(HeaderSize) + length)
        return;
    if (m_state == TimedOut || command < SeedCommand || command > AppRunning)
        return;
    const QByteArray payload = packet.mid(HeaderSize);

    switch (command) {
    case SeedCommand:
        handleSeedReply(packet, payload);
        break;
    case FirmwareStart:
    case AppBinaryStart:
    case WirelessStart:
        if (m_state == UpdateCommandSend)
            setState(SendBinaryData);
        if (m_state == SendBinaryData)
            sendBinary();
        break;
    case Finished:
        emit AddToAutoConnect();
        if (m_state != SendBinaryData)
            break;
        setState(UpdateFinished);
        qCDebug(lcSoftwareUpdate) << "Update finished";
        if (m_command == WirelessFirmware && m_versionPollTimer)
            m_versionPollTimer->start(m_versionPollMs);
        break;
    case Failed:
        setState(UpdateError);
        notify(QStringLiteral("Uploading failed due to n unkown error. Try again."),
               uploaderOrigin);
        break;
    case DeviceTimedOut:
        setState(TimedOut);
        notify(QStringLiteral("Uploading failed due to a timeout. Try again."), uploaderOrigin);
        qCDebug(lcSoftwareUpdate) << "Update timed out";
        break;
    case WirelessVersion:
        handleVersionReply(payload);
        break;
    case AppRunning:
        setState(AppStillRunning);
        notify(QStringLiteral("Application is still running. Stop the application before "
                              "uploading new binaries"),
               QStringLiteral("Binary uploaders"));
        break;
    }
}

void SoftwareUpdate::handleSeedReply(const QByteArray &packet, const QByteArray &payload)
{
    // Two words are read: a shorter payload is no seed.
    if (m_state != SeedRequested || packet.size() != HeaderSize + qsizetype(readU32(packet, 8))
        || payload.size() < 8)
        return;
    m_mode = readU32(payload, 0);
    m_seed = readU32(payload, 4);
    m_scrambler = std::make_unique<MtScrambler>();
    m_scrambler->setMode(int(m_mode));
    m_scrambler->seed(int32_t(m_seed));
    if (initUpdateCMD() == 0)
        setState(UpdateCommandSend);
}

void SoftwareUpdate::handleVersionReply(const QByteArray &payload)
{
    if (payload.size() < 4 + VersionTextSize)
        return;
    const uint32_t verified = readU32(payload, 0);
    QByteArray text = payload.right(VersionTextSize);
    // The device pads its text with zero bytes.
    while (text.endsWith('\0'))
        text.chop(1);
    const QString version = QString::fromUtf8(text);
    qCDebug(lcSoftwareUpdate).noquote()
        << "ESP version: " + version << (verified == 1 ? "Verified" : "Not verified.");
    if (verified != 1)
        return;
    if (m_versionPollTimer)
        m_versionPollTimer->stop();
    emit SetVersionESPReceived(true, version);
}
