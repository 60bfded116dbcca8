#include "LocalMap.h"

#include "CoordinateConverter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct Quat
{
    double w, x, y, z;
};

Quat multiply(const Quat &a, const Quat &b)
{
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
            a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

// q (0, v) q*, without normalising q: a quaternion of length s scales by s².
Coordinate rotate(const Quat &q, const Coordinate &v)
{
    const Quat conjugate{q.w, -q.x, -q.y, -q.z};
    const Quat r = multiply(multiply(q, Quat{0, v.x, v.y, v.z}), conjugate);
    return Coordinate(r.x, r.y, r.z);
}

Quat toQuat(const QQuaternion &q)
{
    return {q.scalar(), q.x(), q.y(), q.z()};
}

} // namespace

LocalMap::LocalMap(QObject *parent)
    : IRobotResource(RobotResourceType::Map, QString(), QUuid::createUuid(), QUuid::createUuid(),
                     QDateTime::currentDateTime(), parent)
{ }

LocalMap::LocalMap(const QString &name, const QImage &map, const QSizeF &dimensions,
                   const Coordinate &localOrigin, CoordinateConverter *globalCoordinateInfo,
                   const Pose &globalPose, const QUuid &uuid, const QUuid &group,
                   const QDateTime &creationDate, QObject *parent)
    : IRobotResource(RobotResourceType::Map, name, uuid, group, creationDate, parent)
    , m_map(map)
    , m_dimensions(dimensions)
    , m_localOrigin(localOrigin)
    , m_globalPose(globalPose)
{
    updateCellSize();
    m_field.build(m_map);
    setGlobalCoordinateInfo(globalCoordinateInfo);
}

void LocalMap::updateCellSize()
{
    const QSize size = m_map.size();
    if (size.width() > 0 && size.height() > 0)
        m_cellSize = QSizeF(m_dimensions.width() / size.width(),
                            m_dimensions.height() / size.height());
}

void LocalMap::setMap(const QImage &map)
{
    if (map == m_map)
        return;
    m_map = map;
    updateCellSize();
    m_field.build(m_map);
    emit mapChanged();
}

void LocalMap::setDimensions(const QSizeF &dimensions)
{
    if (dimensions == m_dimensions)
        return;
    m_dimensions = dimensions;
    updateCellSize();
    emit dimensionsChanged();
}

void LocalMap::setLocalOrigin(const Coordinate &origin)
{
    if (origin.x == m_localOrigin.x && origin.y == m_localOrigin.y && origin.z == m_localOrigin.z)
        return;
    m_localOrigin = origin;
    emit localOriginChanged();
}

void LocalMap::setGlobalCoordinateInfo(CoordinateConverter *converter)
{
    if (converter == m_globalCoordinateInfo)
        return;
    if (converter && !converter->parent())
        converter->setParent(this);
    m_globalCoordinateInfo = converter;
    emit globalCoordinateInfoChanged();
}

void LocalMap::setGlobalPose(const Pose &pose)
{
    if (pose == m_globalPose)
        return;
    m_globalPose = pose;
    emit globalPoseChanged();
}

bool LocalMap::descend(const Coordinate &position, Descent &d) const
{
    // Nothing mapped (or no image at all): there is no cell to descend to.
    if (!m_field.hasMappedPixel())
        return false;
    const int w = m_field.gridSize().width();
    const int h = m_field.gridSize().height();
    const float dx = static_cast<float>(position.x - m_localOrigin.x);
    const float dy = static_cast<float>(position.y - m_localOrigin.y);
    d.px = dx / m_cellSize.width();
    d.py = h - dy / m_cellSize.height();
    if (std::isnan(d.px) || std::isnan(d.py))
        return false;
    // Clamped before truncation: a point far off the grid (or infinite) starts at the border.
    d.cx = static_cast<int>(std::clamp(d.px, 0.0, double(w - 1)));
    d.cy = static_cast<int>(std::clamp(d.py, 0.0, double(h - 1)));

    float value = m_field.value(d.cx, d.cy);
    while (value > 0) {
        float best = value;
        int bx = d.cx;
        int by = d.cy;
        for (int y = qMax(0, d.cy - 1); y <= qMin(h - 1, d.cy + 1); ++y) {
            for (int x = qMax(0, d.cx - 1); x <= qMin(w - 1, d.cx + 1); ++x) {
                if ((x != d.cx || y != d.cy) && m_field.value(x, y) < best) {
                    best = m_field.value(x, y);
                    bx = x;
                    by = y;
                }
            }
        }
        if (!(best < value))
            break;
        d.cx = bx;
        d.cy = by;
        value = best;
    }
    return true;
}

