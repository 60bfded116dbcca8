#include "FileControlChannel.h"

#include "SafeFileWrite.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>

Q_LOGGING_CATEGORY(lcFileControl, "Device.FileControlChannel")

namespace {

constexpr int MaxRequestSize = 1018; // one frame payload: requests are never split

QByteArray pathPayload(const QString &path)
{
    QByteArray payload = path.toUtf8();
    payload.append('\0');
    return payload;
}

// u16 byte count of the UTF-8 actually sent, the name, one NUL.
QByteArray nameRecord(const QString &name)
{
    const QByteArray utf8 = name.toUtf8();
    QByteArray record(2, '\0');
    qToLittleEndian<quint16>(quint16(utf8.size()), record.data());
    return record + utf8 + '\0';
}

// Fixed fields and name of a file header or directory entry, read from `offset`; false when the
// bytes end inside them.
struct NamedRecord
{
    qint64 seconds = 0;
    quint32 size = 0;
    qint16 type = 0;
    QString name;
    qsizetype end = 0;
};

bool readFileHeader(const QByteArray &b, NamedRecord *r)
{
    if (b.size() < FileControlChannel::FileHeaderSize)
        return false;
    const char *p = b.constData();
    r->seconds = qFromLittleEndian<qint64>(p);
    r->size = qFromLittleEndian<quint32>(p + 8);
    const quint16 n = qFromLittleEndian<quint16>(p + 12);
    if (b.size() < FileControlChannel::FileHeaderSize + n)
        return false;
    r->type = FileControlChannel::FileType;
    r->name = QString::fromUtf8(p + FileControlChannel::FileHeaderSize, n);
    r->end = FileControlChannel::FileHeaderSize + n;
    return true;
}

bool readDirEntry(const QByteArray &b, qsizetype offset, NamedRecord *r)
{
    constexpr int fixed = FileControlChannel::DirEntryHeaderSize;
    if (b.size() - offset < fixed)
        return false;
    const char *p = b.constData() + offset;
    r->seconds = qFromLittleEndian<qint64>(p);
    r->size = qFromLittleEndian<quint32>(p + 8);
    r->type = qFromLittleEndian<qint16>(p + 12);
    const quint16 n = qFromLittleEndian<quint16>(p + 14);
    if (b.size() - offset - fixed < n)
        return false;
    r->name = QString::fromUtf8(p + fixed, n);
    r->end = offset + fixed + n;
    return true;
}

FileControlChannel::DirEntry toEntry(const NamedRecord &r)
{
    FileControlChannel::DirEntry entry;
    entry.modified = QDateTime::fromSecsSinceEpoch(r.seconds);
    entry.type = r.type;
    entry.size = r.size;
    entry.name = r.name;
    return entry;
}

} // namespace

FileControlChannel::FileControlChannel(QObject *parent, uint16_t channelId, bool isReliable,
                                       DatalinkManager *manager)
    : AbstractService(parent, channelId, isReliable, manager)
{
    qRegisterMetaType<QList<DirEntry>>("QList<DirEntry>");
    qRegisterMetaType<FileControlChannel::ResponseCode>("FileControlChannel::ResponseCode");
}

FileControlChannel::~FileControlChannel()
{
    // Holders wait for the end of a pending download; the channel's end is one.
    if (m_outputFile)
        failDownload(HostFailure);
}

bool FileControlChannel::isSafeName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && !name.contains(QChar(0));
}

// ----- requests -------------------------------------------------------------------------------

void FileControlChannel::sendPacket(CommandCode cmd, ResponseCode rsp, QByteArray payload)
{
    QByteArray message(HeaderSize, '\0');
    qToLittleEndian<quint32>(quint32(payload.size() + HeaderSize), message.data());
    qToLittleEndian<quint16>(quint16(cmd), message.data() + 4);
    message[6] = char(rsp);
    emit write(channelId, isReliable, message + payload);
}

void FileControlChannel::sendPacket(CommandCode cmd, ResponseCode rsp)
{
    sendPacket(cmd, rsp, QByteArray());
}

void FileControlChannel::downloadFileToBuf(QString filePath)
{
    sendPacket(DownloadFileToBuf, Request, pathPayload(filePath));
}

int FileControlChannel::downloadFile(QString filePath, QString outputFilePath)
{
    if (m_outputFile || QFileInfo::exists(outputFilePath))
        return -1;
    sendPacket(DownloadFile, Request, pathPayload(filePath));
    m_outputFile = std::make_unique<QSaveFile>(outputFilePath);
    m_outputName = outputFilePath;
    m_outputOpen = false;
    m_written = 0;
    m_pendingEntry = DirEntry();
    return 0;
}

