#pragma once

#include "CoordinateConverter.h"

// Easting, northing and altitude in one UTM zone and hemisphere, each less a fixed offset.
// Input GeographicLib refuses (a point too far from the zone, a zone outside 1..60, latitudes
// past the UTM limits) gives NaN or an invalid coordinate with a warning.
class UTMCoordinateConverter : public CoordinateConverter
{
    Q_OBJECT
    Q_PROPERTY(Coordinate offset READ offset WRITE setOffset NOTIFY offsetChanged)
    Q_PROPERTY(int zone READ zone WRITE setZone NOTIFY zoneChanged)
    Q_PROPERTY(bool north READ north WRITE setNorth NOTIFY northChanged)

public:
    UTMCoordinateConverter(const Coordinate &offset, int zone, bool north,
                           QObject *parent = nullptr);

    Coordinate offset() const { return m_offset; }
    void setOffset(const Coordinate &offset);
    int zone() const { return m_zone; }
    void setZone(int zone);
    bool north() const { return m_north; }
    void setNorth(bool north);

    CoordinateConverter *clone() const override;
    Type type() const override { return utm; }
    QVector3D convertToScene(Coordinate c, const MapContext *context) const override;
    Coordinate convertFromScene(QVector3D p, const MapContext *context) const override;
    QGeoCoordinate convertToGeo(Coordinate c) const override;
    Coordinate convertFromGeo(QGeoCoordinate g) const override;

    bool fullyResolved() const override { return true; }
    QList<RobotResourceId> resources() const override { return {}; }
    QList<RobotResourceId> unresolvedResources() const override { return {}; }

signals:
    void offsetChanged();
    void zoneChanged();
    void northChanged();

private:
    Coordinate m_offset;
    int m_zone;
    bool m_north;
};
