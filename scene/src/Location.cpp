#include "Location.h"

#include "JsonReaders.h"
#include "LocalMap.h"
#include "LocalRelativeCoordinateConverter.h"
#include "QmlSharedPointer.h"

#include <QJsonArray>
#include <QJSEngine>
#include <QPainter>

Location::Location(QObject *parent)
    : IRobotResource(RobotResourceType::Location, QStringLiteral("Location"), QUuid::createUuid(),
                     QUuid::createUuid(), QDateTime::currentDateTime(), parent)
    , m_localMap(QUuid())
{ }

Location::LocationType Location::locationType() const
{
    if (hasLocalMap())
        return hasGeoCoordinate() ? LocationType::Twilight : LocationType::Indoor;
    return hasGeoCoordinate() ? LocationType::Outdoor : LocationType::Unknown;
}

void Location::setGeoCoordinate(const QGeoCoordinate &coordinate)
{
    if (coordinate == m_geoCoordinate)
        return;
    const bool wasValid = m_geoCoordinate.isValid();
    m_geoCoordinate = coordinate;
    emit geoCoordinateChanged();
    emit previewImageChanged();
    if (wasValid != m_geoCoordinate.isValid())
        emit locationTypeChanged();
}

QmlSharedPointer *Location::localMapHandle() const
{
    const auto map = localMap();
    if (!map)
        return nullptr;
    return makeQmlSharedPointer(qjsEngine(this), map);
}

void Location::setLocalMapHandle(QmlSharedPointer *handle)
{
    setLocalMap(handle ? handle->as<LocalMap>() : orvane::shared_qptr<LocalMap>());
}

orvane::shared_qptr<LocalMap> Location::localMap() const
{
    if (const auto *held = std::get_if<orvane::shared_qptr<LocalMap>>(&m_localMap))
        return *held;
    return {};
}

QUuid Location::localMapId() const
{
    if (const auto map = localMap())
        return map->uuid();
    return std::get<QUuid>(m_localMap);
}

void Location::releaseMap()
{
    if (const auto map = localMap())
        disconnect(map.get(), nullptr, this, nullptr);
}

void Location::setMapConverter(LocalRelativeCoordinateConverter *converter)
{
    delete m_mapConverter;
    m_mapConverter = converter;
}

void Location::setLocalMap(orvane::shared_qptr<LocalMap> map)
{
    const bool hadMap = hasLocalMap();
    const QUuid newId = map ? map->uuid() : QUuid();
    const bool wasResolved = fullyResolved();
    if (newId == localMapId() && wasResolved)
        return;
    releaseMap();
    if (map) {
        m_localMap = map;
        setMapConverter(new LocalRelativeCoordinateConverter(map, this));
        connect(map.get(), &IRobotResourceOwner::fullyResolvedChanged, this,
                &IRobotResourceOwner::fullyResolvedChanged);
    } else {
        m_localMap = QUuid();
        setMapConverter(nullptr);
    }
    emit localMapIdChanged();
    emit localMapChanged();
    emit previewImageChanged();
    if (fullyResolved() != wasResolved)
        emit fullyResolvedChanged();
    if (hadMap != hasLocalMap())
        emit locationTypeChanged();
}

void Location::setLocalMapId(const QUuid &id)
{
    if (id == localMapId())
        return;
    const bool hadMap = hasLocalMap();
    const bool wasResolved = fullyResolved();
    releaseMap();
    m_localMap = id;
    setMapConverter(nullptr);
    emit localMapIdChanged();
    emit localMapChanged();
    emit previewImageChanged();
    if (fullyResolved() != wasResolved)
        emit fullyResolvedChanged();
    if (hadMap != hasLocalMap())
        emit locationTypeChanged();
}

bool Location::hasLocalMap() const
{
    return !localMapId().isNull();
}

bool Location::hasGeoCoordinate() const
{
    return m_geoCoordinate.isValid();
}

bool Location::isLocalMapResolved() const
{
    return localMap() != nullptr;
}

