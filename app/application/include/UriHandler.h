#pragma once

#include <QHash>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// Keeps one running instance per user: the first start listens on a local socket, a later start
// that carries a URI hands it over there and exits.
//
// Hand-over message, one per connection: u32 length (big-endian) + the URL in its fully
// percent-encoded form, as QDataStream writes a QUrl.
//
// The election is serialised by a lock file beside the socket, which the first instance holds for
// its whole life: starts at the same moment cannot both become first, and a killed instance's
// lock is taken over since its holder is gone.
class UriHandler : public QObject
{
    Q_OBJECT

public:
    // A message larger than this is not a URL of ours; the connection is dropped.
    static constexpr quint32 maxMessageSize = 64 * 1024;

    // A connection that has not delivered a whole message this long after it was taken (or after
    // its last message) is closed: idle clients must not hold the instance's descriptors.
    static constexpr std::chrono::milliseconds defaultConnectionTimeout{ 5000 };

    explicit UriHandler(const QString &scheme, QObject *parent = nullptr);
    ~UriHandler() override;

    // The socket name: the fixed identifier, ":" and the scheme, placed in this user's runtime
    // folder so that another user's instance is neither reachable nor able to take the name.
    static QString serverName(const QString &scheme);

    bool isFirstInstance() const { return m_server != nullptr; }
    // Applies to connections taken from now on.
    void setConnectionTimeout(std::chrono::milliseconds timeout) { m_connectionTimeout = timeout; }

    bool handleUri(const QString &text);
    bool handleUri(const QUrl &url);

    // The URL given on the first instance's own command line, replayed by start-up.
    void storeUrl(const QUrl &url);
    bool hasStoredUrl() const { return m_hasStoredUrl; }
    QUrl storedUrl() const { return m_storedUrl; }

signals:
    void appCalled(const QUrl &url);

private slots:
    void onNewConnection();

private:
    bool anotherInstanceAnswers() const;
    void listen();
    bool connectToFirstInstance(QLocalSocket &socket) const;
    void readMessages(QLocalSocket *socket);

    bool m_hasStoredUrl = false;
    QUrl m_storedUrl;
    QString m_scheme;
    std::chrono::milliseconds m_connectionTimeout = defaultConnectionTimeout;
    QLocalServer *m_server = nullptr;
    // Held while m_server listens; null in a later instance, or when the lock could not be made.
    std::unique_ptr<QLockFile> m_lock;
    // Bytes received so far per connection; a message may arrive in pieces.
    QHash<QLocalSocket *, QByteArray> m_pending;
};
