#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QSharedPointer>
#include <QString>

#include "SoftwareUpdate.h"

struct AppFileHeader;

namespace platform {
class Trash;
}

// One app-binary file (".napbf": a 660-byte header, then the application's ELF unchanged) while
// the binary list shows it. Taking up a file either imports an ELF into the library folder as a
// new app-binary file or reads an app-binary file (upgrading an older header in place) and copies
// it into the library folder when it lies elsewhere.
//
// Threading: GUI thread only. Ownership: the library is the parent and outlives every object; the
// three device references point into it and always show the attached Pelto's current state.
// Every rewrite of an existing file is all-or-nothing: a failed write leaves the old file.
class AppFile : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString fileName READ baseName NOTIFY FileNameChanged)
    Q_PROPERTY(QString fileNameLowerCase READ getFileNameLowerCase CONSTANT)
    Q_PROPERTY(QString applicationName READ getApplicationName CONSTANT)
    Q_PROPERTY(QString fileSize READ getFileSize CONSTANT)
    Q_PROPERTY(int fileSizeBytes READ fileSizeBytes CONSTANT)
    Q_PROPERTY(QDateTime createDate READ createDate CONSTANT)
    Q_PROPERTY(QString createDateString READ getFileCreateDateString CONSTANT)
    Q_PROPERTY(QString createTimeString READ getFileCreateTimeString CONSTANT)
    Q_PROPERTY(QString appVersionNumber READ versionText CONSTANT)
    Q_PROPERTY(QString baseAppVersionNumber READ versionNumber CONSTANT)
    Q_PROPERTY(QString deviceType READ getDeviceType NOTIFY DeviceTypeChanged)
    Q_PROPERTY(bool appIsOnPelto READ getIsOnPelto NOTIFY IsOnPeltoChanged)
    Q_PROPERTY(bool appCanBeFlashed READ getCanBeFlashed NOTIFY CanBeFlashedChanged)
    Q_PROPERTY(float updateProgress READ getUpdateProgress NOTIFY UploadProgressChanged)
    Q_PROPERTY(bool selected READ isSelected WRITE setSelected NOTIFY selectedChanged)
    Q_PROPERTY(QString tag1 READ tag1 WRITE setTag1 NOTIFY tag1Changed)
    Q_PROPERTY(QString tag2 READ tag2 WRITE setTag2 NOTIFY tag2Changed)
    Q_PROPERTY(QString tag3 READ tag3 WRITE setTag3 NOTIFY tag3Changed)
    Q_PROPERTY(QString tag4 READ tag4 WRITE setTag4 NOTIFY tag4Changed)

