#include "UTMCoordinateConverter.h"

#include "MapContext.h"
#include "SceneLogging.h"

#include <GeographicLib/UTMUPS.hpp>

#include <exception>

UTMCoordinateConverter::UTMCoordinateConverter(const Coordinate &offset, int zone, bool north,
                                               QObject *parent)
    : CoordinateConverter(parent)
    , m_offset(offset)
    , m_zone(zone)
    , m_north(north)
{ }

void UTMCoordinateConverter::setOffset(const Coordinate &offset)
{
    if (offset.x == m_offset.x && offset.y == m_offset.y && offset.z == m_offset.z)
        return;
    m_offset = offset;
    emit offsetChanged();
}

void UTMCoordinateConverter::setZone(int zone)
{
    if (zone == m_zone)
        return;
    m_zone = zone;
    emit zoneChanged();
}

void UTMCoordinateConverter::setNorth(bool north)
{
    if (north == m_north)
        return;
    m_north = north;
    emit northChanged();
}

CoordinateConverter *UTMCoordinateConverter::clone() const
{
    return new UTMCoordinateConverter(m_offset, m_zone, m_north);
}

QVector3D UTMCoordinateConverter::convertToScene(Coordinate c, const MapContext *context) const
{
    if (!context) {
        qCWarning(lcCoordinateConverter) << "convertToScene: no map context given";
        return nanVector();
    }
    return context->toSceneCoordinate(convertToGeo(c));
}

Coordinate UTMCoordinateConverter::convertFromScene(QVector3D p, const MapContext *context) const
{
    if (!context) {
        qCWarning(lcCoordinateConverter) << "convertFromScene: no map context given";
        return nanCoordinate();
    }
    return convertFromGeo(context->fromSceneCoordinate(p));
}

QGeoCoordinate UTMCoordinateConverter::convertToGeo(Coordinate c) const
{
    double latitude = 0, longitude = 0;
    try {
        GeographicLib::UTMUPS::Reverse(m_zone, m_north, c.x + m_offset.x, c.y + m_offset.y,
                                       latitude, longitude, false);
    } catch (const std::exception &error) {
        qCWarning(lcCoordinateConverter) << "UTM zone" << m_zone << (m_north ? "north" : "south")
                                         << "cannot convert" << c << ":" << error.what();
        return QGeoCoordinate();
    }
    return QGeoCoordinate(latitude, longitude, c.z + m_offset.z);
}

Coordinate UTMCoordinateConverter::convertFromGeo(QGeoCoordinate g) const
{
    int zone = 0;
    bool north = false;
    double x = 0, y = 0;
    try {
        GeographicLib::UTMUPS::Forward(g.latitude(), g.longitude(), zone, north, x, y, m_zone,
                                       false);
    } catch (const std::exception &error) {
        qCWarning(lcCoordinateConverter) << "UTM zone" << m_zone << "cannot convert" << g << ":"
                                         << error.what();
        return nanCoordinate();
    }
    if (zone != m_zone || north != m_north)
        qWarning() << "Coordinate " << g << " does not fall into the current UTM zone";
    return Coordinate(x - m_offset.x, y - m_offset.y, g.altitude() - m_offset.z);
}