float LocalMap::getDistanceToMap(const Coordinate &position) const
{
    Descent d;
    if (!descend(position, d)) {
        if (std::isnan(position.x) || std::isnan(position.y))
            return std::numeric_limits<float>::quiet_NaN();
        return std::numeric_limits<float>::infinity();
    }
    const double ox = static_cast<float>(d.cx + 0.5f) - d.px;
    const double oy = static_cast<float>(d.cy + 0.5f) - d.py;
    return static_cast<float>(std::sqrt(std::pow(m_cellSize.width() * ox, 2)
                                        + std::pow(m_cellSize.height() * oy, 2)));
}

Coordinate LocalMap::getClosestPointOnMap(const Coordinate &position) const
{
    Descent d;
    if (!descend(position, d))
        return position;
    // The cell's centre taken directly rather than as the query point plus its offset, which
    // gives NaN for an infinite query point.
    const int h = m_field.gridSize().height();
    const float x = static_cast<float>(m_cellSize.width() * (d.cx + 0.5f));
    const float y = static_cast<float>(m_cellSize.height() * h
                                       - m_cellSize.height() * (d.cy + 0.5f));
    return Coordinate(x + m_localOrigin.x, y + m_localOrigin.y, position.z);
}

bool LocalMap::isInsideMap(const Coordinate &position) const
{
    if (m_field.isEmpty())
        return false;
    const int w = m_field.gridSize().width();
    const int h = m_field.gridSize().height();
    const float dx = static_cast<float>(position.x - m_localOrigin.x);
    const float dy = static_cast<float>(position.y - m_localOrigin.y);
    const double px = dx / m_cellSize.width();
    const double py = h - dy / m_cellSize.height();
    // Written so that NaN fails the test.
    if (!(px >= 0 && px < w && py >= 0 && py < h))
        return false;
    return m_field.value(static_cast<int>(px), static_cast<int>(py)) == 0;
}

Coordinate LocalMap::globalToLocal(const Coordinate &c) const
{
    const Quat q = toQuat(m_globalPose.orientation);
    return rotate(Quat{q.w, -q.x, -q.y, -q.z}, c.minus(m_globalPose.position));
}

Coordinate LocalMap::localToGlobal(const Coordinate &c) const
{
    return rotate(toQuat(m_globalPose.orientation), c).add(m_globalPose.position);
}

bool LocalMap::fullyResolved() const
{
    return resolved() && (!m_globalCoordinateInfo || m_globalCoordinateInfo->fullyResolved());
}

QList<RobotResourceId> LocalMap::resources() const
{
    QList<RobotResourceId> ids{resourceId()};
    if (m_globalCoordinateInfo)
        ids += m_globalCoordinateInfo->resources();
    return ids;
}

QList<RobotResourceId> LocalMap::unresolvedResources() const
{
    QList<RobotResourceId> ids;
    if (!resolved())
        ids << resourceId();
    if (m_globalCoordinateInfo)
        ids += m_globalCoordinateInfo->unresolvedResources();
    return ids;
}

void LocalMap::replaceResourceId(const RobotResourceId &oldId, const RobotResourceId &newId)
{
    if (m_globalCoordinateInfo)
        m_globalCoordinateInfo->replaceResourceId(oldId, newId);
}

void LocalMap::resolveResource(RobotResourceId resourceId, orvane::shared_qptr<QObject> resource)
{
    if (m_globalCoordinateInfo)
        m_globalCoordinateInfo->resolveResource(resourceId, resource);
}
