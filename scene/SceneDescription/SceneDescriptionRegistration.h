#pragma once

#include "LocalMap.h"
#include "LocalRelativeCoordinateConverter.h"
#include "LocalTangentPlaneCoordinateConverter.h"
#include "Location.h"
#include "MapContext.h"
#include "OccupancyGridInfo.h"
#include "UTMCoordinateConverter.h"

#include <QtQml/qqml.h>
#include <QtQml/qqmlregistration.h>

struct LocalMapRegistration
{
    Q_GADGET
    QML_FOREIGN(LocalMap)
    QML_NAMED_ELEMENT(LocalMap)
};

struct LocalRelativeCoordinateConverterRegistration
{
    Q_GADGET
    QML_FOREIGN(LocalRelativeCoordinateConverter)
    QML_NAMED_ELEMENT(LocalRelativeCoordinateConverter)
    QML_UNCREATABLE("LocalRelativeCoordinateConverter cannot be created from QML")
};

struct LocalTangentPlaneCoordinateConverterRegistration
{
    Q_GADGET
    QML_FOREIGN(LocalTangentPlaneCoordinateConverter)
    QML_NAMED_ELEMENT(LocalTangentPlaneCoordinateConverter)
    QML_UNCREATABLE("LocalTangentPlaneCoordinateConverter cannot be created from QML")
};

struct LocationRegistration
{
    Q_GADGET
    QML_FOREIGN(Location)
    QML_NAMED_ELEMENT(Location)
};

struct MapContextRegistration
{
    Q_GADGET
    QML_FOREIGN(MapContext)
    QML_NAMED_ELEMENT(MapContext)
};

struct OccupancyGridInfoRegistration
{
    Q_GADGET
    QML_FOREIGN(OccupancyGridInfo)
    QML_NAMED_ELEMENT(OccupancyGridInfo)
};

struct UTMCoordinateConverterRegistration
{
    Q_GADGET
    QML_FOREIGN(UTMCoordinateConverter)
    QML_NAMED_ELEMENT(UTMCoordinateConverter)
    QML_UNCREATABLE("UTMCoordinateConverter cannot be created from QML")
};
