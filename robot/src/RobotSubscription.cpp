#include "RobotSubscription.h"

#include <QJSEngine>
#include <QLoggingCategory>

#include <exception>

Q_LOGGING_CATEGORY(lcRobotSubscription, "RobotCommunication.RobotSubscription")

RobotSubscription::RobotSubscription(std::shared_ptr<Data> data, QObject *parent)
    : QObject(parent)
    , m_data(std::move(data))
{ }

void RobotSubscription::onMessage(Callback callback)
{
    m_callbacks.push_back(std::move(callback));
}

void RobotSubscription::onMessage(QJSValue callback)
{
    QJSEngine *engine = qjsEngine(this);
    if (!callback.isCallable()) {
        if (engine)
            engine->throwError(QJSValue::TypeError, QStringLiteral("Callback is not callable"));
        else
            qCWarning(lcRobotSubscription) << "Callback is not callable";
        return;
    }
    onMessage(Callback([this, callback](const QJsonObject &message) mutable {
        QJSEngine *engine = qjsEngine(this);
        if (!engine)
            return;
        callback.call({ engine->toScriptValue(message) });
    }));
}

void RobotSubscription::processMessage(QString topic, QJsonObject message)
{
    if (topic != m_data->topic)
        return;
    // Indexed: a callback may add callbacks, which then run for this message too.
    for (size_t i = 0; i < m_callbacks.size(); ++i) {
        try {
            m_callbacks[i](message);
        } catch (const std::exception &e) {
            qCWarning(lcRobotSubscription)
                << "Exception in callback for topic" << topic << ":" << e.what();
        }
    }
    emit messageReceived(message);
}
