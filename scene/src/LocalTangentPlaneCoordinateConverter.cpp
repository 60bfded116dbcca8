#include "LocalTangentPlaneCoordinateConverter.h"

#include "MapContext.h"
#include "SceneLogging.h"

#include <GeographicLib/Geocentric.hpp>

namespace {
double heightOf(const QGeoCoordinate &reference)
{
    return reference.type() == QGeoCoordinate::Coordinate3D ? reference.altitude() : 0.0;
}
} // namespace

LocalTangentPlaneCoordinateConverter::LocalTangentPlaneCoordinateConverter(
        const QGeoCoordinate &reference, QObject *parent)
    : CoordinateConverter(parent)
    , m_frame(reference.latitude(), reference.longitude(), heightOf(reference),
              GeographicLib::Geocentric::WGS84())
{ }

QGeoCoordinate LocalTangentPlaneCoordinateConverter::reference() const
{
    return QGeoCoordinate(m_frame.LatitudeOrigin(), m_frame.LongitudeOrigin(),
                          m_frame.HeightOrigin());
}

void LocalTangentPlaneCoordinateConverter::setReference(const QGeoCoordinate &reference)
{
    if (reference == this->reference())
        return;
    m_frame.Reset(reference.latitude(), reference.longitude(), heightOf(reference));
    emit referenceChanged();
}

CoordinateConverter *LocalTangentPlaneCoordinateConverter::clone() const
{
    auto *copy = new LocalTangentPlaneCoordinateConverter(reference());
    copy->m_frame = m_frame;
    return copy;
}

QVector3D LocalTangentPlaneCoordinateConverter::convertToScene(Coordinate c,
                                                               const MapContext *context) const
{
    if (!context) {
        qCWarning(lcCoordinateConverter) << "convertToScene: no map context given";
        return nanVector();
    }
    return context->toSceneCoordinate(convertToGeo(c));
}

Coordinate LocalTangentPlaneCoordinateConverter::convertFromScene(QVector3D p,
                                                                  const MapContext *context) const
{
    if (!context) {
        qCWarning(lcCoordinateConverter) << "convertFromScene: no map context given";
        return nanCoordinate();
    }
    return convertFromGeo(context->fromSceneCoordinate(p));
}

QGeoCoordinate LocalTangentPlaneCoordinateConverter::convertToGeo(Coordinate c) const
{
    double latitude = 0, longitude = 0, height = 0;
    m_frame.Reverse(c.x, c.y, c.z, latitude, longitude, height);
    return QGeoCoordinate(latitude, longitude, height);
}

Coordinate LocalTangentPlaneCoordinateConverter::convertFromGeo(QGeoCoordinate g) const
{
    double x = 0, y = 0, z = 0;
    m_frame.Forward(g.latitude(), g.longitude(), g.altitude(), x, y, z);
    return Coordinate(x, y, z);
}
