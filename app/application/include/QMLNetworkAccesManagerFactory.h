#pragma once

#include <QQmlNetworkAccessManagerFactory>

// Gives every network access manager that QML makes a disk cache, so remote images are not
// fetched again at every start.
class QMLNetworkAccesManagerFactory : public QQmlNetworkAccessManagerFactory
{
public:
    static constexpr qint64 cacheSize = 1000000000;

    QNetworkAccessManager *create(QObject *parent) override;
};
