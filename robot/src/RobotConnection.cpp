#include "RobotConnection.h"

#include "RobotMapResourceInterface.h"
#include "RobotResourceInterface.h"
#include "RosBridgeClient.h"

namespace {

const QString kPathResources = QStringLiteral("/autopilot/information_manager/resource/path");
const QString kAreaResources = QStringLiteral("/autopilot/information_manager/resource/area");
const QString kJobResources = QStringLiteral("/autopilot/information_manager/resource/job");
const QString kArtifactResources
    = QStringLiteral("/autopilot/information_manager/resource/artifact");
const QString kScheduleResources
    = QStringLiteral("/autopilot/information_manager/resource/schedule");
const QString kMapResources = QStringLiteral("/autopilot/information_manager/resource/map");
const QString kJobActions = QStringLiteral("/autopilot/information_manager/action/job");
const QString kPathRecording = QStringLiteral("/autopilot");
const QString kTelemetry = QStringLiteral("/autopilot");

} // namespace

RobotConnection::RobotConnection(QObject *parent)
    : RobotConnection(nullptr, parent)
{ }

RobotConnection::RobotConnection(RosBridgeClient *client, QObject *parent)
    : IRobotConnection(parent)
    , m_client(client ? client : new RosBridgeClient(this))
{
    QObject::connect(m_client, &RosBridgeClient::connectionStatusChanged, this,
                     &IRobotConnection::connectionStatusChanged);
    m_pathResources
        = new RobotResourceInterface(kPathResources, RobotResourceType::Path, m_client, this);
    m_jobResources
        = new RobotResourceInterface(kJobResources, RobotResourceType::Job, m_client, this);
    m_areaResources
        = new RobotResourceInterface(kAreaResources, RobotResourceType::Area, m_client, this);
    m_artifactResources = new RobotResourceInterface(kArtifactResources,
                                                     RobotResourceType::Artifact, m_client, this);
    m_scheduleResources = new RobotResourceInterface(kScheduleResources,
                                                     RobotResourceType::Schedule, m_client, this);
    m_mapResources = new RobotMapResourceInterface(kMapResources, m_client, this);
    m_jobInterface = new RobotJobInterface(kJobActions, m_client, this);
    m_pathRecordingInterface = new RobotPathRecordingInterface(kPathRecording, m_client, this);
    m_telemetryInterface = new RobotTelemetryInterface(kTelemetry, m_client, this);
}

QFuture<bool> RobotConnection::connectCpp(const QUrl &url)
{
    return m_client->connect(url.host(QUrl::FullyDecoded), quint16(url.port(defaultPort)));
}

void RobotConnection::disconnect()
{
    m_client->disconnect();
}

RobotConnectionStatus::Status RobotConnection::status() const
{
    return m_client->connectionStatus();
}

QString RobotConnection::name() const
{
    return QStringLiteral("Sorvyn");
}

QString RobotConnection::serial() const
{
    return QStringLiteral("1");
}

IRobotResourceInterface *RobotConnection::pathResourceInterface() const
{
    return m_pathResources;
}

IRobotResourceInterface *RobotConnection::jobResourceInterface() const
{
    return m_jobResources;
}

IRobotResourceInterface *RobotConnection::areaResourceInterface() const
{
    return m_areaResources;
}

IRobotResourceInterface *RobotConnection::artifactResourceInterface() const
{
    return m_artifactResources;
}

IRobotResourceInterface *RobotConnection::scheduleResourceInterface() const
{
    return m_scheduleResources;
}

IRobotMapResourceInterface *RobotConnection::mapResourceInterface() const
{
    return m_mapResources;
}

IRobotResourceInterface *
RobotConnection::resourceInterfaceOf(RobotResourceType::ResourceType type) const
{
    switch (type) {
    case RobotResourceType::Path:
        return m_pathResources;
    case RobotResourceType::Job:
        return m_jobResources;
    case RobotResourceType::Area:
        return m_areaResources;
    case RobotResourceType::Artifact:
        return m_artifactResources;
    case RobotResourceType::Schedule:
        return m_scheduleResources;
    case RobotResourceType::Map:
        return m_mapResources;
    default:
        return nullptr;
    }
}
