#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

class ToolchainHandler;

// One MATLAB release in the toolchain list: its names, the toolchain version it carries, the
// catalogue's latest version and the last message MATLAB sent. While the list is not on screen,
// each message of a running operation shows as a notification of its own, replacing the row's
// previous one. GUI thread only.
class InstalledMatlabEntry : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString matlabVersion READ matlabVersion CONSTANT)
    Q_PROPERTY(QString readableMatlabVersion READ readableMatlabVersion CONSTANT)
    Q_PROPERTY(
        QString toolchainVersion READ toolchainVersion NOTIFY InstalledToolchainVersionChanged)
    Q_PROPERTY(bool isInstalled READ isInstalled NOTIFY InstalledToolchainVersionChanged)
    Q_PROPERTY(QString latestToolchainVersion READ latestToolchainVersion NOTIFY
                   LatestToolchainVersionChanged)
    Q_PROPERTY(
        bool newVersionAvailable READ newVersionAvailable NOTIFY LatestToolchainVersionChanged)
    Q_PROPERTY(
        QString installButtonText READ installButtonText NOTIFY InstalledToolchainVersionChanged)
    Q_PROPERTY(QString readableMsg READ readableMsg NOTIFY ReadableMsgChanged)
    Q_PROPERTY(bool errorHappened READ errorHappened NOTIFY ErrorHappenedChanged)

public:
    // Throws std::invalid_argument (or std::out_of_range) when the key names no release.
    InstalledMatlabEntry(QObject *parent, ToolchainHandler *engine, const QString &version);

    QString matlabVersion() const { return m_matlabVersion; }
    QString readableMatlabVersion() const { return m_readableMatlabVersion; }
    QString toolchainVersion() const { return m_toolchainVersion; }
    bool isInstalled() const { return !m_toolchainVersion.isEmpty(); }
    QString latestToolchainVersion() const { return m_latestToolchainVersion; }
    bool newVersionAvailable() const;
    QString installButtonText() const;
    QString readableMsg() const { return m_readableMsg; }
    bool errorHappened() const { return m_errorHappened; }
    bool isBusy() const { return m_busy; }
    int notificationKey() const { return m_notificationKey; }

    void setVisible(bool visible);
    void showNotification(const QString &msg);
    void setToolchainVersion(const QByteArray &version);
    void setLatestToolchainVersion(const QByteArray &version);

    Q_INVOKABLE void install();
    Q_INVOKABLE void uninstall();

signals:
    void InstalledToolchainVersionChanged();
    void LatestToolchainVersionChanged();
    void ReadableMsgChanged(QString msg);
    void ErrorHappenedChanged(bool errorHappened);

public slots:
    void progressUpdated(QString version, QString msg, int32_t progress, bool isError);

private:
    void withdrawNotification();

    QString m_matlabVersion;
    QString m_readableMatlabVersion;
    QString m_toolchainVersion;
    QString m_latestToolchainVersion;
    QString m_readableMsg;
    bool m_errorHappened = false;
    QString m_notificationTitle;
    bool m_visible = false;
    bool m_busy = false;
    int m_notificationKey = 0;
    ToolchainHandler *m_engine = nullptr;
};
