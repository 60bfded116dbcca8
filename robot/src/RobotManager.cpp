#include "RobotManager.h"

#include "QObjectPointers.h"
#include "RobotConnection.h"
#include "RobotExceptions.h"

#include <QJSEngine>
#include <QPointer>

namespace {

std::shared_ptr<IRobotConnection> makeConnection(QJSEngine *engine)
{
    return orvane::make_shared_qptr<RobotConnection>(engine);
}

} // namespace

RobotManager::RobotManager(QObject *parent)
    : RobotManager(makeConnection, parent)
{ }

RobotManager::RobotManager(Factory factory, QObject *parent)
    : IRobotManager(parent)
    , m_factory(std::move(factory))
{ }

RobotManager::~RobotManager()
{
    for (const auto &connection : m_connections)
        connection->QObject::disconnect(this);
}

QFuture<std::shared_ptr<IRobotConnection>> RobotManager::connectCpp(const QUrl &url)
{
    std::shared_ptr<IRobotConnection> connection = m_factory(qjsEngine(this));
    // The attempt's continuation stays stored in the connection's own connect future after it
    // ran (Qt 6.4 keeps it): holding the connection there would keep the connection alive
    // through itself. The manager holds it while the attempt runs; the continuation only
    // refers to it.
    m_pending.push_back(connection);
    QPointer<RobotManager> self(this);
    std::weak_ptr<IRobotConnection> attempt = connection;
    return connection->connectCpp(url).then(
        QtFuture::Launch::Sync,
        [self, attempt](bool connected) -> std::shared_ptr<IRobotConnection> {
            std::shared_ptr<IRobotConnection> connection = attempt.lock();
            if (self && connection)
                std::erase(self->m_pending, connection);
            if (!connected || !connection)
                throw RobotConnectionFailedException();
            if (self)
                self->addConnection(connection);
            return connection;
        });
}

void RobotManager::addConnection(const std::shared_ptr<IRobotConnection> &connection)
{
    const int row = size();
    beginInsertRows(QModelIndex(), row, row);
    QObject::connect(connection.get(), &IRobotConnection::connectionStatusChanged, this,
                     &RobotManager::onConnectionStatusChanged, Qt::QueuedConnection);
    m_connections.push_back(connection);
    emit sizeChanged();
    endInsertRows();
    emit connectionAdded(connection->serial(), connection);
    if (size() == 1)
        setActiveIndex(0);
}

std::shared_ptr<IRobotConnection> RobotManager::connectionAt(int index) const
{
    if (index < 0 || index >= size())
        return {};
    return m_connections[size_t(index)];
}

int RobotManager::indexOfSerial(const QString &serial) const
{
    for (int i = 0; i < size(); ++i) {
        if (m_connections[size_t(i)]->serial() == serial)
            return i;
    }
    return -1;
}

QJSValue RobotManager::connectToHost(QString hostname)
{
    QUrl url;
    url.setScheme(QStringLiteral("ws"));
    url.setHost(hostname);
    return connect(url);
}

void RobotManager::onConnectionStatusChanged()
{
    QObject *origin = sender();
    int row = -1;
    for (int i = 0; i < size(); ++i) {
        if (m_connections[size_t(i)].get() == origin)
            row = i;
    }
    if (row < 0 || m_connections[size_t(row)]->status() != RobotConnectionStatus::Closed)
        return;
    if (row == m_activeIndex)
        setActiveIndex(-1);
    else if (row < m_activeIndex)
        --m_activeIndex;
    const std::shared_ptr<IRobotConnection> connection = m_connections[size_t(row)];
    connection->QObject::disconnect(this);
    beginRemoveRows(QModelIndex(), row, row);
    m_connections.erase(m_connections.begin() + row);
    emit sizeChanged();
    endRemoveRows();
    emit connectionRemoved(connection->serial());
}