namespace {

QImage drawPreview(const QString &text, const QImage &picture)
{
    QImage image(512, 512, QImage::Format_ARGB32);
    image.fill(QColor(255, 255, 255, 0));
    QPainter painter(&image);
    if (!picture.isNull()) {
        const QImage scaled = picture.scaled(512, 512, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        painter.drawImage((512 - scaled.width()) / 2, (512 - scaled.height()) / 2, scaled);
    }
    painter.setPen(QColor(255, 0, 0));
    QFont font(QStringLiteral("Raleway"));
    font.setPointSize(24);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter | Qt::TextWordWrap, text);
    painter.end();
    return image;
}

} // namespace

QImage Location::previewImage() const
{
    const auto map = localMap();
    const QString where
            = m_geoCoordinate.toString(QGeoCoordinate::DegreesMinutesSecondsWithHemisphere);
    switch (locationType()) {
    case LocationType::Indoor:
        if (map)
            return map->map();
        return drawPreview(QObject::tr("Indoor %1").arg(localMapId().toString(QUuid::WithBraces)),
                           QImage());
    case LocationType::Outdoor:
        return drawPreview(QObject::tr("Outdoor location at %1").arg(where), QImage());
    case LocationType::Twilight:
        return drawPreview(QObject::tr("Outdoor and indoor location at %1").arg(where),
                           map ? map->map() : QImage());
    case LocationType::Unknown:
        break;
    }
    return drawPreview(QObject::tr("Unknown location"), QImage());
}

void Location::fromJson(JsonContext context, const QJsonObject &json)
{
    IRobotResource::fromJson(context, json);
    const QJsonValue world = json.value(QLatin1String("world_location"));
    if (world.isObject()) {
        const QJsonObject center = world.toObject().value(QLatin1String("center")).toObject();
        const auto number = [&center](const char *key) {
            return center.value(QLatin1String(key)).toDouble(0);
        };
        setGeoCoordinate(QGeoCoordinate(number("latitude"), number("longitude"), number("altitude")));
    }
    const QJsonValue maps = json.value(QLatin1String("local_maps"));
    if (maps.isArray() && !maps.toArray().isEmpty())
        setLocalMapId(readJsonUuid(maps.toArray().first()));
}

void Location::toJson(JsonContext context, QJsonObject &json) const
{
    IRobotResource::toJson(context, json);
    if (m_geoCoordinate.isValid()) {
        const double altitude = m_geoCoordinate.type() == QGeoCoordinate::Coordinate3D
                ? m_geoCoordinate.altitude()
                : 0.0;
        json.insert(QLatin1String("world_location"),
                    QJsonObject{{QLatin1String("center"),
                                 QJsonObject{{QLatin1String("latitude"), m_geoCoordinate.latitude()},
                                             {QLatin1String("longitude"), m_geoCoordinate.longitude()},
                                             {QLatin1String("altitude"), altitude}}}});
    }
    if (hasLocalMap())
        json.insert(QLatin1String("local_maps"),
                    QJsonArray{localMapId().toString(QUuid::WithBraces)});
}

bool Location::fullyResolved() const
{
    if (!hasLocalMap())
        return true;
    if (const auto map = localMap())
        return map->fullyResolved();
    return false;
}

QList<RobotResourceId> Location::resources() const
{
    QList<RobotResourceId> ids{resourceId()};
    if (hasLocalMap())
        ids << RobotResourceId(RobotResourceType::Map, localMapId());
    return ids;
}

QList<RobotResourceId> Location::unresolvedResources() const
{
    if (!hasLocalMap())
        return {};
    if (const auto map = localMap())
        return map->unresolvedResources();
    return {RobotResourceId(RobotResourceType::Map, localMapId())};
}

void Location::replaceResourceId(const RobotResourceId &oldId, const RobotResourceId &newId)
{
    if (oldId.type == RobotResourceType::Map && oldId.uuid == localMapId())
        setLocalMapId(newId.uuid);
}

void Location::resolveResource(RobotResourceId resourceId, orvane::shared_qptr<QObject> resource)
{
    if (resourceId.type != RobotResourceType::Map || resourceId.uuid != localMapId())
        return;
    auto *map = qobject_cast<LocalMap *>(resource.get());
    if (!map)
        return;
    setLocalMap(orvane::shared_qptr<LocalMap>(resource, map));
}