void FileControlChannel::uploadFile(QString filePath, QByteArray fileData)
{
    const QByteArray path = filePath.toUtf8();
    const qsizetype size = HeaderSize + 2 + path.size() + 2 + fileData.size();
    if (size > MaxRequestSize) {
        qCWarning(lcFileControl).nospace()
            << "Upload of " << filePath << " refused: " << size << " bytes do not fit one frame ("
            << MaxRequestSize << ")";
        emit UploadFileReceived(HostFailure);
        return;
    }
    QByteArray payload(2, '\0');
    qToLittleEndian<quint16>(quint16(path.size()), payload.data());
    payload += path;
    QByteArray length(2, '\0');
    qToLittleEndian<quint16>(quint16(fileData.size()), length.data());
    payload += length + fileData;
    sendPacket(UploadFile, Request, payload);
}

void FileControlChannel::removeFile(QString filePath)
{
    sendPacket(RemoveFile, Request, pathPayload(filePath));
}

void FileControlChannel::renameFile(QString filePath, QString newName)
{
    sendPacket(RenameFile, Request, nameRecord(filePath) + nameRecord(newName));
}

void FileControlChannel::listDir(QString filePath)
{
    sendPacket(ListDir, Request, pathPayload(filePath));
}

void FileControlChannel::makeDir(QString filePath)
{
    sendPacket(MakeDir, Request, pathPayload(filePath));
}

void FileControlChannel::removeDir(QString filePath)
{
    sendPacket(RemoveDir, Request, pathPayload(filePath));
}

void FileControlChannel::renameDir(QString filePath, QString newName)
{
    sendPacket(RenameDir, Request, nameRecord(filePath) + nameRecord(newName));
}

void FileControlChannel::getAvailableStorage()
{
    sendPacket(GetAvailableStorage, Request);
}

// ----- replies --------------------------------------------------------------------------------

void FileControlChannel::dataReady(QByteArray packet)
{
    m_buffer += packet;
    while (m_buffer.size() >= HeaderSize) {
        const quint32 length = qFromLittleEndian<quint32>(m_buffer.constData());
        if (length < quint32(HeaderSize)) {
            // A bare header is a reply without payload; anything longer cannot be parsed.
            if (m_buffer.size() > HeaderSize) {
                qCDebug(lcFileControl) << "Corrupt data";
                m_buffer.clear();
                return;
            }
        } else if (length > quint32(MaxMessageSize)) {
            qCWarning(lcFileControl).nospace()
                << "Reply length " << length << " above " << MaxMessageSize
                << " bytes; receive buffer dropped";
            m_buffer.clear();
            return;
        } else if (m_buffer.size() < qsizetype(length)) {
            return; // the rest arrives in later frames
        }
        const qsizetype size = std::max<qsizetype>(length, HeaderSize);
        const auto code = qFromLittleEndian<quint16>(m_buffer.constData() + 4);
        const auto response = ResponseCode(uint8_t(m_buffer.at(6)));
        const QByteArray payload = m_buffer.mid(HeaderSize, size - HeaderSize);
        m_buffer.remove(0, size);
        dispatch(code, response, payload);
    }
}

void FileControlChannel::dispatch(uint16_t code, ResponseCode response, const QByteArray &payload)
{
    switch (code) {
    case DownloadFileToBuf:
        handleDownloadToBuf(response, payload);
        break;
    case DownloadFile:
        handleDownloadChunk(response, payload);
        break;
    case UploadFile:
        emit UploadFileReceived(response);
        break;
    case RemoveFile:
    case RenameFile:
    case MakeDir:
    case RemoveDir:
    case RenameDir:
        emitTextReply(code, response, payload);
        break;
    case ListDir: {
        QList<DirEntry> entries;
        NamedRecord record;
        qsizetype offset = 0;
        while (readDirEntry(payload, offset, &record)) {
            offset = record.end;
            if (!isSafeName(record.name)) {
                qCWarning(lcFileControl)
                    << "Listing entry with unusable name dropped:" << record.name;
                continue;
            }
            entries.append(toEntry(record));
        }
        if (offset != payload.size())
            qCWarning(lcFileControl)
                << "Listing ends inside an entry;" << payload.size() - offset << "bytes ignored";
        emit ListDirReceived(response, entries);
        break;
    }
    case GetAvailableStorage: {
        if (payload.size() < filectrlpayload::AvailableStorage::Size) {
            qCWarning(lcFileControl) << "Storage reply of" << payload.size() << "bytes ignored";
            break;
        }
        const char *p = payload.constData();
        emit GetAvailableStorageReceived(
            response, qFromLittleEndian<quint64>(p), qFromLittleEndian<quint64>(p + 8),
            filectrlpayload::AvailableStorage::FSStatus(qFromLittleEndian<qint32>(p + 16)));
        break;
    }
    default:
        break;
    }
}

void FileControlChannel::emitTextReply(uint16_t code, ResponseCode response,
                                       const QByteArray &payload)
{
    const QString text = QString::fromUtf8(payload);
    switch (code) {
    case RemoveFile:
        emit RemoveFileReceived(response, text);
        break;
    case RenameFile:
        emit RenameFileReceived(response, text);
        break;
    case MakeDir:
        emit MakeDirReceived(response, text);
        break;
    case RemoveDir:
        emit RemoveDirReceived(response, text);
        break;
    case RenameDir:
        emit RenameDirReceived(response, text);
        break;
    default:
        break;
    }
}

