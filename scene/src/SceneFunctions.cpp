#include "SceneFunctions.h"

#include "LocalMap.h"
#include "LocalRelativeCoordinateConverter.h"
#include "LocalTangentPlaneCoordinateConverter.h"
#include "QmlSharedPointer.h"

#include <QJSEngine>

LocalTangentPlaneCoordinateConverter *
SceneFunctions::localTangentPlaneCoordinateConverter(const QGeoCoordinate &reference) const
{
    return new LocalTangentPlaneCoordinateConverter(reference);
}

LocalRelativeCoordinateConverter *
SceneFunctions::localRelativeCoordinateConverter(QmlSharedPointer *local_map) const
{
    return new LocalRelativeCoordinateConverter(local_map ? local_map->as<LocalMap>()
                                                          : orvane::shared_qptr<LocalMap>());
}

PoseWithTwist SceneFunctions::createPoseWithTwistFromCoordinate(const Coordinate &coordinate,
                                                                const QQuaternion &orientation) const
{
    return PoseWithTwist(Pose(coordinate, orientation));
}

PoseWithTwist SceneFunctions::createPoseWithTwistFromCoordinate(const Coordinate &coordinate) const
{
    return createPoseWithTwistFromCoordinate(coordinate, QQuaternion(0, 0, 0, 0));
}

Pose SceneFunctions::createPoseFromCoordinate(const Coordinate &coordinate,
                                              const QQuaternion &orientation) const
{
    return Pose(coordinate, orientation);
}

Pose SceneFunctions::createPoseFromCoordinate(const Coordinate &coordinate) const
{
    return Pose(coordinate, QQuaternion(0, 0, 0, 0));
}

Coordinate SceneFunctions::coordinate(double x, double y, double z) const
{
    return Coordinate(x, y, z);
}

QmlSharedPointer *SceneFunctions::createEmptyLocalMap(const QSizeF &dimensions,
                                                      const Coordinate &local_origin,
                                                      const QString &filename, const QString &name,
                                                      CoordinateConverter *global_coordinate_info,
                                                      const Pose &global_pose)
{
    const QImage image = filename.isEmpty() ? QImage() : QImage(filename);
    QJSEngine *engine = qjsEngine(this);
    auto map = orvane::make_shared_qptr<LocalMap>(
            engine, name, image, dimensions, local_origin, global_coordinate_info, global_pose,
            QUuid::createUuid(), QUuid::createUuid(), QDateTime::currentDateTime(), nullptr);
    return makeQmlSharedPointer(engine, map);
}

QImage SceneFunctions::nullImage()
{
    return QImage();
}
