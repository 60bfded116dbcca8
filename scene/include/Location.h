#pragma once

#include "IRobotResource.h"

#include <QGeoCoordinate>
#include <QImage>

#include <variant>

class LocalMap;
class LocalRelativeCoordinateConverter;
class QmlSharedPointer;

// The location resource: a site placed on the earth by a geo coordinate, described by a local
// map, or both. It refers to its local map by id until the map object is bound.
class Location : public IRobotResource
{
    Q_OBJECT
    Q_MOC_INCLUDE("QmlSharedPointer.h")
    Q_PROPERTY(LocationType locationType READ locationType NOTIFY locationTypeChanged)
    Q_PROPERTY(QGeoCoordinate geoCoordinate READ geoCoordinate WRITE setGeoCoordinate NOTIFY
                       geoCoordinateChanged)
    Q_PROPERTY(QmlSharedPointer *localMap READ localMapHandle WRITE setLocalMapHandle NOTIFY
                       localMapChanged)
    Q_PROPERTY(QUuid localMapId READ localMapId WRITE setLocalMapId NOTIFY localMapIdChanged)
    Q_PROPERTY(QImage previewImage READ previewImage NOTIFY previewImageChanged)

public:
    enum class LocationType { Indoor = 0, Outdoor = 1, Twilight = 2, Unknown = 3 };
    Q_ENUM(LocationType)

    explicit Location(QObject *parent = nullptr);

    LocationType locationType() const;
    QGeoCoordinate geoCoordinate() const { return m_geoCoordinate; }
    void setGeoCoordinate(const QGeoCoordinate &coordinate);
    QmlSharedPointer *localMapHandle() const;
    void setLocalMapHandle(QmlSharedPointer *handle);
    orvane::shared_qptr<LocalMap> localMap() const;
    void setLocalMap(orvane::shared_qptr<LocalMap> map);
    QUuid localMapId() const;
    void setLocalMapId(const QUuid &id);
    // Drawn anew on each read.
    QImage previewImage() const;
    // The converter of the bound map's frame; null unless a map object is bound.
    LocalRelativeCoordinateConverter *mapConverter() const { return m_mapConverter; }

    Q_INVOKABLE bool hasLocalMap() const;
    Q_INVOKABLE bool hasGeoCoordinate() const;
    Q_INVOKABLE bool isLocalMapResolved() const;

    void fromJson(JsonContext context, const QJsonObject &json) override;
    void toJson(JsonContext context, QJsonObject &json) const override;

    bool fullyResolved() const override;
    QList<RobotResourceId> resources() const override;
    QList<RobotResourceId> unresolvedResources() const override;
    void replaceResourceId(const RobotResourceId &oldId, const RobotResourceId &newId) override;

public slots:
    void resolveResource(RobotResourceId resourceId, orvane::shared_qptr<QObject> resource) override;

signals:
    void locationTypeChanged();
    void geoCoordinateChanged();
    void localMapChanged();
    void localMapIdChanged();
    void previewImageChanged();

private:
    void releaseMap();
    void setMapConverter(LocalRelativeCoordinateConverter *converter);

    QGeoCoordinate m_geoCoordinate;
    std::variant<QUuid, orvane::shared_qptr<LocalMap>> m_localMap;
    LocalRelativeCoordinateConverter *m_mapConverter = nullptr;
};
