#pragma once

#include "CoordinateConverter.h"

#include <QUuid>

#include <variant>

class LocalMap;
class QmlSharedPointer;

// Coordinates in the frame of a local map. It refers to the map by id until the map object is
// bound; conversions go through the map's global converter, or fall back to a fixed exchange
// and scaling of axes.
class LocalRelativeCoordinateConverter : public CoordinateConverter
{
    Q_OBJECT
    Q_MOC_INCLUDE("QmlSharedPointer.h")
    Q_PROPERTY(QmlSharedPointer *map READ mapHandle WRITE setMapHandle NOTIFY mapChanged)
    Q_PROPERTY(QUuid mapId READ mapId WRITE setMapId NOTIFY mapIdChanged)

public:
    explicit LocalRelativeCoordinateConverter(const QUuid &mapId, QObject *parent = nullptr);
    explicit LocalRelativeCoordinateConverter(orvane::shared_qptr<LocalMap> map,
                                              QObject *parent = nullptr);

    // A new handle on every read; null while only an id is held.
    QmlSharedPointer *mapHandle() const;
    void setMapHandle(QmlSharedPointer *handle);
    orvane::shared_qptr<LocalMap> map() const;
    void setMap(orvane::shared_qptr<LocalMap> map);
    QUuid mapId() const;
    void setMapId(const QUuid &id);

    CoordinateConverter *clone() const override;
    Type type() const override { return local_relative; }
    QVector3D convertToScene(Coordinate c, const MapContext *context) const override;
    Coordinate convertFromScene(QVector3D p, const MapContext *context) const override;
    QGeoCoordinate convertToGeo(Coordinate c) const override;
    Coordinate convertFromGeo(QGeoCoordinate g) const override;

    bool fullyResolved() const override;
    QList<RobotResourceId> resources() const override;
    QList<RobotResourceId> unresolvedResources() const override;
    void replaceResourceId(const RobotResourceId &oldId, const RobotResourceId &newId) override;

    // The fixed axis exchange used when no global frame is usable.
    static QVector3D fallbackToScene(const Coordinate &c);
    static Coordinate fallbackFromScene(const QVector3D &s);
    static QGeoCoordinate fallbackToGeo(const Coordinate &c);
    static Coordinate fallbackFromGeo(const QGeoCoordinate &g);

public slots:
    void resolveResource(RobotResourceId resourceId, orvane::shared_qptr<QObject> resource) override;

signals:
    void mapChanged();
    void mapIdChanged();

private:
    void emitReferenceChanged();
    // The bound map's global converter when the scene conversions may use it.
    bool usesGlobalFrame(const MapContext *context) const;

    std::variant<QUuid, orvane::shared_qptr<LocalMap>> m_reference;
};
