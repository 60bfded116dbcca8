#include "MapContext.h"

#include "LocalRelativeCoordinateConverter.h"
#include "QmlSharedPointer.h"
#include "SceneLogging.h"

#include <QJSEngine>

#include <cmath>
#include <limits>
#include <numbers>

Q_LOGGING_CATEGORY(lcMapContext, "Scene.MapContext")

namespace {
constexpr double degreesToRadians = 0.017453292519943295;
constexpr double radiansToDegrees = 57.29577951308232;
constexpr double pi = std::numbers::pi;
constexpr double pixelsPerRadian = 40.74366543152521; // 256 / 2π
} // namespace

MapContext::MapContext(QObject *parent)
    : QObject(parent)
{
    connect(this, &MapContext::locationChanged, this, &MapContext::contextChanged);
    connect(this, &MapContext::zoomLevelChanged, this, &MapContext::contextChanged);
    connect(this, &MapContext::tileSizeChanged, this, &MapContext::contextChanged);
}

QmlSharedPointer *MapContext::locationHandle() const
{
    if (!m_location)
        return nullptr;
    return makeQmlSharedPointer(qjsEngine(this), m_location);
}

void MapContext::setLocationHandle(QmlSharedPointer *handle)
{
    setLocation(handle ? handle->as<Location>() : orvane::shared_qptr<Location>());
}

void MapContext::setLocation(orvane::shared_qptr<Location> location)
{
    if (location == m_location)
        return;
    if (m_location)
        disconnect(m_location.get(), nullptr, this, nullptr);
    m_location = std::move(location);
    if (m_location) {
        connect(m_location.get(), &Location::geoCoordinateChanged, this, [this] {
            updateWorldReference();
            emit worldReferenceMercatorChanged();
        });
        connect(m_location.get(), &Location::locationTypeChanged, this,
                &MapContext::locationTypeChanged);
    }
    updateWorldReference();
    emit locationChanged();
    emit worldReferenceMercatorChanged();
    emit locationTypeChanged();
}

void MapContext::setZoomLevel(int zoom)
{
    if (zoom == m_zoomLevel)
        return;
    m_zoomLevel = zoom;
    updateWorldReference();
    emit zoomLevelChanged();
    emit worldReferenceMercatorChanged();
}

void MapContext::setTileSize(float size)
{
    if (size == m_tileSize)
        return;
    m_tileSize = size;
    emit tileSizeChanged();
}

Location::LocationType MapContext::locationType() const
{
    return m_location ? m_location->locationType() : Location::LocationType::Unknown;
}

double MapContext::tiles() const
{
    return std::ldexp(1.0, m_zoomLevel);
}

bool MapContext::isIndoor() const
{
    return m_location && m_location->locationType() == Location::LocationType::Indoor;
}

void MapContext::updateWorldReference()
{
    if (m_location && m_location->geoCoordinate().isValid())
        m_worldReference = toWebMercatorCoordinate(m_location->geoCoordinate());
    else
        m_worldReference = Coordinate();
}

double MapContext::tileWidthAtLatitude(double lat) const
{
    const double phi = lat * degreesToRadians;
    const double c = std::cos(phi);
    const double s = std::sin(phi);
    const double a = 6378137;
    const double b = 6356752;
    const double r = std::sqrt((std::pow(a * a * c, 2) + std::pow(b * b * s, 2))
                               / (std::pow(a * c, 2) + std::pow(b * s, 2)));
    return 2 * pi * r * c / tiles();
}

Coordinate MapContext::toWebMercatorCoordinate(const QGeoCoordinate &coordinate) const
{
    const double phi = coordinate.latitude() * degreesToRadians;
    const double lambda = coordinate.longitude() * degreesToRadians;
    const double x = tiles() * pixelsPerRadian * (lambda + pi);
    const double y = tiles() * pixelsPerRadian * (pi - std::log(std::tan(phi / 2 + pi / 4)));
    const double z = coordinate.altitude() * 256 / tileWidthAtLatitude(coordinate.latitude());
    return Coordinate(x, y, z);
}

QGeoCoordinate MapContext::fromWebMercatorCoordinate(const Coordinate &coordinate) const
{
    const double n = tiles() * 256;
    const double latitude
            = (2 * std::atan(std::exp(pi - coordinate.y * 2 * pi / n)) - pi / 2) * radiansToDegrees;
    const double longitude = (coordinate.x * 2 * pi / n - pi) * radiansToDegrees;
    const double altitude = coordinate.z / (256 / tileWidthAtLatitude(latitude));
    return QGeoCoordinate(latitude, longitude, altitude);
}

QVector3D MapContext::toSceneCoordinate(const QGeoCoordinate &coordinate) const
{
    if (isIndoor()) {
        const LocalRelativeCoordinateConverter *converter = m_location->mapConverter();
        if (!converter) {
            qCWarning(lcMapContext) << "toSceneCoordinate: the indoor location has no bound map";
            return CoordinateConverter::nanVector();
        }
        const Coordinate p = converter->convertFromGeo(coordinate);
        return QVector3D(static_cast<float>(10 * p.x), static_cast<float>(10 * p.z),
                         static_cast<float>(-10 * p.y));
    }
    const Coordinate m = toWebMercatorCoordinate(coordinate);
    const double scale = m_tileSize / 256.0;
    return QVector3D(static_cast<float>((m.x - m_worldReference.x) * scale),
                     static_cast<float>((m.z - m_worldReference.z) * scale),
                     static_cast<float>((m.y - m_worldReference.y) * scale));
}

QGeoCoordinate MapContext::fromSceneCoordinate(const QVector3D &v) const
{
    if (isIndoor()) {
        const LocalRelativeCoordinateConverter *converter = m_location->mapConverter();
        if (!converter) {
            qCWarning(lcMapContext) << "fromSceneCoordinate: the indoor location has no bound map";
            return QGeoCoordinate();
        }
        return converter->convertToGeo(
                Coordinate(double(v.x()) / 10, -double(v.z()) / 10, double(v.y()) / 10));
    }
    const double scale = 256.0 / m_tileSize;
    return fromWebMercatorCoordinate(Coordinate(v.x() * scale + m_worldReference.x,
                                                v.z() * scale + m_worldReference.y,
                                                v.y() * scale + m_worldReference.z));
}
