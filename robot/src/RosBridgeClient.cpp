#include "RosBridgeClient.h"

#include "JsonReaders.h"
#include "QObjectPointers.h"
#include "RobotExceptions.h"
#include "WebSocketClient.h"

#include <QJsonDocument>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

Q_LOGGING_CATEGORY(lcRosBridgeClient, "RobotCommunication.RosBridgeClient")

// One call waiting for its response. Ending it any other way than by a response (time-out,
// connection closed, client destroyed) reports the failure before the entry goes; an entry
// destroyed unfinished leaves a canceled future.
struct RosBridgeClient::PendingServiceCall
{
    QString service;
    orvane::unique_qptr<QTimer> timer{ new QTimer() };
    QFutureInterface<ServiceCallResponse> promise;

    ~PendingServiceCall()
    {
        timer->stop();
        if (!promise.isFinished()) {
            promise.cancel();
            promise.reportFinished();
        }
    }

    void fail(const QException &exception)
    {
        if (promise.isFinished())
            return;
        promise.reportException(exception);
        promise.reportFinished();
    }
};

RosBridgeClient::RosBridgeClient(QObject *parent)
    : RosBridgeClient(nullptr, parent)
{ }

RosBridgeClient::RosBridgeClient(WebSocketClient *client, QObject *parent)
    : QObject(parent)
    , m_client(client ? client : new WebSocketClient(this))
{
    QObject::connect(m_client, &WebSocketClient::messageReceived, this,
                     &RosBridgeClient::onWsMessageReceived);
    QObject::connect(m_client, &WebSocketClient::statusChanged, this,
                     &RosBridgeClient::onWsStatusChanged);
    QObject::connect(m_client, &WebSocketClient::statusChanged, this,
                     &RosBridgeClient::connectionStatusChanged);
}

RosBridgeClient::~RosBridgeClient()
{
    m_subscriptions.clear();
    m_pendingCalls.clear();
    // A client we were given outlives us and must not call back into a half-destroyed object.
    m_client->QObject::disconnect(this);
}

QFuture<bool> RosBridgeClient::connect(const QString &host, quint16 port)
{
    return m_client->connect(host, port);
}

void RosBridgeClient::disconnect()
{
    m_client->disconnect();
}

RobotConnectionStatus::Status RosBridgeClient::connectionStatus() const
{
    return m_client->status();
}

bool RosBridgeClient::onClientThread() const
{
    return QThread::currentThread() == m_client->thread();
}

