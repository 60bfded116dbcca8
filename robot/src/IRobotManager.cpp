#include "IRobotManager.h"

#include "QmlFuture.h"
#include "QmlSharedPointer.h"
#include "RobotExceptions.h"

#include <QJSEngine>

int IRobotManager::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : size();
}

QVariant IRobotManager::data(const QModelIndex &index, int role) const
{
    if (index.row() < 0 || index.column() != 0 || index.row() >= size())
        return {};
    const std::shared_ptr<IRobotConnection> connection = connectionAt(index.row());
    if (!connection)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case NameRole:
        return connection->name();
    case Qt::ToolTipRole:
    case SerialRole:
        return connection->serial();
    case ConnectionRole:
        return QVariant::fromValue(handle(connection));
    default:
        return {};
    }
}

QHash<int, QByteArray> IRobotManager::roleNames() const
{
    return { { Qt::DisplayRole, "display" },
             { Qt::ToolTipRole, "tooltip" },
             { ConnectionRole, "connection" },
             { NameRole, "name" },
             { SerialRole, "serial" } };
}

QmlSharedPointer *IRobotManager::handle(const std::shared_ptr<IRobotConnection> &connection) const
{
    if (!connection)
        return nullptr;
    QJSEngine *engine = qjsEngine(this);
    QmlSharedPointer *pointer = makeQmlSharedPointer(engine, connection);
    // Without an engine nobody would collect the handle (a C++ reader of the model): it goes with
    // the manager instead of keeping the connection alive for ever.
    if (!engine)
        pointer->setParent(const_cast<IRobotManager *>(this));
    return pointer;
}

QmlSharedPointer *IRobotManager::activeConnection() const
{
    if (m_activeIndex < 0)
        return nullptr;
    return handle(connectionAt(m_activeIndex));
}

QJSValue IRobotManager::connect(QUrl url)
{
    QJSEngine *engine = qjsEngine(this);
    QFuture<QmlSharedPointer *> handles = connectCpp(url).then(
        QtFuture::Launch::Sync,
        [engine](const std::shared_ptr<IRobotConnection> &connection) -> QmlSharedPointer * {
            if (!connection)
                return nullptr;
            return makeQmlSharedPointer(engine, connection);
        });
    return makeQmlPromise(engine, handles);
}

QmlSharedPointer *IRobotManager::getConnection(QString serial)
{
    return handle(connectionAt(indexOfSerial(serial)));
}

QmlSharedPointer *IRobotManager::getConnectionAt(int index)
{
    return handle(connectionAt(index));
}

void IRobotManager::makeActiveConnection(QString serial)
{
    const int index = indexOfSerial(serial);
    setActiveIndex(index < 0 || index >= size() ? -1 : index);
}

void IRobotManager::setActiveIndex(int index)
{
    if (index == m_activeIndex)
        return;
    m_activeIndex = index;
    emit activeConnectionChanged();
}
