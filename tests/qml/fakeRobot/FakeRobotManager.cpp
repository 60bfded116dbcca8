#include "FakeRobotManager.h"

#include "QObjectPointers.h"

#include <QQmlEngine>

void FakeRobotConnection::disconnect()
{
    emit closed();
}

FakeRobotManager::FakeRobotManager(QObject *parent)
    : QObject(parent)
{ }

FakeRobotManager *FakeRobotManager::create(QQmlEngine *, QJSEngine *)
{
    return new FakeRobotManager;
}

QmlSharedPointer *FakeRobotManager::activeConnection() const
{
    if (!m_active)
        return nullptr;
    return makeQmlSharedPointer(qjsEngine(this), m_active);
}

void FakeRobotManager::openConnection()
{
    auto connection = orvane::make_shared_qptr<FakeRobotConnection>(qjsEngine(this));
    connect(connection.get(), &FakeRobotConnection::closed, this, [this] {
        ++m_disconnects;
        m_active.reset();
        emit activeConnectionChanged();
    });
    m_active = connection;
    emit activeConnectionChanged();
}
