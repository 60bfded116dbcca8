#pragma once

#include "IRobotConnection.h"

class RobotMapResourceInterface;
class RobotResourceInterface;
class RosBridgeClient;

// One robot over rosbridge: owns (or is lent) the client and creates the robot's nine service
// interfaces as its children. Every robot answers the model name "Sorvyn" and the serial "1".
class RobotConnection : public IRobotConnection
{
    Q_OBJECT
    QML_ELEMENT

public:
    static constexpr quint16 defaultPort = 9090;

    explicit RobotConnection(QObject *parent = nullptr);
    RobotConnection(RosBridgeClient *client, QObject *parent);

    RosBridgeClient *client() const { return m_client; }

    QFuture<bool> connectCpp(const QUrl &url) override;
    void disconnect() override;
    RobotConnectionStatus::Status status() const override;
    QString name() const override;
    QString serial() const override;
    std::pair<bool, double> batteryLevel() const override { return { false, 1.0 }; }
    IRobotResourceInterface *pathResourceInterface() const override;
    IRobotResourceInterface *jobResourceInterface() const override;
    IRobotResourceInterface *areaResourceInterface() const override;
    IRobotResourceInterface *artifactResourceInterface() const override;
    IRobotResourceInterface *scheduleResourceInterface() const override;
    IRobotMapResourceInterface *mapResourceInterface() const override;
    IRobotResourceInterface *
    resourceInterfaceOf(RobotResourceType::ResourceType type) const override;
    RobotJobInterface *jobInterface() const override { return m_jobInterface; }
    RobotPathRecordingInterface *pathRecordingInterface() const override
    {
        return m_pathRecordingInterface;
    }
    RobotTelemetryInterface *telemetryInterface() const override { return m_telemetryInterface; }

private:
    RosBridgeClient *m_client;
    RobotResourceInterface *m_pathResources = nullptr;
    RobotResourceInterface *m_jobResources = nullptr;
    RobotResourceInterface *m_areaResources = nullptr;
    RobotResourceInterface *m_artifactResources = nullptr;
    RobotResourceInterface *m_scheduleResources = nullptr;
    RobotMapResourceInterface *m_mapResources = nullptr;
    RobotJobInterface *m_jobInterface = nullptr;
    RobotPathRecordingInterface *m_pathRecordingInterface = nullptr;
    RobotTelemetryInterface *m_telemetryInterface = nullptr;
};
