#include "RobotTelemetryInterface.h"

#include "CoordinateConverter.h"
#include "LocalRelativeCoordinateConverter.h"
#include "LocalTangentPlaneCoordinateConverter.h"
#include "RobotTopicMessages.h"
#include "RosBridgeClient.h"
#include "UTMCoordinateConverter.h"

#include <QGeoCoordinate>

using namespace RobotMessages;

namespace {

void release(QPointer<RobotSubscription> &subscription)
{
    if (subscription)
        subscription->deleteLater();
}

} // namespace

RobotTelemetryInterface::RobotTelemetryInterface(const QString &prefix, RosBridgeClient *client,
                                                 QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_pose(Pose(Coordinate(0, 0, 0), QQuaternion()), {})
    , m_odometryTopic(prefix + QStringLiteral("/estimated_pose"))
    , m_coordinateSystemTopic(prefix + QStringLiteral("/coordinate_system"))
    , m_systemStatusTopic(prefix + QStringLiteral("/interface/system_status"))
{
    connect(m_client, &RosBridgeClient::connectionStatusChanged, this,
            &RobotTelemetryInterface::onConnectionStatusChanged);
}

RobotTelemetryInterface::~RobotTelemetryInterface()
{
    // Without this the robot keeps publishing three topics to a client nobody listens to.
    releaseSubscriptions();
    dropConverter(m_coordinateSystem);
}

void RobotTelemetryInterface::releaseSubscriptions()
{
    release(m_odometrySubscription);
    release(m_coordinateSystemSubscription);
    release(m_systemStatusSubscription);
}

void RobotTelemetryInterface::dropConverter(CoordinateConverter *converter)
{
    if (converter && !converter->parent())
        converter->deleteLater();
}

void RobotTelemetryInterface::onConnectionStatusChanged()
{
    if (m_client->connectionStatus() != RobotConnectionStatus::Connected) {
        releaseSubscriptions();
        return;
    }
    m_odometrySubscription
        = m_client->subscribe(m_odometryTopic, QStringLiteral("nav_msgs/msg/Odometry"), nullptr);
    m_coordinateSystemSubscription = m_client->subscribe(
        m_coordinateSystemTopic, QStringLiteral("autonomy_msgs/msg/CoordinateSystemInfo"), nullptr);
    m_systemStatusSubscription = m_client->subscribe(
        m_systemStatusTopic, QStringLiteral("autopilot_msgs/msg/SystemStatus"), nullptr);
    QPointer<RobotTelemetryInterface> self(this);
    if (m_odometrySubscription)
        m_odometrySubscription->onMessage<Odometry>([self](const Odometry &message) {
            if (self)
                self->onOdometry(message);
        });
    if (m_coordinateSystemSubscription)
        m_coordinateSystemSubscription->onMessage<OldCoordinateSystemInfo>(
            [self](const OldCoordinateSystemInfo &message) {
                if (self)
                    self->onCoordinateSystem(message);
            });
    if (m_systemStatusSubscription)
        m_systemStatusSubscription->onMessage<SystemStatus>([self](const SystemStatus &message) {
            if (self)
                self->onSystemStatus(message);
        });
}

void RobotTelemetryInterface::onOdometry(const Odometry &message)
{
    const bool poseChanged = !(message.pose == m_pose);
    const bool twistChanged = !(message.twist == m_twist);
    m_pose = message.pose;
    m_twist = message.twist;
    if (poseChanged)
        emit this->poseChanged();
    if (twistChanged)
        emit this->twistChanged();
}

void RobotTelemetryInterface::onCoordinateSystem(const OldCoordinateSystemInfo &message)
{
    CoordinateConverter *converter = nullptr;
    switch (message.type) {
    case OldCoordinateSystemInfo::LocalRelative:
        converter = new LocalRelativeCoordinateConverter(QUuid());
        break;
    case OldCoordinateSystemInfo::LocalTangentPlane:
        converter = new LocalTangentPlaneCoordinateConverter(
            QGeoCoordinate(message.latitude, message.longitude, message.altitude));
        break;
    case OldCoordinateSystemInfo::Utm:
        converter = new UTMCoordinateConverter(
            Coordinate(message.x_offset, message.y_offset, message.z_offset), int(message.zone),
            message.north);
        break;
    default:
        break;
    }
    CoordinateConverter *previous = m_coordinateSystem;
    m_coordinateSystem = converter;
    if (previous != converter) {
        emit coordinateSystemChanged();
        // After the signal: whoever wanted the old one has had the chance to adopt it.
        dropConverter(previous);
    }
}

void RobotTelemetryInterface::onSystemStatus(const SystemStatus &message)
{
    const auto accuracy = PositionAccuracy::PositionAccuracyEnum(message.position_accuracy_status);
    const bool operational = message.is_operational != m_operationalStatus;
    const bool behavior = message.behavior_status != m_behaviorStatus;
    const bool positionAccuracy = accuracy != m_positionAccuracy;
    m_operationalStatus = message.is_operational;
    m_behaviorStatus = message.behavior_status;
    m_positionAccuracy = accuracy;
    if (operational)
        emit operationalStatusChanged();
    if (behavior)
        emit behaviorStatusChanged();
    if (positionAccuracy)
        emit positionAccuracyChanged();
}
