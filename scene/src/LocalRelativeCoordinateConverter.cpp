#include "LocalRelativeCoordinateConverter.h"

#include "LocalMap.h"
#include "Location.h"
#include "MapContext.h"
#include "QmlSharedPointer.h"
#include "SceneLogging.h"

#include <QJSEngine>

Q_LOGGING_CATEGORY(lcLocalRelativeConverter, "Brastel.LocalRelativeCoordinateConverter",
                   QtDebugMsg)

LocalRelativeCoordinateConverter::LocalRelativeCoordinateConverter(const QUuid &mapId,
                                                                   QObject *parent)
    : CoordinateConverter(parent)
    , m_reference(mapId)
{ }

LocalRelativeCoordinateConverter::LocalRelativeCoordinateConverter(
        orvane::shared_qptr<LocalMap> map, QObject *parent)
    : CoordinateConverter(parent)
{
    if (map)
        m_reference = std::move(map);
    else
        m_reference = QUuid();
}

QmlSharedPointer *LocalRelativeCoordinateConverter::mapHandle() const
{
    const auto held = map();
    if (!held)
        return nullptr;
    return makeQmlSharedPointer(qjsEngine(this), held);
}

void LocalRelativeCoordinateConverter::setMapHandle(QmlSharedPointer *handle)
{
    setMap(handle ? handle->as<LocalMap>() : orvane::shared_qptr<LocalMap>());
}

orvane::shared_qptr<LocalMap> LocalRelativeCoordinateConverter::map() const
{
    if (const auto *held = std::get_if<orvane::shared_qptr<LocalMap>>(&m_reference))
        return *held;
    return {};
}

void LocalRelativeCoordinateConverter::setMap(orvane::shared_qptr<LocalMap> map)
{
    const auto held = this->map();
    if (map == held)
        return;
    if (map)
        m_reference = std::move(map);
    else
        m_reference = QUuid();
    emitReferenceChanged();
}

QUuid LocalRelativeCoordinateConverter::mapId() const
{
    if (const auto held = map())
        return held->uuid();
    return std::get<QUuid>(m_reference);
}

void LocalRelativeCoordinateConverter::setMapId(const QUuid &id)
{
    if (id == mapId())
        return;
    m_reference = id;
    emitReferenceChanged();
}

void LocalRelativeCoordinateConverter::emitReferenceChanged()
{
    emit mapChanged();
    emit mapIdChanged();
    emit fullyResolvedChanged();
}

CoordinateConverter *LocalRelativeCoordinateConverter::clone() const
{
    if (const auto held = map())
        return new LocalRelativeCoordinateConverter(held);
    return new LocalRelativeCoordinateConverter(std::get<QUuid>(m_reference));
}

QVector3D LocalRelativeCoordinateConverter::fallbackToScene(const Coordinate &c)
{
    return QVector3D(static_cast<float>(10 * c.x), static_cast<float>(10 * c.z),
                     static_cast<float>(-10 * c.y));
}

Coordinate LocalRelativeCoordinateConverter::fallbackFromScene(const QVector3D &s)
{
    return Coordinate(double(s.x()) / 10, -double(s.z()) / 10, double(s.y()) / 10);
}

QGeoCoordinate LocalRelativeCoordinateConverter::fallbackToGeo(const Coordinate &c)
{
    return QGeoCoordinate(-c.z, c.x, c.y);
}

Coordinate LocalRelativeCoordinateConverter::fallbackFromGeo(const QGeoCoordinate &g)
{
    return Coordinate(g.longitude(), g.altitude(), -g.latitude());
}

bool LocalRelativeCoordinateConverter::usesGlobalFrame(const MapContext *context) const
{
    const auto held = map();
    if (!held || !held->globalCoordinateInfo())
        return false;
    const Location *location = context->currentLocation().get();
    return !location || location->locationType() != Location::LocationType::Indoor;
}

QVector3D LocalRelativeCoordinateConverter::convertToScene(Coordinate c,
                                                           const MapContext *context) const
{
    if (!context) {
        qCWarning(lcLocalRelativeConverter) << "convertToScene: no map context given";
        return nanVector();
    }
    if (std::holds_alternative<QUuid>(m_reference))
        qCWarning(lcLocalRelativeConverter,
                  "Local map definition is either missing or incomplete (convertToScene): scene "
                  "coordinate is assumed to be the same as local coordinate, in different axis "
                  "orientation");
    if (usesGlobalFrame(context)) {
        const ConverterDepthGuard depth;
        if (depth.exceeded()) {
            qCWarning(lcLocalRelativeConverter)
                    << "convertToScene: the map's global frame leads back to itself";
            return nanVector();
        }
        const auto held = map(); // kept alive for the call
        return held->globalCoordinateInfo()->convertToScene(held->localToGlobal(c), context);
    }
    return fallbackToScene(c);
}

