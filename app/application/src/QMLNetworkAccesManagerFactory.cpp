#include "QMLNetworkAccesManagerFactory.h"

#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QStandardPaths>

QNetworkAccessManager *QMLNetworkAccesManagerFactory::create(QObject *parent)
{
    auto *manager = new QNetworkAccessManager(parent);
    auto *cache = new QNetworkDiskCache(manager);
    cache->setCacheDirectory(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    cache->setMaximumCacheSize(cacheSize);
    manager->setCache(cache);
    // Created as the parent's child, the manager already lives in the parent's thread.
    return manager;
}
