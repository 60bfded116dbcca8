#include "UriHandler.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <unistd.h>

Q_LOGGING_CATEGORY(lcUriHandler, "App.UriHandler")

namespace {
constexpr int waitMs = 1000;
constexpr int retryMs = 20;
constexpr int staleLockMs = 1000;
const QString instanceId = QStringLiteral("892f3674-0274-4f50-9301-e14a7001ba90");
} // namespace

UriHandler::UriHandler(const QString &scheme, QObject *parent)
    : QObject(parent)
    , m_scheme(scheme)
{
    const QString name = serverName(m_scheme);
    QDir().mkpath(QFileInfo(name).absolutePath());

    // Probing and listening are two steps, and listening renames the new socket over whatever
    // bears the name, live or not: without the lock, starts at the same moment all find nobody
    // and all listen, and only the last of them can be reached.
    auto lock = std::make_unique<QLockFile>(name + QStringLiteral(".lock"));
    // The first instance holds the lock for as long as it runs, however old the file grows: Qt
    // removes a stale-looking lock file only when it can lock the file itself, which the living
    // holder prevents. What the age limit clears is a lock file nobody holds whose owner cannot
    // be told from it (left empty by a crash, or naming a process id that was reused).
    lock->setStaleLockTime(staleLockMs);
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError)
            return; // a first instance runs, or is on its way to listening
        qCWarning(lcUriHandler).noquote()
            << "Cannot lock" << lock->fileName() << "- electing the first instance without it";
        lock.reset();
    }
    // Still asked under the lock: a program that does not take it may listen on the name.
    if (anotherInstanceAnswers())
        return;
    listen();
    if (m_server)
        m_lock = std::move(lock);
}

UriHandler::~UriHandler()
{
    // The name goes before the lock: a start that takes the lock next must not see its fresh
    // socket file removed by this one closing.
    delete m_server;
    m_server = nullptr;
    m_lock.reset();
}

QString UriHandler::serverName(const QString &scheme)
{
    const QString name = QStringLiteral("%1:%2").arg(instanceId, scheme);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/nimbrel-") + QString::number(getuid());
    return QDir(folder).filePath(name);
}

bool UriHandler::connectToFirstInstance(QLocalSocket &socket) const
{
    // The first instance may have taken the lock and not be listening yet: keep trying for the
    // whole wait, not only once.
    const QDeadlineTimer deadline(waitMs);
    forever {
        socket.connectToServer(serverName(m_scheme), QIODevice::ReadWrite);
        if (socket.waitForConnected(int(deadline.remainingTime())))
            return true;
        socket.abort();
        if (deadline.hasExpired())
            return false;
        QThread::msleep(ulong(qMin<qint64>(retryMs, deadline.remainingTime())));
    }
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
        if (!connectToFirstInstance(socket)) {
            qCWarning(lcUriHandler) << "Could not connect to other application";
            return false;
        }
        QByteArray message;
        QDataStream stream(&message, QIODevice::WriteOnly);
        stream.setVersion(QDataStream::Qt_6_0);
        stream << url;
        socket.write(message);
        // One deadline for the whole message: a receiver that reads a little now and then would
        // otherwise keep this start waiting for as long as it likes.
        const QDeadlineTimer deadline(waitMs);
        while (socket.bytesToWrite() > 0 && !deadline.hasExpired()
               && socket.waitForBytesWritten(int(deadline.remainingTime()))) { }
        // Only a message that left completely counts as delivered; half a message is dropped at
        // once rather than left for the receiver to wait on.
        if (socket.bytesToWrite() > 0) {
            socket.abort();
            qCWarning(lcUriHandler) << "Could not hand the URI over to the other application";
            return false;
        }
        socket.disconnectFromServer();
        if (socket.state() != QLocalSocket::UnconnectedState)
            socket.waitForDisconnected(waitMs);
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
        // Each connection has its own deadline for a whole message; the timer goes with the
        // socket.
        auto *deadline = new QTimer(socket);
        deadline->setObjectName(QStringLiteral("messageDeadline"));
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, this, [this, socket] {
            qCDebug(lcUriHandler) << "Closed a connection that sent no whole message in"
                                  << m_connectionTimeout.count() << "ms";
            m_pending.remove(socket);
            socket->abort();
            socket->deleteLater();
        });
        deadline->start(m_connectionTimeout);
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
        // A whole message: the connection gets the full time again for a next one.
        if (auto *deadline = socket->findChild<QTimer *>(QStringLiteral("messageDeadline"),
                                                         Qt::FindDirectChildrenOnly))
            deadline->start(m_connectionTimeout);
        emit appCalled(url);
        // A receiver may have run the event loop and the connection may be gone.
        it = m_pending.find(socket);
        if (it == m_pending.end())
            return;
    }
}
