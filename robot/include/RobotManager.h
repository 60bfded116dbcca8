#pragma once

#include "IRobotManager.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QJSEngine;

// The QML singleton of the open robot connections. Ownership: shares each connection with the
// QML handles; a connection whose row goes is deleted later once no handle holds it.
// Threading: the GUI thread.
class RobotManager : public IRobotManager
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using Factory = std::function<std::shared_ptr<IRobotConnection>(QJSEngine *)>;

    explicit RobotManager(QObject *parent = nullptr);
    RobotManager(Factory factory, QObject *parent);
    ~RobotManager() override;

    QFuture<std::shared_ptr<IRobotConnection>> connectCpp(const QUrl &url) override;
    std::shared_ptr<IRobotConnection> connectionAt(int index) const override;
    int size() const override { return int(m_connections.size()); }
    int indexOfSerial(const QString &serial) const override;

    Q_INVOKABLE QJSValue connectToHost(QString hostname);

public slots:
    void onConnectionStatusChanged();

private:
    void addConnection(const std::shared_ptr<IRobotConnection> &connection);

    Factory m_factory;
    std::vector<std::shared_ptr<IRobotConnection>> m_connections;
    std::vector<std::shared_ptr<IRobotConnection>> m_pending; // attempts still running
};
