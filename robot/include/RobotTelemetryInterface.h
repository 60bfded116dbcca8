#pragma once

#include "CoordinateConverter.h"
#include "PoseWithCovariance.h"
#include "PositionAccuracy.h"
#include "TwistWithCovariance.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

class RobotSubscription;
class RosBridgeClient;

namespace RobotMessages {
struct Odometry;
struct OldCoordinateSystemInfo;
struct SystemStatus;
} // namespace RobotMessages

// The robot's pose and velocity, coordinate system, operational and behaviour status and position
// accuracy, kept up to date from three topics while the client is connected. The values keep their
// last state across a disconnection.
//
// Ownership: the subscriptions are not children; they are released on every status other than
// Connected and when the interface goes. The converter made for each coordinate-system message
// belongs to the interface until a local map adopts it (as its child); one that nobody adopted is
// deleted (later) when the next message replaces it, and with the interface.
class RobotTelemetryInterface : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("RobotTelemetryInterface must be accessed through RobotConnection")
    Q_PROPERTY(PoseWithCovariance pose READ pose NOTIFY poseChanged)
    Q_PROPERTY(TwistWithCovariance twist READ twist NOTIFY twistChanged)
    Q_PROPERTY(
        CoordinateConverter *coordinateSystem READ coordinateSystem NOTIFY coordinateSystemChanged)
    Q_PROPERTY(bool operationalStatus READ operationalStatus NOTIFY operationalStatusChanged)
    Q_PROPERTY(QString behaviorStatus READ behaviorStatus NOTIFY behaviorStatusChanged)
    Q_PROPERTY(PositionAccuracy::PositionAccuracyEnum positionAccuracy READ positionAccuracy NOTIFY
                   positionAccuracyChanged)

public:
    RobotTelemetryInterface(const QString &prefix, RosBridgeClient *client, QObject *parent);
    ~RobotTelemetryInterface() override;

    PoseWithCovariance pose() const { return m_pose; }
    TwistWithCovariance twist() const { return m_twist; }
    CoordinateConverter *coordinateSystem() const { return m_coordinateSystem; }
    bool operationalStatus() const { return m_operationalStatus; }
    QString behaviorStatus() const { return m_behaviorStatus; }
    PositionAccuracy::PositionAccuracyEnum positionAccuracy() const { return m_positionAccuracy; }

signals:
    void poseChanged();
    void twistChanged();
    void coordinateSystemChanged();
    void operationalStatusChanged();
    void behaviorStatusChanged();
    void positionAccuracyChanged();

private:
    void onConnectionStatusChanged();
    void onOdometry(const RobotMessages::Odometry &message);
    void onCoordinateSystem(const RobotMessages::OldCoordinateSystemInfo &message);
    void onSystemStatus(const RobotMessages::SystemStatus &message);
    void releaseSubscriptions();
    // Deletes (later) a converter of ours that no map adopted.
    void dropConverter(CoordinateConverter *converter);

    RosBridgeClient *m_client;
    PoseWithCovariance m_pose;
    TwistWithCovariance m_twist;
    QPointer<CoordinateConverter> m_coordinateSystem;
    bool m_operationalStatus = false;
    QString m_behaviorStatus;
    PositionAccuracy::PositionAccuracyEnum m_positionAccuracy = PositionAccuracy::Unknown;
    QPointer<RobotSubscription> m_odometrySubscription;
    QPointer<RobotSubscription> m_coordinateSystemSubscription;
    QPointer<RobotSubscription> m_systemStatusSubscription;
    QString m_odometryTopic;
    QString m_coordinateSystemTopic;
    QString m_systemStatusTopic;
};
