#pragma once

#include "Coordinate.h"
#include "Location.h"
#include "QObjectPointers.h"

#include <QGeoCoordinate>
#include <QObject>
#include <QVector3D>

class QmlSharedPointer;

// The frame of a QML scene: a web-Mercator tiling at a zoom level, a tile size in scene units
// and the current location's geo coordinate as the scene origin. An indoor location converts
// through its map's frame instead.
class MapContext : public QObject
{
    Q_OBJECT
    Q_MOC_INCLUDE("QmlSharedPointer.h")
    Q_PROPERTY(QmlSharedPointer *location READ locationHandle WRITE setLocationHandle NOTIFY
                       locationChanged)
    Q_PROPERTY(Coordinate worldReferenceMercator READ worldReferenceMercator NOTIFY
                       worldReferenceMercatorChanged)
    Q_PROPERTY(int zoomLevel READ zoomLevel WRITE setZoomLevel NOTIFY zoomLevelChanged)
    Q_PROPERTY(float tileSize READ tileSize WRITE setTileSize NOTIFY tileSizeChanged)
    // Never changes; a binding that reads it is re-evaluated on every change of the frame.
    Q_PROPERTY(bool detectChanges READ detectChanges NOTIFY contextChanged)
    Q_PROPERTY(Location::LocationType locationType READ locationType NOTIFY locationTypeChanged)

public:
    explicit MapContext(QObject *parent = nullptr);

    QmlSharedPointer *locationHandle() const;
    void setLocationHandle(QmlSharedPointer *handle);
    orvane::shared_qptr<Location> currentLocation() const { return m_location; }
    void setLocation(orvane::shared_qptr<Location> location);
    Coordinate worldReferenceMercator() const { return m_worldReference; }
    int zoomLevel() const { return m_zoomLevel; }
    void setZoomLevel(int zoom);
    float tileSize() const { return m_tileSize; }
    void setTileSize(float size);
    bool detectChanges() const { return false; }
    Location::LocationType locationType() const;

    Q_INVOKABLE QVector3D toSceneCoordinate(const QGeoCoordinate &coordinate) const;
    Q_INVOKABLE QGeoCoordinate fromSceneCoordinate(const QVector3D &sceneCoordinate) const;
    Q_INVOKABLE Coordinate toWebMercatorCoordinate(const QGeoCoordinate &coordinate) const;
    Q_INVOKABLE QGeoCoordinate fromWebMercatorCoordinate(const Coordinate &coordinate) const;
    Q_INVOKABLE double tileWidthAtLatitude(double lat) const;

signals:
    void contextChanged();
    void zoomLevelChanged();
    void tileSizeChanged();
    void locationChanged();
    void worldReferenceMercatorChanged();
    void locationTypeChanged();

private:
    // 2^zoom in floating point: defined for every zoom QML can write.
    double tiles() const;
    bool isIndoor() const;
    void updateWorldReference();

    int m_zoomLevel = 1;
    float m_tileSize = 100;
    Coordinate m_worldReference;
    orvane::shared_qptr<Location> m_location;
};