Coordinate LocalRelativeCoordinateConverter::convertFromScene(QVector3D p,
                                                              const MapContext *context) const
{
    if (!context) {
        qCWarning(lcLocalRelativeConverter) << "convertFromScene: no map context given";
        return nanCoordinate();
    }
    if (std::holds_alternative<QUuid>(m_reference))
        qCWarning(lcLocalRelativeConverter,
                  "Local map definition is either missing or incomplete (convertFromScene): "
                  "scene coordinate is assumed to be the same as local coordinate, in different "
                  "axis orientation");
    if (usesGlobalFrame(context)) {
        const ConverterDepthGuard depth;
        if (depth.exceeded()) {
            qCWarning(lcLocalRelativeConverter)
                    << "convertFromScene: the map's global frame leads back to itself";
            return nanCoordinate();
        }
        const auto held = map();
        return held->globalToLocal(held->globalCoordinateInfo()->convertFromScene(p, context));
    }
    return fallbackFromScene(p);
}

QGeoCoordinate LocalRelativeCoordinateConverter::convertToGeo(Coordinate c) const
{
    const auto held = map();
    if (held && held->globalCoordinateInfo()
        && held->globalCoordinateInfo()->type() != local_relative)
        return held->globalCoordinateInfo()->convertToGeo(held->localToGlobal(c));
    qCWarning(lcLocalRelativeConverter,
              "Local map does not have global reference (or the reference is not available) "
              "(convertToGeo): no logical conversion possible, converting directly, taking into "
              "account different axes orientations");
    return fallbackToGeo(c);
}

Coordinate LocalRelativeCoordinateConverter::convertFromGeo(QGeoCoordinate g) const
{
    const auto held = map();
    if (held && held->globalCoordinateInfo()
        && held->globalCoordinateInfo()->type() != local_relative)
        return held->globalToLocal(held->globalCoordinateInfo()->convertFromGeo(g));
    qCWarning(lcLocalRelativeConverter,
              "Local map does not have global reference (or the reference is not available) "
              "(convertFromGeo): no logical conversion possible, converting directly, taking "
              "into account different axes orientations");
    return fallbackFromGeo(g);
}

bool LocalRelativeCoordinateConverter::fullyResolved() const
{
    const auto held = map();
    if (!held)
        return false;
    const ConverterDepthGuard depth;
    if (depth.exceeded()) {
        qCWarning(lcLocalRelativeConverter) << "fullyResolved: the map's global frame leads back "
                                               "to itself";
        return true;
    }
    return held->fullyResolved();
}

QList<RobotResourceId> LocalRelativeCoordinateConverter::resources() const
{
    return {RobotResourceId(RobotResourceType::Map, mapId())};
}

QList<RobotResourceId> LocalRelativeCoordinateConverter::unresolvedResources() const
{
    const auto held = map();
    if (!held)
        return resources();
    const ConverterDepthGuard depth;
    if (depth.exceeded()) {
        qCWarning(lcLocalRelativeConverter) << "unresolvedResources: the map's global frame leads "
                                               "back to itself";
        return {};
    }
    return held->unresolvedResources();
}

void LocalRelativeCoordinateConverter::replaceResourceId(const RobotResourceId &oldId,
                                                         const RobotResourceId &newId)
{
    if (oldId.type != RobotResourceType::Map || oldId.uuid != mapId() || newId.uuid == mapId())
        return;
    m_reference = newId.uuid;
    emitReferenceChanged();
}

void LocalRelativeCoordinateConverter::resolveResource(RobotResourceId resourceId,
                                                       orvane::shared_qptr<QObject> resource)
{
    const QUuid *id = std::get_if<QUuid>(&m_reference);
    if (!id || resourceId.type != RobotResourceType::Map || resourceId.uuid != *id || !resource)
        return;
    auto *localMap = qobject_cast<LocalMap *>(resource.get());
    if (!localMap) {
        qCWarning(lcLocalRelativeConverter) << "resolveResource: the object given for"
                                            << resourceId << "is not a local map";
        return;
    }
    setMap(orvane::shared_qptr<LocalMap>(resource, localMap));
}
