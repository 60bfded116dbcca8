#pragma once

#include "Coordinate.h"
#include "Pose.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QSizeF>
#include <QUuid>

class CoordinateConverter;

// A plain record describing an occupancy grid: identity, grid data, sizes, origin, placement.
class OccupancyGridInfo : public QObject
{
    Q_OBJECT
    Q_MOC_INCLUDE("CoordinateConverter.h")
    Q_PROPERTY(QUuid uuid READ uuid WRITE setUuid NOTIFY idChanged)
    Q_PROPERTY(QUuid group_id READ groupId WRITE setGroupId NOTIFY groupIdChanged)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QDateTime creation_date READ creationDate WRITE setCreationDate NOTIFY
                       creationDateChanged)
    Q_PROPERTY(QList<qint8> mapData READ mapData NOTIFY mapDataChanged)
    Q_PROPERTY(QSizeF mapWorldSize READ mapWorldSize WRITE setMapWorldSize NOTIFY
                       mapWorldSizeChanged)
    Q_PROPERTY(QSize mapSize READ mapSize NOTIFY mapSizeChanged)
    Q_PROPERTY(Coordinate origin READ origin WRITE setOrigin NOTIFY originChanged)
    Q_PROPERTY(Pose globalTransformation READ globalTransformation WRITE setGlobalTransformation
                       NOTIFY globalTransformationChanged)
    Q_PROPERTY(CoordinateConverter *globalReferenceFrame READ globalReferenceFrame WRITE
                       setGlobalReferenceFrame NOTIFY globalReferenceFrameChanged)

public:
    explicit OccupancyGridInfo(QObject *parent = nullptr);

    QUuid uuid() const { return m_uuid; }
    void setUuid(const QUuid &uuid);
    QUuid groupId() const { return m_groupId; }
    void setGroupId(const QUuid &id);
    QString name() const { return m_name; }
    void setName(const QString &name);
    QDateTime creationDate() const { return m_creationDate; }
    void setCreationDate(const QDateTime &date);
    QList<qint8> mapData() const { return m_mapData; }
    QSizeF mapWorldSize() const { return m_mapWorldSize; }
    void setMapWorldSize(const QSizeF &size);
    QSize mapSize() const { return m_mapSize; }
    Coordinate origin() const { return m_origin; }
    void setOrigin(const Coordinate &origin);
    Pose globalTransformation() const { return m_globalTransformation; }
    void setGlobalTransformation(const Pose &pose);
    // Not adopted: the grid only refers to the converter.
    CoordinateConverter *globalReferenceFrame() const { return m_globalReferenceFrame; }
    void setGlobalReferenceFrame(CoordinateConverter *frame);

signals:
    void idChanged();
    void groupIdChanged();
    void nameChanged();
    void creationDateChanged();
    void mapDataChanged();
    void mapWorldSizeChanged();
    void mapSizeChanged();
    void originChanged();
    void globalTransformationChanged();
    void globalReferenceFrameChanged();

private:
    QUuid m_uuid;
    QUuid m_groupId;
    QString m_name;
    QDateTime m_creationDate;
    QList<qint8> m_mapData;
    QSizeF m_mapWorldSize;
    QSize m_mapSize;
    Coordinate m_origin;
    Pose m_globalTransformation;
    QPointer<CoordinateConverter> m_globalReferenceFrame;
};
