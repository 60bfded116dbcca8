#include "UriDistributor.h"

#include <QLoggingCategory>
#include <QUrlQuery>

Q_LOGGING_CATEGORY(lcUriDistributor, "App.UriDistributor")

namespace {

// An unsigned 32-bit decimal number, delivered bit for bit as int32; anything else reads as 0.
int32_t readNumber(const QUrlQuery &query, const QString &key)
{
    bool ok = false;
    const uint value = query.queryItemValue(key).toUInt(&ok, 10);
    return ok ? int32_t(value) : 0;
}

} // namespace

UriDistributor::UriDistributor(QObject *parent)
    : QObject(parent)
{
}

void UriDistributor::urlReceived(const QUrl &url)
{
    if (url.scheme() != QLatin1String("nimbrel")) {
        qCWarning(lcUriDistributor) << "invalid url scheme passed to application, check if "
                                       "service is calling nimbrel correctly";
        return;
    }
    qCDebug(lcUriDistributor) << "uri received by distributor";
    qCDebug(lcUriDistributor) << url;
    qCDebug(lcUriDistributor) << url.query();
    qCDebug(lcUriDistributor) << url.host();

    const QString command = url.path(QUrl::FullyDecoded);
    const QUrlQuery query(url);
    if (command == QLatin1String("upload_app")) {
        if (!query.hasQueryItem(QStringLiteral("file"))) {
            qCWarning(lcUriDistributor) << "query file not set";
            return;
        }
        const QString file = query.queryItemValue(QStringLiteral("file"), QUrl::FullyDecoded);
        const QString version = query.hasQueryItem(QStringLiteral("version"))
            ? query.queryItemValue(QStringLiteral("version"), QUrl::FullyDecoded)
            : QStringLiteral("N/A");
        emit AppBinManagerUriReceived(file, version, query.queryItemValue(QStringLiteral("build")),
                                      query.queryItemValue(QStringLiteral("boardType")),
                                      readNumber(query, QStringLiteral("flags")));
    } else if (command == QLatin1String("install_tc") || command == QLatin1String("uninstall_tc")) {
        for (const char *required : {"version", "progress", "flags"}) {
            if (!query.hasQueryItem(QLatin1String(required))) {
                qCWarning(lcUriDistributor) << "query file not set";
                return;
            }
        }
        emit InstallToolchainUriReceived(query.queryItemValue(QStringLiteral("version")),
                                         query.queryItemValue(QStringLiteral("msg")),
                                         readNumber(query, QStringLiteral("progress")),
                                         readNumber(query, QStringLiteral("flags")),
                                         command == QLatin1String("uninstall_tc"));
    }
}
