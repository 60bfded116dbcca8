import QtQuick
import QtTest
import QtPositioning
import orvane.Resources
import orvane.SceneDescription

// The modules as QML sees them: the Scene factories, gadget values and their invokables,
// converters called with a context, resource ids and kinds, and the uncreatable converters.
TestCase {
    name: "SceneDescription"

    MapContext { id: context; zoomLevel: 18 }
    LocalMap { id: localMap; dimensions: Qt.size(10, 10) }
    Location { id: location }
    OccupancyGridInfo { id: grid }

    function test_coordinates() {
        const c = Scene.coordinate(3, 4, 12)
        compare(c.length(), 13)
        compare(c.lengthSquared(), 169)
        const d = c.minus(Scene.coordinate(1, 1, 1))
        compare([d.x, d.y, d.z], [2, 3, 11])
        compare(c.times(-1).x, -3)
        const pose = Scene.createPoseFromCoordinate(c)
        compare(pose.position.z, 12)
        compare(pose.orientation.scalar, 0)
        const twist = Scene.createPoseWithTwistFromCoordinate(c, Qt.quaternion(1, 0, 0, 0))
        compare(twist.orientation.scalar, 1)
        compare(twist.linear_velocity.x, 0)
        verify(twist.linearVelocity === undefined)
    }

    function test_converterThroughContext() {
        const plane = Scene.localTangentPlaneCoordinateConverter(QtPositioning.coordinate(51.4, 5.5, 12))
        compare(plane.type, 1)
        verify(plane.fullyResolved)
        const scene = plane.convertToScene(Scene.coordinate(10, 20, 0), context)
        const back = plane.convertFromScene(scene, context)
        // Without a location the scene is measured from the world's corner, in floats.
        fuzzyCompare(back.x, 10, 1)
        fuzzyCompare(back.y, 20, 1)
        const copy = plane.clone()
        compare(copy.reference.latitude, 51.4)
        const same = copy.fromCoordinateFrame(Scene.coordinate(10, 20, 0), plane, context)
        fuzzyCompare(same.x, 10, 1)
    }

    function test_nullContext() {
        const plane = Scene.localTangentPlaneCoordinateConverter(QtPositioning.coordinate(1, 2))
        ignoreWarning(/no map context/)
        verify(isNaN(plane.convertToScene(Scene.coordinate(0, 0, 0), null).x))
        ignoreWarning(/no source frame/)
        verify(isNaN(plane.fromCoordinateFrame(Scene.coordinate(0, 0, 0), null, context).x))
    }

    function test_localRelative() {
        const handle = Scene.createEmptyLocalMap(Qt.size(4, 2), Scene.coordinate(0, 0, 0), "", "Hall")
        const map = handle.getObject()
        compare(map.name, "Hall")
        compare(RobotResourceType.Map, 5)
        compare(RobotResourceType.Unknown, -1)
        compare(map.resourceType, RobotResourceType.Map)
        const converter = Scene.localRelativeCoordinateConverter(handle)
        compare(converter.type, 0)
        compare(converter.mapId, map.uuid)
        verify(converter.map !== null)
        const ids = converter.resources()
        compare(ids.length, 1)
        compare(ids[0].type, RobotResourceType.Map)
        compare(ids[0].toString(), "Map:" + map.uuid.toString().replace(/[{}]/g, ""))
        const unbound = Scene.localRelativeCoordinateConverter(null)
        compare(unbound.map, null)
        verify(!unbound.fullyResolved)
    }

    function test_locationInContext() {
        location.geoCoordinate = QtPositioning.coordinate(51.4, 5.5, 12)
        const handle = Scene.createEmptyLocalMap(Qt.size(1, 1), Scene.coordinate(0, 0, 0))
        compare(context.locationType, 3)
        compare(location.locationType, 1)
        compare(grid.mapSize.width, 0)
        compare(grid.globalTransformation.orientation.scalar, 1)
        verify(handle !== null)
    }

    function test_zoomPastThirty() {
        context.zoomLevel = 40
        verify(context.tileWidthAtLatitude(0) > 0)
        context.zoomLevel = 18
    }

    function test_uncreatable_data() {
        return [
            { tag: "utm", type: "UTMCoordinateConverter" },
            { tag: "plane", type: "LocalTangentPlaneCoordinateConverter" },
            { tag: "relative", type: "LocalRelativeCoordinateConverter" },
        ]
    }

    function test_uncreatable(data) {
        let message = ""
        try {
            Qt.createQmlObject("import orvane.SceneDescription; " + data.type + " {}", this)
        } catch (e) {
            message = e.qmlErrors[0].message
        }
        compare(message, data.type + " cannot be created from QML")
    }
}
