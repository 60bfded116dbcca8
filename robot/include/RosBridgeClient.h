#pragma once

#include "RobotConnectionStatus.h"
#include "RobotMessageReader.h"
#include "RobotSubscription.h"

#include <QFuture>
#include <QFutureInterface>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUuid>

#include <memory>
#include <unordered_map>

class QTimer;
class WebSocketClient;

// The rosbridge protocol over one WebSocket connection: service calls completed by their
// responses (or failed by a time-out or the connection's end) and topic subscriptions shared per
// topic. The only place where rosbridge frames are built and parsed.
//
// Ownership: owns the socket client it creates (a child); a given client is used, not adopted.
// Subscriptions belong to the parent given to subscribe. Threading: the socket client's thread
// only. A call from any other thread fails (service calls) or is refused (subscriptions) without
// touching the tables, which belong to that thread.
class RosBridgeClient : public QObject
{
    Q_OBJECT

public:
    struct ServiceCallResponse
    {
        bool result = false;
        QJsonArray values;
    };

    explicit RosBridgeClient(QObject *parent = nullptr);
    RosBridgeClient(WebSocketClient *client, QObject *parent);
    ~RosBridgeClient() override;

    WebSocketClient *socketClient() const { return m_client; }

    QFuture<bool> connect(const QString &host, quint16 port);
    void disconnect();
    RobotConnectionStatus::Status connectionStatus() const;

    virtual QFuture<ServiceCallResponse> callService(const QString &service,
                                                     const QJsonObject &args, int timeoutMs);

    // The typed call: the request becomes the arguments, the single value of a successful
    // response is read as Response (see readServiceResponse).
    template<class Response, class Request>
    QFuture<Response> callService(const QString &service, const Request &request, int timeoutMs)
    {
        return callService(service, toServiceArgs(request), timeoutMs)
            .then(QtFuture::Launch::Sync, [](const ServiceCallResponse &response) {
                return readRobotMessage<Response>(singleValue(response));
            });
    }

    // Null when called from a thread other than the client's.
    RobotSubscription *subscribe(const QString &topic, const QString &type, QObject *parent);
    void unsubscribe(const QString &topic);

    // The value of a typed response: fails with ServiceCallFailedException when "result" is false
    // and with ServiceCallMoreThanOneResponseException unless exactly one value came.
    static QJsonValue singleValue(const ServiceCallResponse &response);

signals:
    void connectionStatusChanged();
    void messageReceived(QString topic, QJsonObject message);

public slots:
    void onWsMessageReceived(QString message);
    void onWsStatusChanged();
    void onSubscriptionDestroyed(QObject *obj);

private:
    struct PendingServiceCall;
    struct UuidHash
    {
        size_t operator()(const QUuid &uuid) const noexcept { return qHash(uuid); }
    };

    bool onClientThread() const;
    void send(const QJsonObject &object);
    void onCallTimeout(const QUuid &id);
    void handlePublish(const QJsonObject &object);
    void handleServiceResponse(const QJsonObject &object);

    WebSocketClient *m_client = nullptr;
    std::unordered_map<QUuid, std::unique_ptr<PendingServiceCall>, UuidHash> m_pendingCalls;
    QHash<QString, std::shared_ptr<RobotSubscription::Data>> m_subscriptions;
};

Q_DECLARE_METATYPE(RosBridgeClient::ServiceCallResponse)
