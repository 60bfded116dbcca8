#include "UriHandler.h"

#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QtEndian>

#include <unistd.h>

Q_LOGGING_CATEGORY(lcUriHandler, "App.UriHandler")

namespace {
constexpr int waitMs = 1000;
const QString instanceId = QStringLiteral("892f3674-0274-4f50-9301-e14a7001ba90");
} // namespace

UriHandler::UriHandler(const QString &scheme, QObject *parent)
    : QObject(parent)
    , m_scheme(scheme)
{
    if (!anotherInstanceAnswers())
        listen();
}

QString UriHandler::serverName(const QString &scheme)
{
    const QString name = QStringLiteral("%1:%2").arg(instanceId, scheme);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/nimbrel-") + QString::number(getuid());
    return QDir(folder).filePath(name);
}

bool UriHandler::anotherInstanceAnswers() const
{
    // The running instance sees a connection that closes without data.
    QLocalSocket probe;
    probe.connectToServer(serverName(m_scheme), QIODevice::ReadWrite);
    const bool connected = probe.waitForConnected(waitMs);
    probe.abort();
    return connected;
}

void UriHandler::listen()
{
    const QString name = serverName(m_scheme);
    QDir().mkpath(QFileInfo(name).absolutePath());
    auto *server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    bool listening = server->listen(name);
    if (!listening && server->serverError() == QAbstractSocket::AddressInUseError
        && !anotherInstanceAnswers()) {
        // A socket file left by an instance that crashed: nobody answers on it any more.
        QLocalServer::removeServer(name);
        listening = server->listen(name);
    }
    if (!listening) {
        qCDebug(lcUriHandler) << "Cannot listen for other instances:" << server->errorString();
        server->deleteLater();
        return;
    }
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, &UriHandler::onNewConnection);
}

void UriHandler::storeUrl(const QUrl &url)
{
    m_storedUrl = url;
    m_hasStoredUrl = true;
}

bool UriHandler::handleUri(const QString &text)
{
    return handleUri(QUrl::fromUserInput(text));
}

bool UriHandler::handleUri(const QUrl &url)
{
    if (!url.isValid() || url.scheme() != m_scheme) {
        qCWarning(lcUriHandler).noquote() << "Invalid URL: " + url.toString();
        return false;
    }

    if (m_server) {
        emit appCalled(url);
    } else {
        QLocalSocket socket;
        socket.connectToServer(serverName(m_scheme), QIODevice::ReadWrite);
        if (!socket.waitForConnected(waitMs)) {
            qCWarning(lcUriHandler) << "Could not connect to other application";
            return false;
        }
        QByteArray message;
        QDataStream stream(&message, QIODevice::WriteOnly);
        stream.setVersion(QDataStream::Qt_6_0);
        stream << url;
        socket.write(message);
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(waitMs)) {
        }
        // Only a message that left completely counts as delivered.
        const bool written = socket.bytesToWrite() == 0;
        socket.disconnectFromServer();
        if (socket.state() != QLocalSocket::UnconnectedState)
            socket.waitForDisconnected(waitMs);
        if (!written) {
            qCWarning(lcUriHandler) << "Could not hand the URI over to the other application";
            return false;
        }
    }
    qCDebug(lcUriHandler).noquote() << "Handled Uri call " + url.toString();
    return true;
}

void UriHandler::onNewConnection()
{
    while (m_server->hasPendingConnections()) {
        QLocalSocket *socket = m_server->nextPendingConnection();
        m_pending.insert(socket, {});
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_pending.remove(socket); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readMessages(socket); });
        // Data may already be waiting when the connection is taken.
        if (socket->bytesAvailable() > 0)
            readMessages(socket);
    }
}

void UriHandler::readMessages(QLocalSocket *socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end())
        return;
    it.value() += socket->readAll();

    while (it.value().size() >= 4) {
        QByteArray &buffer = it.value();
        const quint32 length = qFromBigEndian<quint32>(buffer.constData());
        // 0xFFFFFFFF is how the stream writes an empty URL.
        const quint32 payload = length == 0xFFFFFFFFu ? 0 : length;
        if (payload > maxMessageSize) {
            qCWarning(lcUriHandler) << "Dropped a connection announcing" << length
                                    << "bytes; a URI is at most" << maxMessageSize;
            m_pending.erase(it);
            socket->abort();
            return;
        }
        if (quint32(buffer.size()) < 4 + payload)
            return; // the rest arrives with a later read
        const QUrl url(QString::fromLatin1(buffer.constData() + 4, qsizetype(payload)),
                       QUrl::TolerantMode);
        buffer.remove(0, 4 + qsizetype(payload));
        qCDebug(lcUriHandler).noquote() << "Handled Uri call " + url.toString();
        emit appCalled(url);
        // A receiver may have run the event loop and the connection may be gone.
        it = m_pending.find(socket);
        if (it == m_pending.end())
            return;
    }
}