void FileControlChannel::handleDownloadToBuf(ResponseCode response, const QByteArray &payload)
{
    QByteArray data;
    if (response != Success) {
        emit DownloadFileToBufReceived(response, DirEntry(), data);
        return;
    }
    NamedRecord header;
    if (!readFileHeader(payload, &header) || !isSafeName(header.name)) {
        qCWarning(lcFileControl) << "Download reply without a usable file header ignored";
        emit DownloadFileToBufReceived(HostFailure, DirEntry(), data);
        return;
    }
    data = payload.mid(header.end);
    emit DownloadFileToBufReceived(Success, toEntry(header), data);
}

void FileControlChannel::handleDownloadChunk(ResponseCode response, const QByteArray &payload)
{
    if (!m_outputFile)
        return;
    if (response != Success) {
        failDownload(response);
        return;
    }
    qsizetype dataOffset = 0;
    if (!m_outputOpen && !openOutput(payload, &dataOffset))
        return;
    writeChunk(payload.mid(dataOffset));
}

bool FileControlChannel::openOutput(const QByteArray &payload, qsizetype *dataOffset)
{
    NamedRecord header;
    if (!readFileHeader(payload, &header) || !isSafeName(header.name)) {
        qCWarning(lcFileControl) << "First download chunk without a usable file header";
        failDownload(HostFailure);
        return false;
    }
    if (!m_outputFile->open(QIODevice::WriteOnly)) {
        qCWarning(lcFileControl) << "Cannot write" << m_outputName << ":"
                                 << m_outputFile->errorString();
        failDownload(HostFailure);
        return false;
    }
    m_outputOpen = true;
    m_pendingEntry = toEntry(header);
    *dataOffset = header.end;
    m_lastLoggedPercentage = 0;
    m_bytesAtLastLog = 0;
    m_lastLogTime = QDateTime::currentDateTime();
    qCDebug(lcFileControl).noquote() << 0 << "%   " << m_written << "/" << m_pendingEntry.size;
    return true;
}

void FileControlChannel::writeChunk(const QByteArray &data)
{
    const qint64 announced = m_pendingEntry.size;
    if (m_written + data.size() > announced) {
        qCWarning(lcFileControl).nospace()
            << "Download of " << m_pendingEntry.name << " sent more than the announced "
            << announced << " bytes";
        failDownload(HostFailure);
        return;
    }
    QString error;
    if (!platform::writeAll(*m_outputFile, data, &error)) {
        qCWarning(lcFileControl) << "Cannot write" << m_outputName << ":" << error;
        failDownload(HostFailure);
        return;
    }
    m_written += data.size();
    // An empty file is complete, not 0/0.
    const float progress = announced ? float(double(m_written) / double(announced)) : 1.0f;
    emit Progress(progress, m_outputName);
    logRate(m_written);
    if (m_written == announced)
        completeDownload();
}

void FileControlChannel::logRate(qint64 written)
{
    const qint64 announced = m_pendingEntry.size;
    const int percentage = announced ? int(written * 100 / announced) : 100;
    if (percentage <= m_lastLoggedPercentage)
        return;
    const QDateTime now = QDateTime::currentDateTime();
    // A chunk within the same millisecond as the last line counts as one millisecond.
    const qint64 elapsedMs = std::max<qint64>(1, m_lastLogTime.msecsTo(now));
    const qint64 rate = (written - m_bytesAtLastLog) * 1000 / elapsedMs / 1024;
    m_lastLoggedPercentage = percentage;
    qCDebug(lcFileControl).noquote() << percentage << "%   " << rate << "kB/s.   ("
                                     << written / 1024 << "Kb /" << announced / 1024 << "Kb )";
    m_bytesAtLastLog = written;
    m_lastLogTime = now;
}

void FileControlChannel::completeDownload()
{
    qCDebug(lcFileControl).noquote() << "Download" << m_pendingEntry.name << "completed";
    QString error;
    if (!platform::commitSaveFile(*m_outputFile, &error)) {
        qCWarning(lcFileControl) << "Cannot write" << m_outputName << ":" << error;
        failDownload(HostFailure);
        return;
    }
    const QString path = QFileInfo(m_outputName).absoluteFilePath();
    QFile done(path);
    if (done.open(QIODevice::ReadWrite)) {
        // Linux file systems keep the birth time to themselves; the modification time then
        // carries the device's time.
        if (!done.setFileTime(m_pendingEntry.modified, QFileDevice::FileBirthTime))
            done.setFileTime(m_pendingEntry.modified, QFileDevice::FileModificationTime);
        done.close();
    }
    m_outputFile.reset();
    m_outputOpen = false;
    m_pendingEntry = DirEntry();
    emit DownloadFileReceived(Success, path);
}

void FileControlChannel::failDownload(ResponseCode response)
{
    if (m_outputOpen)
        platform::discardSaveFile(*m_outputFile);
    m_outputFile.reset();
    m_outputOpen = false;
    m_pendingEntry = DirEntry();
    emit DownloadFileReceived(response, QString());
}