public:
    enum BoardType : qint32 {
        Unknown = 0,
        Pelto_Generic = 1,
        Pelto_Development_Board = 2,
        Pelto_Exploration = 3,
        Pelto_Industrial = 4,
        Torvik = 5,
        Pelto_Rugged = 6,
        Sorvyn = 7,
    };
    Q_ENUM(BoardType)

    // `file` names an ELF file or an app-binary file anywhere on disk. The object is always
    // made; isValid() says whether it took the file up. `trash` (null: the system's) receives
    // deleted files.
    AppFile(QObject *parent, const QFile &file, const QString &versionText, const QString &buildId,
            const QString &boardTypeName, quint32 flags, const QString &libraryFolder,
            const qint32 &deviceNumber, const qint32 &deviceBoardType,
            const QByteArray &deviceBuildId, bool selected, platform::Trash *trash = nullptr);
    ~AppFile() override;

    bool isValid() const { return m_valid; }
    QString filePath() const { return m_filePath; }
    QString folderPath() const { return m_folderPath; }
    QString baseName() const { return m_baseName; }
    QString versionText() const { return m_versionText; }
    QString versionNumber() const { return m_versionNumber; }
    QByteArray buildId() const { return m_buildId; }
    qint32 boardType() const { return m_boardType; }
    qint32 firmwareNumber() const { return m_firmwareNumber; }
    quint32 flags() const { return m_flags; }
    qint32 headerVersion() const { return m_headerVersion; }
    qint32 headerSize() const { return m_headerSize; }
    qint64 size() const { return m_size; }
    int fileSizeBytes() const { return int(m_size); }
    QDateTime createDate() const { return m_creationTime; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isUploading() const { return m_uploading; }
    QString tag1() const { return m_tags[0]; }
    QString tag2() const { return m_tags[1]; }
    QString tag3() const { return m_tags[2]; }
    QString tag4() const { return m_tags[3]; }

    // The name of a board type (the table's, with blanks for "_" when asked); "Unknown" for any
    // value outside it.
    static QString boardTypeName(qint32 value, bool blanks);
    // The version text as it may appear inside a file name: no folder separators, no control
    // characters. The header keeps the text as given.
    static QString fileNameSafe(const QString &versionText);

signals:
    void RequestDelete(AppFile *self);
    void FlashAppBinSignal(AppFile *self, QSharedPointer<QBuffer> binData);
    void UploadProgressChanged(float progress);
    void uploadFinished();
    void updateAvailable(QString);
    void FileNameChanged(QString);
    void DeviceTypeChanged(QString);
    void IsOnPeltoChanged(bool);
    void CanBeFlashedChanged(bool);
    void tag1Changed(QString);
    void tag2Changed(QString);
    void tag3Changed(QString);
    void tag4Changed(QString);
    void selectedChanged(bool state);

public slots:
    void flashAppFile();
    void deleteAppFile();
    void deleteWithoutNotify();
    void deleteAppFromList();
    void setFileName(const QString &newFileName);
    QString getApplicationName() const { return m_applicationName; }
    void uploadProgressUpdated(float progress);
    void uploadStateUpdated(SoftwareUpdate::UpdateState state);
    void connectedDeviceUpdated();
    QString getFileSize() const;
    QString getFileCreateDateString() const;
    QString getFileCreateTimeString() const;
    QString getFileNameLowerCase() const { return m_baseName.toLower(); }
    QString getDeviceType() const { return boardTypeName(m_boardType, true); }
    bool getIsOnPelto() const { return m_onPelto; }
    bool getCanBeFlashed() const;
    float getUpdateProgress() const { return m_uploadProgress; }
    void setTag1(const QString &newTag) { setTag(0, newTag); }
    void setTag2(const QString &newTag) { setTag(1, newTag); }
    void setTag3(const QString &newTag) { setTag(2, newTag); }
    void setTag4(const QString &newTag) { setTag(3, newTag); }
    // Kept for the list rows that call them; they do nothing.
    void getFileName() { }
    void getVersionNumber() { }
    void getBaseVersionNumber() { }
    void getFileSizeBytes() { }
    void getFileCreateDate() { }
    void getTag1() { }
    void getTag2() { }
    void getTag3() { }
    void getTag4() { }

private:
    static bool isElfFile(const QString &path);
    bool importElf(const QString &libraryFolder, const QString &versionText);
    int uniqueTargetPath(QString &path, const QString &versionText, const QString &folder) const;
    bool loadHeader();
    int copyIntoFolder(const QString &libraryFolder);
    AppFileHeader buildHeader() const;
    bool rewriteAppHeader(qint64 oldHeaderSize);
    void switchToFile(const QString &path);
    void setTag(int index, const QString &newTag);
    void notify(const QString &title, const QString &message) const;

    bool m_selected = false;
    QFile *m_file = nullptr;
    QString m_versionText;
    QString m_versionNumber;
    QString m_applicationName;
    quint32 m_flags = 0;
    qint32 m_firmwareNumber = 0;
    quint32 m_flagNibble = 0;
    qint32 m_boardType = 0;
    QDateTime m_creationTime;
    QString m_filePath;
    QString m_folderPath;
    QString m_baseName;
    qint64 m_size = 0;
    QByteArray m_buildId;
    float m_uploadProgress = 0.0f;
    bool m_uploading = false;
    QString m_tags[4];
    bool m_valid = false;
    bool m_onPelto = false;
    qint32 m_headerVersion = 0;
    qint32 m_headerSize = 660;
    const qint32 &m_deviceNumber;
    const qint32 &m_deviceBoardType;
    const QByteArray &m_deviceBuildId;
    QString m_libraryFolder;
    platform::Trash *m_trash;
};
