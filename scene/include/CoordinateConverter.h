#pragma once

#include "Coordinate.h"
#include "IRobotResourceOwner.h"

#include <QGeoCoordinate>
#include <QVector3D>

class MapContext;

// The frame of robot coordinates: converts a Coordinate of its frame to and from geographic
// coordinates and scene positions of a MapContext. Chaining two converters through the scene
// converts between any two frames.
class CoordinateConverter : public IRobotResourceOwner
{
    Q_OBJECT
    Q_MOC_INCLUDE("MapContext.h")
    Q_PROPERTY(Type type READ type CONSTANT)

public:
    enum Type { local_relative = 0, local_tangent_plane = 1, utm = 2, unknown = 3 };
    Q_ENUM(Type)

    using IRobotResourceOwner::IRobotResourceOwner;

    Q_INVOKABLE virtual CoordinateConverter *clone() const = 0;
    virtual Type type() const = 0;
    // A null context (QML may pass one) gives a NaN position with a warning.
    Q_INVOKABLE virtual QVector3D convertToScene(Coordinate c, const MapContext *context) const = 0;
    Q_INVOKABLE virtual Coordinate convertFromScene(QVector3D p,
                                                    const MapContext *context) const = 0;
    virtual QGeoCoordinate convertToGeo(Coordinate c) const = 0;
    virtual Coordinate convertFromGeo(QGeoCoordinate g) const = 0;

    // c from srcFrame's frame into this one, through the scene of context.
    Q_INVOKABLE Coordinate fromCoordinateFrame(Coordinate c, const CoordinateConverter *srcFrame,
                                               const MapContext *context) const;

    static Coordinate nanCoordinate();
    static QVector3D nanVector();
};

Q_DECLARE_METATYPE(CoordinateConverter *)
