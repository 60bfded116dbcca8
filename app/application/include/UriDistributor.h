#pragma once

#include <QObject>
#include <QUrl>

// Routes a "nimbrel" link to the service that handles it. The command is the link's path
// ("nimbrel:upload_app?file=..."), its arguments the query items.
class UriDistributor : public QObject
{
    Q_OBJECT

public:
    explicit UriDistributor(QObject *parent = nullptr);

public slots:
    void urlReceived(const QUrl &url);

signals:
    void AppBinManagerUriReceived(QString filePath, QString version, QString buildID,
                                  QString boardType, int32_t flags);
    void InstallToolchainUriReceived(QString version, QString msg, int32_t progress,
                                     int32_t flags, bool isUninstall);
};
