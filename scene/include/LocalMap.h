#pragma once

#include "Coordinate.h"
#include "DistanceField.h"
#include "IRobotResource.h"
#include "Pose.h"

#include <QImage>
#include <QPointer>
#include <QSizeF>

class CoordinateConverter;
class OccupancyGridInfo;

// The map resource: a floor-plan image laid into a metric frame of its own (x right, y up the
// image), the placement of that frame in a global frame, and distance queries answered from the
// image's distance field.
class LocalMap : public IRobotResource
{
    Q_OBJECT
    Q_MOC_INCLUDE("CoordinateConverter.h")
    Q_MOC_INCLUDE("OccupancyGridInfo.h")
    Q_PROPERTY(QImage map READ map WRITE setMap NOTIFY mapChanged)
    Q_PROPERTY(QSizeF dimensions READ dimensions WRITE setDimensions NOTIFY dimensionsChanged)
    Q_PROPERTY(Coordinate local_origin READ localOrigin WRITE setLocalOrigin NOTIFY
                       localOriginChanged)
    Q_PROPERTY(CoordinateConverter *global_coordinate_info READ globalCoordinateInfo WRITE
                       setGlobalCoordinateInfo NOTIFY globalCoordinateInfoChanged)
    Q_PROPERTY(Pose global_pose READ globalPose WRITE setGlobalPose NOTIFY globalPoseChanged)
    Q_PROPERTY(OccupancyGridInfo *source READ source CONSTANT)

public:
    explicit LocalMap(QObject *parent = nullptr);
    LocalMap(const QString &name, const QImage &map, const QSizeF &dimensions,
             const Coordinate &localOrigin, CoordinateConverter *globalCoordinateInfo,
             const Pose &globalPose, const QUuid &uuid, const QUuid &group,
             const QDateTime &creationDate, QObject *parent = nullptr);

    QImage map() const { return m_map; }
    void setMap(const QImage &map);
    QSizeF dimensions() const { return m_dimensions; }
    // The cell size follows at once: the field counts pixels, so it stays valid, and QML may
    // assign the dimensions after the image.
    void setDimensions(const QSizeF &dimensions);
    Coordinate localOrigin() const { return m_localOrigin; }
    void setLocalOrigin(const Coordinate &origin);
    CoordinateConverter *globalCoordinateInfo() const { return m_globalCoordinateInfo; }
    // Adopts a converter without parent; the previous one stays where it is.
    void setGlobalCoordinateInfo(CoordinateConverter *converter);
    Pose globalPose() const { return m_globalPose; }
    void setGlobalPose(const Pose &pose);
    OccupancyGridInfo *source() const { return nullptr; }

    QSizeF cellSize() const { return m_cellSize; }
    const DistanceField &distanceField() const { return m_field; }

    // Metres from the position (local frame) to the centre of the nearest mapped cell;
    // +infinity when nothing is mapped, NaN for a NaN position.
    Q_INVOKABLE float getDistanceToMap(const Coordinate &position) const;
    // The centre of the nearest mapped cell; the position itself when nothing is mapped.
    Q_INVOKABLE Coordinate getClosestPointOnMap(const Coordinate &position) const;
    Q_INVOKABLE bool isInsideMap(const Coordinate &position) const;
    Q_INVOKABLE Coordinate globalToLocal(const Coordinate &c) const;
    Q_INVOKABLE Coordinate localToGlobal(const Coordinate &c) const;

    bool fullyResolved() const override;
    QList<RobotResourceId> resources() const override;
    QList<RobotResourceId> unresolvedResources() const override;
    void replaceResourceId(const RobotResourceId &oldId, const RobotResourceId &newId) override;

public slots:
    void resolveResource(RobotResourceId resourceId, orvane::shared_qptr<QObject> resource) override;

signals:
    void mapChanged();
    void dimensionsChanged();
    void globalCoordinateInfoChanged();
    void globalPoseChanged();
    void localOriginChanged();
    void sourceChanged();

private:
    struct Descent
    {
        double px = 0;
        double py = 0;
        int cx = 0;
        int cy = 0;
    };
    bool descend(const Coordinate &position, Descent &descent) const;
    void updateCellSize();

    QImage m_map;
    QSizeF m_dimensions;
    Coordinate m_localOrigin;
    QPointer<CoordinateConverter> m_globalCoordinateInfo;
    Pose m_globalPose;
    QSizeF m_cellSize{1, 1};
    DistanceField m_field;
};