void RosBridgeClient::send(const QJsonObject &object)
{
    m_client->sendTextMessage(
        QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

QFuture<RosBridgeClient::ServiceCallResponse>
RosBridgeClient::callService(const QString &service, const QJsonObject &args, int timeoutMs)
{
    if (!onClientThread()) {
        // The pending calls, their timers and the socket belong to the client's thread.
        static const char warning[]
            = "Service calls must be made from the same thread as the RosBridgeClient object";
        qCWarning(lcRosBridgeClient) << warning;
        QFutureInterface<ServiceCallResponse> failed;
        failed.reportStarted();
        failed.reportException(ServiceCallFailedException(QString::fromLatin1(warning)));
        failed.reportFinished();
        return failed.future();
    }
    if (m_client->status() != RobotConnectionStatus::Connected) {
        QFutureInterface<ServiceCallResponse> failed;
        failed.reportStarted();
        failed.reportException(RobotNotConnectedException());
        failed.reportFinished();
        return failed.future();
    }

    const QUuid id = QUuid::createUuid();
    QJsonObject request;
    request.insert(QStringLiteral("op"), QStringLiteral("call_service"));
    request.insert(QStringLiteral("service"), service);
    request.insert(QStringLiteral("args"), args);
    request.insert(QStringLiteral("id"), id.toString());
    qCDebug(lcRosBridgeClient) << "Calling service" << service << "with id" << id;

    auto call = std::make_unique<PendingServiceCall>();
    call->service = service;
    call->promise.reportStarted();
    call->timer->setSingleShot(true);
    QObject::connect(call->timer.get(), &QTimer::timeout, call->timer.get(),
                     [this, id] { onCallTimeout(id); });
    call->timer->start(timeoutMs);
    QFuture<ServiceCallResponse> future = call->promise.future();
    m_pendingCalls.emplace(id, std::move(call));

    send(request);
    return future;
}

void RosBridgeClient::onCallTimeout(const QUuid &id)
{
    qCWarning(lcRosBridgeClient) << "Service call" << id << "timed out";
    const auto it = m_pendingCalls.find(id);
    if (it == m_pendingCalls.end())
        return;
    it->second->fail(ServiceCallTimeoutException());
    m_pendingCalls.erase(it);
}

QJsonValue RosBridgeClient::singleValue(const ServiceCallResponse &response)
{
    if (!response.result)
        throw ServiceCallFailedException(response.values);
    if (response.values.size() != 1)
        throw ServiceCallMoreThanOneResponseException(response.values);
    return response.values.at(0);
}

RobotSubscription *RosBridgeClient::subscribe(const QString &topic, const QString &type,
                                              QObject *parent)
{
    if (!onClientThread()) {
        qCWarning(lcRosBridgeClient) << "Cannot subscribe to a topic from a different thread";
        return nullptr;
    }
    std::shared_ptr<RobotSubscription::Data> data = m_subscriptions.value(topic);
    if (!data) {
        QJsonObject request;
        request.insert(QStringLiteral("op"), QStringLiteral("subscribe"));
        request.insert(QStringLiteral("topic"), topic);
        if (!type.isEmpty())
            request.insert(QStringLiteral("type"), type);
        qCDebug(lcRosBridgeClient) << "Subscribing to topic" << topic;
        data = std::make_shared<RobotSubscription::Data>(RobotSubscription::Data{ topic });
        m_subscriptions.insert(topic, data);
        send(request);
    }
    auto *subscription = new RobotSubscription(data, parent);
    QObject::connect(this, &RosBridgeClient::messageReceived, subscription,
                     &RobotSubscription::processMessage);
    QObject::connect(subscription, &QObject::destroyed, this,
                     &RosBridgeClient::onSubscriptionDestroyed);
    return subscription;
}

void RosBridgeClient::onSubscriptionDestroyed(QObject *obj)
{
    Q_UNUSED(obj);
    for (auto it = m_subscriptions.begin(); it != m_subscriptions.end();) {
        if (it.value().use_count() == 1) {
            unsubscribe(it.key());
            it = m_subscriptions.erase(it);
        } else {
            ++it;
        }
    }
}

void RosBridgeClient::unsubscribe(const QString &topic)
{
    if (!onClientThread()) {
        qCWarning(lcRosBridgeClient) << "Cannot unsubscribe from a topic from a different thread";
        return;
    }
    QJsonObject request;
    request.insert(QStringLiteral("op"), QStringLiteral("unsubscribe"));
    request.insert(QStringLiteral("topic"), topic);
    qCDebug(lcRosBridgeClient) << "Unsubscribing from topic" << topic;
    send(request);
}

void RosBridgeClient::onWsStatusChanged()
{
    if (m_client->status() != RobotConnectionStatus::Closed)
        return;
    // Take the table first: a continuation run by a failed promise may call back into us.
    auto pending = std::move(m_pendingCalls);
    m_pendingCalls.clear();
    for (auto &[id, call] : pending)
        call->fail(RobotNotConnectedException());
    pending.clear();
    m_subscriptions.clear();
}

void RosBridgeClient::onWsMessageReceived(QString message)
{
    try {
        const QJsonDocument document = QJsonDocument::fromJson(message.toUtf8());
        if (document.isNull() || !document.isObject())
            throw JsonException(QStringLiteral("Received message is not a valid JSON object"));
        const QJsonObject object = document.object();
        const QString op = readJsonString(object.value(QLatin1String("op")));
        if (op == QLatin1String("publish"))
            handlePublish(object);
        else if (op == QLatin1String("service_response"))
            handleServiceResponse(object);
        else
            qCWarning(lcRosBridgeClient) << "Received unknown message type" << op;
    } catch (const JsonException &e) {
        qCWarning(lcRosBridgeClient) << "Failed to parse received message:" << e.what();
    }
}

void RosBridgeClient::handlePublish(const QJsonObject &object)
{
    try {
        const QString topic = readJsonString(object.value(QLatin1String("topic")));
        const QJsonValue msg = object.value(QLatin1String("msg"));
        if (!msg.isObject())
            throw JsonInvalidTypeException(QStringLiteral("msg"), msg.type(), QJsonValue::Object);
        qCDebug(lcRosBridgeClient) << "Received topic message for topic" << topic;
        emit messageReceived(topic, msg.toObject());
    } catch (const JsonException &e) {
        qCWarning(lcRosBridgeClient) << "Failed to parse topic message:" << e.what();
    }
}

void RosBridgeClient::handleServiceResponse(const QJsonObject &object)
{
    QUuid id;
    bool result = false;
    QString service;
    try {
        id = readJsonUuid(object.value(QLatin1String("id")));
        result = readJsonBool(object.value(QLatin1String("result")));
        service = readJsonString(object.value(QLatin1String("service")));
    } catch (const JsonException &e) {
        qCWarning(lcRosBridgeClient) << "Failed to parse service response:" << e.what();
        return;
    }

    const auto it = m_pendingCalls.find(id);
    if (it == m_pendingCalls.end()) {
        qCWarning(lcRosBridgeClient) << "Received service response for unknown service call" << id
                                     << "for service" << service;
        return;
    }
    // Remove the entry before its promise runs continuations, which may call services again.
    std::unique_ptr<PendingServiceCall> call = std::move(it->second);
    m_pendingCalls.erase(it);

    try {
        const QJsonValue values = object.value(QLatin1String("values"));
        QJsonArray normalised;
        if (values.isUndefined())
            normalised = QJsonArray();
        else if (values.isObject())
            normalised.append(values);
        else if (values.isArray())
            normalised = values.toArray();
        else if (values.isString() && !result)
            throw ServiceCallFailedException(
                QObject::tr("Service call failed: %1").arg(values.toString()));
        else
            throw JsonInvalidTypeException(QStringLiteral("values"), values.type(),
                                           QJsonValue::Array);
        qCDebug(lcRosBridgeClient) << "Received service response for service" << service
                                   << "with id" << id << "with result" << result;
        if (!call->promise.isCanceled() && !call->promise.isFinished()) {
            call->timer->stop();
            call->promise.reportResult(ServiceCallResponse{ result, normalised });
            call->promise.reportFinished();
        }
    } catch (const QException &e) {
        call->fail(e);
    }
}
