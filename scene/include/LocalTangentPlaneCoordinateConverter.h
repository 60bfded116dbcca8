#pragma once

#include "CoordinateConverter.h"

#include <GeographicLib/LocalCartesian.hpp>

// East, north and up in metres around a geographic reference on the WGS84 ellipsoid.
class LocalTangentPlaneCoordinateConverter : public CoordinateConverter
{
    Q_OBJECT
    Q_PROPERTY(QGeoCoordinate reference READ reference WRITE setReference NOTIFY referenceChanged)

public:
    explicit LocalTangentPlaneCoordinateConverter(const QGeoCoordinate &reference,
                                                  QObject *parent = nullptr);

    QGeoCoordinate reference() const;
    // A two-dimensional reference gives the height 0.
    void setReference(const QGeoCoordinate &reference);

    CoordinateConverter *clone() const override;
    Type type() const override { return local_tangent_plane; }
    QVector3D convertToScene(Coordinate c, const MapContext *context) const override;
    Coordinate convertFromScene(QVector3D p, const MapContext *context) const override;
    QGeoCoordinate convertToGeo(Coordinate c) const override;
    Coordinate convertFromGeo(QGeoCoordinate g) const override;

    bool fullyResolved() const override { return true; }
    QList<RobotResourceId> resources() const override { return {}; }
    QList<RobotResourceId> unresolvedResources() const override { return {}; }

signals:
    void referenceChanged();

private:
    GeographicLib::LocalCartesian m_frame;
};
