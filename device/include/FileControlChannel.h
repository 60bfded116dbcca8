#pragma once

#include "AbstractService.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>

#include <cstdint>
#include <memory>

class QSaveFile;

namespace filectrlpayload {

// Reply payload of the storage query: u64 total bytes, u64 free bytes, i32 status.
struct AvailableStorage
{
    // Only Ready is interpreted (the log lists take figures only then); other values are the
    // device's and are passed on unchanged.
    enum FSStatus : int32_t {
        Ready = 2,
    };
    static constexpr int Size = 20;
};

} // namespace filectrlpayload

// The device's file system (channel 9): listings, downloads into a file or into memory, storage
// figures, directory and file removal and renaming, small uploads.
//
// Message, both ways (little-endian): u32 whole length including this 7-byte header, u16 command
// code, u8 response code (0 in requests, 1 = success in replies), payload. A reply may span
// several frames and one frame may carry more than one reply: the receive buffer is cut at each
// length field. A length field above MaxMessageSize cannot be a real reply; the buffer is dropped
// so the next frame starts clean.
//
// Downloads to a file go to a temporary file beside the target, renamed over it only once the
// announced size arrived and was written and flushed whole: an error reply, a write failure, more
// data than announced or the end of the channel remove the temporary file and end the download
// with DownloadFileReceived(response != Success, ""). A cut-off file never sits under the final
// name, since the log lists take an existing file as downloaded.
//
// Names that come from the device are not trusted as paths: listing entries and file headers
// whose names could leave a folder (see isSafeName) are dropped with a warning.
//
// Threading: GUI thread only. The channel keeps no queue: replies go to the signal of their code,
// callers match them by path or keep one request of a kind outstanding.
class FileControlChannel : public AbstractService
{
    Q_OBJECT

public:
    enum CommandCode : uint16_t {
        DownloadFileToBuf = 1,
        DownloadFile = 2,
        UploadFile = 3,
        RemoveFile = 4,
        RenameFile = 5,
        ListDir = 6,
        MakeDir = 7,
        RemoveDir = 8,
        RenameDir = 9,
        GetAvailableStorage = 10,
    };
    Q_ENUM(CommandCode)

    // 1 is the device's success; its error codes are its own. HostFailure is never read from the
    // device: it reports a download or upload the host itself had to give up.
    enum ResponseCode : uint8_t {
        Request = 0,
        Success = 1,
        HostFailure = 0xFF,
    };
    Q_ENUM(ResponseCode)

    struct DirEntry
    {
        QDateTime modified;
        int16_t type = 0;
        uint32_t size = 0;
        QString name;
    };

    static constexpr int HeaderSize = 7;
    static constexpr int FileHeaderSize = 14; // before the name
    static constexpr int DirEntryHeaderSize = 16; // before the name
    static constexpr int16_t FileType = 8;
    // Larger than any file the device can hold in memory for a download-to-buffer reply.
    static constexpr qint64 MaxMessageSize = 256 * 1024 * 1024;

    FileControlChannel(QObject *parent, uint16_t channelId, bool isReliable,
                       DatalinkManager *manager);
    ~FileControlChannel() override;

    // A device-supplied name that may become part of a local path: not empty, not "." or "..",
    // and free of "/", "\" and NUL.
    static bool isSafeName(const QString &name);

    bool isDownloadPending() const { return m_outputFile != nullptr; }

signals:
    void DownloadFileToBufReceived(FileControlChannel::ResponseCode response,
                                   FileControlChannel::DirEntry metaData, QByteArray &fileData);
    void DownloadFileReceived(FileControlChannel::ResponseCode response, QString outputFilePath);
    void UploadFileReceived(FileControlChannel::ResponseCode response);
    void RemoveFileReceived(FileControlChannel::ResponseCode response, QString removedFilePath);
    void RenameFileReceived(FileControlChannel::ResponseCode response, QString renamedFilePath);
    void ListDirReceived(FileControlChannel::ResponseCode response,
                         QList<FileControlChannel::DirEntry> dirEntries);
    void MakeDirReceived(FileControlChannel::ResponseCode response, QString createdDir);
    void RemoveDirReceived(FileControlChannel::ResponseCode response, QString removedDirPath);
    void RenameDirReceived(FileControlChannel::ResponseCode response, QString renamedDirPath);
    void GetAvailableStorageReceived(FileControlChannel::ResponseCode response,
                                     qulonglong totalSize, qulonglong freeSize,
                                     filectrlpayload::AvailableStorage::FSStatus status);
    void Progress(float progress, QString fileName);

public slots:
    void downloadFileToBuf(QString filePath);
    // -1 (nothing sent) when a file exists at outputFilePath or a download is pending; else 0.
    int downloadFile(QString filePath, QString outputFilePath);
    // Refused with a warning and UploadFileReceived(HostFailure) when it does not fit one frame.
    void uploadFile(QString filePath, QByteArray fileData);
    void removeFile(QString filePath);
    void renameFile(QString filePath, QString newName);
    void listDir(QString filePath);
    void makeDir(QString filePath);
    void removeDir(QString filePath);
    void renameDir(QString filePath, QString newName);
    void getAvailableStorage();

    void sendPacket(FileControlChannel::CommandCode cmd, FileControlChannel::ResponseCode rsp,
                    QByteArray payload);
    void sendPacket(FileControlChannel::CommandCode cmd, FileControlChannel::ResponseCode rsp);

    void dataReady(QByteArray packet) override;
    void start() override { }
    void pause() override { }
    void initialize() override { }

private:
    void dispatch(uint16_t code, ResponseCode response, const QByteArray &payload);
    void handleDownloadToBuf(ResponseCode response, const QByteArray &payload);
    void handleDownloadChunk(ResponseCode response, const QByteArray &payload);
    bool openOutput(const QByteArray &payload, qsizetype *dataOffset);
    void writeChunk(const QByteArray &data);
    void logRate(qint64 written);
    void completeDownload();
    void failDownload(ResponseCode response);
    void emitTextReply(uint16_t code, ResponseCode response, const QByteArray &payload);

    // The pending download to a file: null while none. Not open until the first chunk.
    std::unique_ptr<QSaveFile> m_outputFile;
    QString m_outputName;
    bool m_outputOpen = false;
    qint64 m_written = 0;
    DirEntry m_pendingEntry;
    QByteArray m_buffer;
    int m_lastLoggedPercentage = 0;
    QDateTime m_lastLogTime;
    qint64 m_bytesAtLastLog = 0;
};

Q_DECLARE_METATYPE(FileControlChannel::DirEntry)
