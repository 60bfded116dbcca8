#pragma once

#include "Coordinate.h"
#include "Pose.h"
#include "PoseWithTwist.h"

#include <QGeoCoordinate>
#include <QImage>
#include <QObject>
#include <QQuaternion>
#include <QSizeF>

class CoordinateConverter;
class LocalRelativeCoordinateConverter;
class LocalTangentPlaneCoordinateConverter;
class QmlSharedPointer;

// The factories QML reaches as the singleton Scene.
class SceneFunctions : public QObject
{
    Q_OBJECT
    Q_MOC_INCLUDE("CoordinateConverter.h")
    Q_MOC_INCLUDE("LocalRelativeCoordinateConverter.h")
    Q_MOC_INCLUDE("LocalTangentPlaneCoordinateConverter.h")
    Q_MOC_INCLUDE("QmlSharedPointer.h")

public:
    using QObject::QObject;

    Q_INVOKABLE LocalTangentPlaneCoordinateConverter *
    localTangentPlaneCoordinateConverter(const QGeoCoordinate &reference) const;
    // A null handle, or one that holds no local map, gives a converter of the null map id.
    Q_INVOKABLE LocalRelativeCoordinateConverter *
    localRelativeCoordinateConverter(QmlSharedPointer *local_map) const;
    Q_INVOKABLE PoseWithTwist createPoseWithTwistFromCoordinate(const Coordinate &coordinate,
                                                                const QQuaternion &orientation) const;
    // Orientation all zero, not the identity.
    Q_INVOKABLE PoseWithTwist createPoseWithTwistFromCoordinate(const Coordinate &coordinate) const;
    Q_INVOKABLE Pose createPoseFromCoordinate(const Coordinate &coordinate,
                                              const QQuaternion &orientation) const;
    Q_INVOKABLE Pose createPoseFromCoordinate(const Coordinate &coordinate) const;
    Q_INVOKABLE Coordinate coordinate(double x, double y, double z) const;
    Q_INVOKABLE QmlSharedPointer *createEmptyLocalMap(const QSizeF &dimensions,
                                                      const Coordinate &local_origin,
                                                      const QString &filename = QString(),
                                                      const QString &name = QString(),
                                                      CoordinateConverter *global_coordinate_info
                                                      = nullptr,
                                                      const Pose &global_pose = Pose());
    Q_INVOKABLE QImage nullImage();
};
