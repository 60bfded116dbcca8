#include "CoordinateConverter.h"

#include "SceneLogging.h"

#include <limits>

Q_LOGGING_CATEGORY(lcCoordinateConverter, "Scene.CoordinateConverter")

namespace {
thread_local int conversionDepth = 0;
}

ConverterDepthGuard::ConverterDepthGuard()
{
    ++conversionDepth;
}

ConverterDepthGuard::~ConverterDepthGuard()
{
    --conversionDepth;
}

bool ConverterDepthGuard::exceeded() const
{
    return conversionDepth > maximumDepth;
}

Coordinate CoordinateConverter::nanCoordinate()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return Coordinate(nan, nan, nan);
}

QVector3D CoordinateConverter::nanVector()
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return QVector3D(nan, nan, nan);
}

Coordinate CoordinateConverter::fromCoordinateFrame(Coordinate c,
                                                    const CoordinateConverter *srcFrame,
                                                    const MapContext *context) const
{
    if (!srcFrame) {
        qCWarning(lcCoordinateConverter) << "fromCoordinateFrame: no source frame given";
        return nanCoordinate();
    }
    return convertFromScene(srcFrame->convertToScene(c, context), context);
}
