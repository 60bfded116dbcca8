import QtQuick
import QtTest
import orvane.RobotCommunication

// The robot stack as QML sees it, against the loopback rosbridge server of the runner
// ("rosbridge"). Every expected frame and value below is written out by hand from the rosbridge
// protocol and the robot's service definitions; nothing is read back from the code under test.
Item {
    id: root

    readonly property string resourcePrefix: "/autopilot/information_manager/resource/"
    readonly property string jobPrefix: "/autopilot/information_manager/action/job/"
    readonly property string u1: "{1b4e28ba-2fa1-11d2-883f-0016d3cca427}"
    readonly property string u2: "{6f0f4a3c-91d2-4c7e-8b1e-2d3c4b5a6978}"
    readonly property string u3: "{00c0ffee-0000-4000-8000-00000000beef}"
    readonly property var idPattern: /^\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\}$/

    // The state of a promise, for tryVerify: "pending", then "resolved" or "rejected".
    function watch(promise) {
        const outcome = { state: "pending", value: undefined, error: "", settledAt: 0 }
        promise.then(v => { outcome.state = "resolved"; outcome.value = v; outcome.settledAt = Date.now() },
                     e => { outcome.state = "rejected"; outcome.error = e.message; outcome.settledAt = Date.now() })
        return outcome
    }

    function show(value) {
        return value === undefined ? "undefined" : JSON.stringify(value)
    }

    // The frame of one call: compact, keys in sorted order, the id as braced lower-case hex.
    function callFrame(service, argsText, id) {
        return '{"args":' + argsText + ',"id":"' + id + '","op":"call_service","service":"'
                + service + '"}'
    }

    function subscribeFrame(topic, type) {
        return '{"op":"subscribe","topic":"' + topic + '","type":"' + type + '"}'
    }

    // A status record nested under "result", as the resource and job services answer.
    function nested(success, message, more) {
        const value = { result: { success: success, message: message } }
        for (const key in more)
            value[key] = more[key]
        return value
    }

    function quoted(object) {
        return JSON.stringify(JSON.stringify(object))
    }

    // Five services per resource kind, in the order get, set, update, delete, list.
    function resourceRows(kind, interfaceName, type) {
        const service = resourcePrefix + kind + "/"
        const entries = [
            { group_id: null, name: kind + " one", id: u2, creation_date: "2024-05-01T10:20:30.456Z" },
            { group_id: u1, name: kind + " two", id: u3, creation_date: "yesterday" }
        ]
        return [
            { tag: kind + "/get", interfaceName: interfaceName, method: "getResource",
              args: [u1], service: service + "get", shape: "nested",
              argsText: '{"uuid":"' + u1 + '"}',
              reply: nested(true, "", { json: JSON.stringify({ name: "Dock", pose: [1, 2.5] }) }),
              expected: '{"name":"Dock","pose":[1,2.5]}' },
            { tag: kind + "/set", interfaceName: interfaceName, method: "setResource",
              args: [{ name: "Dock", id: 7 }], service: service + "set", shape: "nestedUuid",
              argsText: '{"json":' + JSON.stringify('{"id":7,"name":"Dock"}') + '}',
              reply: nested(true, "", { uuid: u2 }), expected: JSON.stringify(u2) },
            { tag: kind + "/update", interfaceName: interfaceName, method: "updateResource",
              args: [{ z: "ä", a: { b: true } }], service: service + "update", shape: "nestedUuid",
              argsText: '{"json":' + JSON.stringify('{"a":{"b":true},"z":"ä"}') + '}',
              reply: nested(true, "", { uuid: u3 }), expected: JSON.stringify(u3) },
            // Upper case without braces in, braced lower case on the wire.
            { tag: kind + "/delete", interfaceName: interfaceName, method: "removeResource",
              args: ["6F0F4A3C-91D2-4C7E-8B1E-2D3C4B5A6978"], service: service + "delete",
              shape: "nested", argsText: '{"uuid":"' + u2 + '"}',
              reply: nested(true, ""), expected: "undefined" },
            { tag: kind + "/list", interfaceName: interfaceName, method: "listResources",
              args: kind === "area" ? [u3] : [], service: service + "list", shape: "nested",
              argsText: kind === "area" ? '{"group":"' + u3 + '"}' : "{}",
              reply: nested(true, "", { json: JSON.stringify(entries) }),
              expected: '[{"uuid":"' + u2 + '","group":"{00000000-0000-0000-0000-000000000000}",'
                        + '"name":"' + kind + ' one","type":' + type
                        + ',"lastModified":"2024-05-01T10:20:30.456Z"},'
                        + '{"uuid":"' + u3 + '","group":"' + u1 + '","name":"' + kind + ' two",'
                        + '"type":' + type + ',"lastModified":null}]' }
        ]
    }

    // All 36 services of a robot: one row each.
    function serviceRows() {
        let rows = []
        rows = rows.concat(resourceRows("path", "pathResourceInterface", 0))
        rows = rows.concat(resourceRows("job", "jobResourceInterface", 1))
        rows = rows.concat(resourceRows("area", "areaResourceInterface", 2))
        rows = rows.concat(resourceRows("artifact", "artifactResourceInterface", 3))
        rows = rows.concat(resourceRows("schedule", "scheduleResourceInterface", 4))
        rows = rows.concat(resourceRows("map", "mapResourceInterface", 5))
        rows.push({ tag: "map/get_active_id", interfaceName: "mapResourceInterface",
                    method: "getActiveId", args: [], service: resourcePrefix + "map/get_active_id",
                    shape: "save", argsText: "{}",
                    reply: { success: true, message: "", uuid: u1 }, expected: JSON.stringify(u1) })
        rows.push({ tag: "job/start", interfaceName: "jobInterface", method: "startJob",
                    args: [u3], service: jobPrefix + "start", shape: "nested",
                    argsText: '{"uuid":"' + u3 + '"}', reply: nested(true, ""),
                    expected: "undefined" })
        rows.push({ tag: "job/stop", interfaceName: "jobInterface", method: "stopJob", args: [],
                    service: jobPrefix + "stop", shape: "nested", argsText: "{}",
                    reply: nested(true, "stopped"), expected: "undefined" })
        rows.push({ tag: "recording/record", interfaceName: "pathRecordingInterface",
                    method: "startRecording", args: [], service: "/autopilot/interface/record_path",
                    shape: "top", argsText: '{"override":false}',
                    reply: { success: true, message: "" }, expected: "undefined" })
        rows.push({ tag: "recording/record override", interfaceName: "pathRecordingInterface",
                    method: "startRecording", args: [true],
                    service: "/autopilot/interface/record_path", shape: "top",
                    argsText: '{"override":true}', reply: { success: true, message: "" },
                    expected: "undefined" })
        rows.push({ tag: "recording/save", interfaceName: "pathRecordingInterface",
                    method: "saveRecording", args: ["Row 3 \"east\""],
                    service: "/autopilot/interface/save_path", shape: "save",
                    argsText: '{"name":"Row 3 \\"east\\""}',
                    reply: { uuid: u2, success: true, message: "" }, expected: JSON.stringify(u2) })
        rows.push({ tag: "recording/abort", interfaceName: "pathRecordingInterface",
                    method: "abortRecording", args: [],
                    service: "/autopilot/interface/abort_record_path", shape: "top", argsText: "{}",
                    reply: { success: true, message: "" }, expected: "undefined" })
        return rows
    }

    Instantiator {
        id: rows
        model: RobotManager
        delegate: QtObject {
            property string display: model.display
            property string tooltip: model.tooltip
            property string name: model.name
            property string serial: model.serial
            property var handle: model.connection
        }
    }

    SignalSpy { id: activeSpy; target: RobotManager; signalName: "activeConnectionChanged" }
    SignalSpy { id: sizeSpy; target: RobotManager; signalName: "sizeChanged" }

    TestCase {
        id: testCase
        name: "RobotModule"

        property var handle: null
        property var robot: null
        property var extraRobots: []

        function connectRobot() {
            const outcome = watch(RobotManager.connect(rosbridge.url))
            tryVerify(() => outcome.state !== "pending", 5000, "the connect settles")
            compare(outcome.state, "resolved", outcome.error)
            return outcome.value
        }

        function init() {
            // Every frame here goes out whole; a short write would be a lost request.
            failOnWarning(/Not all data was transmitted/)
            verify(rosbridge.listenAgain())
            compare(RobotManager.size, 0, "no row left from an earlier test")
            activeSpy.clear()
            sizeSpy.clear()
            handle = connectRobot()
            robot = handle.getObject()
        }

        function cleanup() {
            for (const other of extraRobots)
                other.disconnect()
            extraRobots = []
            if (robot)
                robot.disconnect()
            rosbridge.closeAll()
            tryCompare(RobotManager, "size", 0)
            tryCompare(rosbridge, "listening", true)
            tryVerify(() => rosbridge.clientCount() === 0)
            robot = null
            handle = null
        }

        function test_connectAddsAnActiveRow() {
            compare(RobotManager.size, 1)
            compare(sizeSpy.count, 1)
            compare(activeSpy.count, 1)
            compare(rosbridge.clientCount(), 1)
            compare(robot.status, RobotConnectionStatus.Connected)
            compare(RobotConnectionStatus.toString(robot.status), "Connected")
            compare(robot.name, "Sorvyn")
            compare(robot.serial, "1")
            compare(robot.location, "robot/1")
            verify(RobotManager.activeConnection !== null)
            verify(RobotManager.activeConnection.getObject() === robot)
            compare(rows.count, 1)
            const row = rows.objectAt(0)
            compare(row.display, "Sorvyn")
            compare(row.name, "Sorvyn")
            compare(row.tooltip, "1")
            compare(row.serial, "1")
            verify(row.handle.getObject() === robot)
            verify(RobotManager.getConnectionAt(0).getObject() === robot)
            compare(RobotManager.getConnectionAt(1), null)
            compare(RobotManager.indexOf("1"), 0)
            compare(RobotManager.indexOf("2"), -1)

            // A second robot is a second row; the first stays active.
            const second = connectRobot().getObject()
            extraRobots = [second]
            verify(second !== robot)
            compare(RobotManager.size, 2)
            compare(rows.count, 2)
            compare(activeSpy.count, 1)
            verify(RobotManager.activeConnection.getObject() === robot)
            verify(rows.objectAt(1).handle.getObject() === second)
        }

        function test_services_data() {
            return serviceRows()
        }

        // One call per service: the frame the robot receives, and what QML gets back.
        function test_services(data) {
            compare(serviceRows().length, 37, "36 services, the record service twice")
            const target = robot[data.interfaceName]
            verify(target, data.interfaceName)
            rosbridge.reply(data.service, true, data.reply)
            const before = rosbridge.callTexts(data.service).length
            const outcome = watch(target[data.method].apply(target, data.args))
            tryVerify(() => outcome.state !== "pending", 5000, "the call settles")
            compare(outcome.state, "resolved", outcome.error)
            compare(show(outcome.value), data.expected)

            const texts = rosbridge.callTexts(data.service)
            compare(texts.length, before + 1, "exactly one call frame")
            const id = JSON.parse(texts[before]).id
            verify(idPattern.test(id), id)
            compare(texts[before], callFrame(data.service, data.argsText, id))
        }

        function test_serviceFailures_data() {
            const rows = []
            for (const row of serviceRows()) {
                // Every field of the reply is read before its status, so the refusals carry the
                // uuid of the replies that have one.
                const refusal = message => row.shape === "nested" ? nested(false, message)
                                  : row.shape === "nestedUuid" ? nested(false, message, { uuid: u1 })
                                  : row.shape === "top" ? { success: false, message: message }
                                  : { uuid: u1, success: false, message: message }
                rows.push({ tag: row.tag + " says no", row: row, result: true,
                            reply: refusal("job not found"), expected: "job not found" })
                rows.push({ tag: row.tag + " says no silently", row: row, result: true,
                            reply: refusal(""), expected: "Service call failed" })
                rows.push({ tag: row.tag + " rosbridge fails", row: row, result: false,
                            reply: "no such service",
                            expected: "Service call failed: no such service" })
                rows.push({ tag: row.tag + " no value", row: row, result: true, reply: [],
                            expected: "Service call received more than one response" })
                rows.push({ tag: row.tag + " rosbridge false with a value", row: row,
                            result: false, reply: row.reply, expected: "Service call failed" })
                rows.push({ tag: row.tag + " two values", row: row, result: true,
                            reply: [row.reply, row.reply],
                            expected: "Service call received more than one response" })
            }
            const rowsByTag = {}
            for (const row of serviceRows())
                rowsByTag[row.tag] = row
            // A refusal without its uuid fails on the missing field, not with the robot's text.
            rows.push({ tag: "recording/save refused without uuid", row: rowsByTag["recording/save"],
                        result: true, reply: { success: false, message: "disk full" },
                        expected: "Missing expected json value" })
            rows.push({ tag: "map/get entry not a uuid", row: rowsByTag["map/get_active_id"],
                        result: true, reply: { success: true, message: "", uuid: "abc" },
                        expected: "Could not parse JSON value as type \"UUID\"" })
            rows.push({ tag: "job/stop string values with result true", row: rowsByTag["job/stop"],
                        result: true, reply: "oops",
                        expected: 'Invalid type "string" for json value "values". Expected "array"' })
            rows.push({ tag: "path/list without result", row: rowsByTag["path/list"],
                        result: true, reply: { json: "[]" },
                        expected: "Missing expected json value" })
            return rows
        }

        function test_serviceFailures(data) {
            const target = robot[data.row.interfaceName]
            rosbridge.reply(data.row.service, data.result, data.reply)
            const outcome = watch(target[data.row.method].apply(target, data.row.args))
            tryVerify(() => outcome.state !== "pending", 5000, "the call settles")
            compare(outcome.state, "rejected")
            compare(outcome.error, data.expected)
        }

        // Replies come back in any order and each settles its own call.
        function test_repliesOutOfOrder() {
            rosbridge.reply(resourcePrefix + "path/set", true, nested(true, "", { uuid: u1 }), 300)
            rosbridge.reply(resourcePrefix + "job/set", true, nested(true, "", { uuid: u2 }), 0)
            const slow = watch(robot.pathResourceInterface.setResource({ name: "slow" }))
            const fast = watch(robot.jobResourceInterface.setResource({ name: "fast" }))
            tryVerify(() => fast.state === "resolved")
            compare(slow.state, "pending")
            tryVerify(() => slow.state === "resolved")
            compare(String(slow.value), u1)
            compare(String(fast.value), u2)
        }

        function test_telemetrySubscribesOnConnect() {
            const frames = rosbridge.frames()
            for (const expected of [
                     subscribeFrame("/autopilot/estimated_pose", "nav_msgs/msg/Odometry"),
                     subscribeFrame("/autopilot/coordinate_system",
                                    "autonomy_msgs/msg/CoordinateSystemInfo"),
                     subscribeFrame("/autopilot/interface/system_status",
                                    "autopilot_msgs/msg/SystemStatus")])
                verify(frames.indexOf(expected) >= 0, expected)
        }

        function test_topics_data() {
            return [
                { tag: "estimated pose", topic: "/autopilot/estimated_pose", signals: ["poseChanged", "twistChanged"],
                  countsAfterRepeat: [1, 1],
                  msg: { pose: { covariance: [0.5, 0, 0.25],
                                 pose: { position: { x: 1.5, y: -2, z: 0.25 },
                                         orientation: { x: 0, y: 0, z: 0.6, w: 0.8 } } },
                         twist: { covariance: [1, 2],
                                  twist: { linear: { x: 0.5, y: 0, z: 0 },
                                           angular: { x: 0, y: 0, z: -0.25 } } } },
                  check: t => {
                      compare(t.pose.position.x, 1.5)
                      compare(t.pose.position.y, -2)
                      compare(t.pose.position.z, 0.25)
                      compare(t.pose.orientation.scalar, 0.8)
                      fuzzyCompare(t.pose.orientation.z, 0.6, 1e-6)
                      compare(t.pose.covariance, [0.5, 0, 0.25])
                      compare(t.twist.linearVelocity.x, 0.5)
                      compare(t.twist.angularVelocity.z, -0.25)
                      compare(t.twist.covariance, [1, 2])
                  } },
                // Every coordinate-system message makes a new converter, equal numbers or not.
                { tag: "coordinate system", topic: "/autopilot/coordinate_system", signals: ["coordinateSystemChanged"],
                  countsAfterRepeat: [2],
                  msg: { type: 2, map_name: "field", latitude: 0, longitude: 0, altitude: 0,
                         zone: -32, north: false, x_offset: 500000, y_offset: 5316300.5, z_offset: 12 },
                  check: t => {
                      verify(t.coordinateSystem !== null)
                      compare(t.coordinateSystem.zone, -32)
                      compare(t.coordinateSystem.north, false)
                      compare(t.coordinateSystem.offset.x, 500000)
                      compare(t.coordinateSystem.offset.y, 5316300.5)
                      compare(t.coordinateSystem.offset.z, 12)
                  } },
                { tag: "system status", topic: "/autopilot/interface/system_status",
                  signals: ["operationalStatusChanged", "behaviorStatusChanged", "positionAccuracyChanged"],
                  countsAfterRepeat: [1, 1, 1],
                  msg: { is_operational: true, behavior_status: "Following path",
                         position_accuracy_status: "orientation_ok" },
                  check: t => {
                      compare(t.operationalStatus, true)
                      compare(t.behaviorStatus, "Following path")
                      compare(t.positionAccuracy, PositionAccuracy.Orientation_ok)
                      compare(t.positionAccuracy, 3)
                  } }
            ]
        }

        function test_topics(data) {
            const telemetry = robot.telemetryInterface
            const spies = data.signals.map(name => {
                const spy = Qt.createQmlObject("import QtTest; SignalSpy {}", testCase)
                spy.target = telemetry
                spy.signalName = name
                return spy
            })
            rosbridge.publish(data.topic, data.msg)
            for (const spy of spies)
                spy.wait(5000)
            data.check(telemetry)
            // The same message again: equal values are not announced again. A message on another
            // topic behind it shows when the repeat has been handled.
            rosbridge.publish(data.topic, data.msg)
            if (data.topic === "/autopilot/interface/system_status") {
                rosbridge.publish("/autopilot/estimated_pose",
                                  { pose: { covariance: [], pose: { position: { x: 42, y: 0, z: 0 },
                                                                    orientation: { x: 0, y: 0, z: 0, w: 1 } } },
                                    twist: { covariance: [], twist: { linear: { x: 0, y: 0, z: 0 },
                                                                      angular: { x: 0, y: 0, z: 0 } } } })
                tryVerify(() => telemetry.pose.position.x === 42)
            } else {
                rosbridge.publish("/autopilot/interface/system_status",
                                  { is_operational: true, behavior_status: "marker",
                                    position_accuracy_status: "unknown" })
                tryCompare(telemetry, "behaviorStatus", "marker")
            }
            for (let i = 0; i < spies.length; ++i)
                compare(spies[i].count, data.countsAfterRepeat[i], spies[i].signalName)
            data.check(telemetry)
            for (const spy of spies)
                spy.destroy()
        }

        // The converter follows the message's type; an unknown type gives none.
        function test_coordinateSystems_data() {
            const base = { map_name: "", latitude: 51.4, longitude: 5.5, altitude: 12, zone: 31,
                           north: true, x_offset: 1, y_offset: 2, z_offset: 3 }
            const withType = type => Object.assign({ type: type }, base)
            return [
                { tag: "local relative", msg: withType(0), converterType: 0 },
                { tag: "local tangent plane", msg: withType(1), converterType: 1,
                  check: c => {
                      compare(c.reference.latitude, 51.4)
                      compare(c.reference.longitude, 5.5)
                      compare(c.reference.altitude, 12)
                  } },
                { tag: "utm", msg: withType(2), converterType: 2,
                  check: c => { compare(c.zone, 31); compare(c.north, true); compare(c.offset.y, 2) } },
                { tag: "unknown", msg: withType(3), converterType: -1 },
                { tag: "out of range", msg: withType(9), converterType: -1 }
            ]
        }

        function test_coordinateSystems(data) {
            const telemetry = robot.telemetryInterface
            // Start from a converter, so that "none" is a change too.
            rosbridge.publish("/autopilot/coordinate_system",
                              Object.assign({}, data.msg, { type: 2, zone: 5 }))
            tryVerify(() => telemetry.coordinateSystem !== null && telemetry.coordinateSystem.zone === 5)
            const spy = Qt.createQmlObject("import QtTest; SignalSpy {}", testCase)
            spy.target = telemetry
            spy.signalName = "coordinateSystemChanged"
            rosbridge.publish("/autopilot/coordinate_system", data.msg)
            spy.wait(5000)
            if (data.converterType < 0) {
                compare(telemetry.coordinateSystem, null)
            } else {
                compare(telemetry.coordinateSystem.type, data.converterType)
                if (data.check)
                    data.check(telemetry.coordinateSystem)
            }
            spy.destroy()
        }

        // A message that does not read as its type is dropped whole: no value changes.
        function test_malformedTopicMessageKeepsValues() {
            const telemetry = robot.telemetryInterface
            const status = "/autopilot/interface/system_status"
            rosbridge.publish(status, { is_operational: false, behavior_status: "Idle",
                                        position_accuracy_status: "inaccurate" })
            tryCompare(telemetry, "behaviorStatus", "Idle")
            ignoreWarning(/Exception in callback for topic/)
            rosbridge.publish(status, { is_operational: true, position_accuracy_status: "position_ok" })
            rosbridge.publish("/autopilot/estimated_pose",
                              { pose: { covariance: [], pose: { position: { x: 3, y: 0, z: 0 },
                                                                orientation: { x: 0, y: 0, z: 0, w: 1 } } },
                                twist: { covariance: [], twist: { linear: { x: 0, y: 0, z: 0 },
                                                                  angular: { x: 0, y: 0, z: 0 } } } })
            tryVerify(() => telemetry.pose.position.x === 3)
            compare(telemetry.operationalStatus, false)
            compare(telemetry.behaviorStatus, "Idle")
            compare(telemetry.positionAccuracy, PositionAccuracy.Inaccurate)
        }

        function test_planTopicFollowsRecording() {
            const recording = robot.pathRecordingInterface
            rosbridge.reply("/autopilot/interface/record_path", true, { success: true, message: "" })
            rosbridge.reply("/autopilot/interface/save_path", true,
                            { uuid: u3, success: true, message: "" })
            const plan = "/autopilot/plan"
            const subscribes = rosbridge.subscribeCount(plan)
            const unsubscribes = rosbridge.unsubscribeCount(plan)
            const started = watch(recording.startRecording())
            tryVerify(() => started.state === "resolved")
            compare(rosbridge.subscribeCount(plan), subscribes + 1)
            verify(rosbridge.frames().indexOf(subscribeFrame(plan, "nav_msgs/msg/Path")) >= 0)

            const spy = Qt.createQmlObject("import QtTest; SignalSpy {}", testCase)
            spy.target = recording
            spy.signalName = "recordingProgressPathChanged"
            const pose = (x, y) => ({ pose: { position: { x: x, y: y, z: 0 },
                                              orientation: { x: 0, y: 0, z: 0, w: 1 } } })
            rosbridge.publish(plan, { poses: [pose(1, 2), pose(3, 4), pose(5, -6)] })
            spy.wait(5000)
            const path = recording.recordingProgressPath
            compare(path.length, 3)
            compare(path[1].position.x, 3)
            compare(path[2].position.y, -6)
            compare(path[0].orientation.scalar, 1)

            const saved = watch(recording.saveRecording("north field"))
            tryVerify(() => saved.state === "resolved")
            compare(String(saved.value), u3)
            tryVerify(() => rosbridge.unsubscribeCount(plan) === unsubscribes + 1)
            // Released: later plans no longer reach the path.
            rosbridge.publish(plan, { poses: [] })
            rosbridge.publish("/autopilot/interface/system_status",
                              { is_operational: false, behavior_status: "after save",
                                position_accuracy_status: "inaccurate" })
            tryCompare(robot.telemetryInterface, "behaviorStatus", "after save")
            compare(spy.count, 1)
            compare(recording.recordingProgressPath.length, 3)
            spy.destroy()
        }

        // The server goes away: the row goes, the active connection becomes null, pending and
        // later calls fail as not connected.
        function test_closingTheServerRemovesTheRow() {
            rosbridge.noReply(jobPrefix + "stop")
            const pending = watch(robot.jobInterface.stopJob())
            tryVerify(() => rosbridge.callTexts(jobPrefix + "stop").length > 0)
            activeSpy.clear()
            sizeSpy.clear()
            // The active connection is let go before its row.
            let sizeWhenInactive = -1
            const onActive = () => sizeWhenInactive = RobotManager.size
            RobotManager.activeConnectionChanged.connect(onActive)
            rosbridge.closeAll()
            tryCompare(RobotManager, "size", 0)
            RobotManager.activeConnectionChanged.disconnect(onActive)
            compare(sizeWhenInactive, 1)
            compare(RobotManager.activeConnection, null)
            compare(activeSpy.count, 1)
            compare(sizeSpy.count, 1)
            compare(rows.count, 0)
            compare(RobotManager.getConnectionAt(0), null)
            compare(RobotManager.getConnection("1"), null)
            compare(robot.status, RobotConnectionStatus.Closed)
            compare(RobotConnectionStatus.toString(robot.status), "Disconnected")
            tryVerify(() => pending.state !== "pending")
            compare(pending.error, "Robot is not connected")
            const later = watch(robot.mapResourceInterface.getActiveId())
            tryVerify(() => later.state !== "pending")
            compare(later.error, "Robot is not connected")
        }

        function test_abortedServerRemovesTheRow() {
            rosbridge.abortAll()
            tryCompare(RobotManager, "size", 0)
            compare(RobotManager.activeConnection, null)
            compare(robot.status, RobotConnectionStatus.Closed)
        }

        function test_telemetryAcrossReconnect() {
            const telemetry = robot.telemetryInterface
            const topics = ["/autopilot/estimated_pose", "/autopilot/coordinate_system",
                            "/autopilot/interface/system_status"]
            const counts = topics.map(topic => rosbridge.subscribeCount(topic))
            rosbridge.publish("/autopilot/interface/system_status",
                              { is_operational: true, behavior_status: "Mowing",
                                position_accuracy_status: "position_ok" })
            rosbridge.publish("/autopilot/estimated_pose",
                              { pose: { covariance: [], pose: { position: { x: 7, y: 8, z: 9 },
                                                                orientation: { x: 0, y: 0, z: 0, w: 1 } } },
                                twist: { covariance: [], twist: { linear: { x: 1, y: 0, z: 0 },
                                                                  angular: { x: 0, y: 0, z: 0 } } } })
            tryCompare(telemetry, "behaviorStatus", "Mowing")
            tryVerify(() => telemetry.pose.position.x === 7)

            // The robot goes away and refuses for a while.
            rosbridge.refuse()
            rosbridge.closeAll()
            tryCompare(RobotManager, "size", 0)
            compare(robot.status, RobotConnectionStatus.Closed)
            const refused = watch(robot.connect(rosbridge.url))
            tryVerify(() => refused.state !== "pending", 5000, "a refused connect settles")
            compare(refused.state, "resolved")
            compare(refused.value, false)
            compare(telemetry.behaviorStatus, "Mowing")
            compare(telemetry.positionAccuracy, PositionAccuracy.Position_ok)

            // Back at the same address: the telemetry subscribes again by itself.
            verify(rosbridge.listenAgain())
            const again = watch(robot.connect(rosbridge.url))
            tryVerify(() => again.state !== "pending", 5000)
            compare(again.value, true)
            compare(robot.status, RobotConnectionStatus.Connected)
            for (let i = 0; i < topics.length; ++i)
                tryVerify(() => rosbridge.subscribeCount(topics[i]) === counts[i] + 1, 5000, topics[i])
            // The values are the ones from before, until the robot says otherwise.
            compare(telemetry.behaviorStatus, "Mowing")
            compare(telemetry.operationalStatus, true)
            compare(telemetry.pose.position.y, 8)
            compare(telemetry.twist.linearVelocity.x, 1)
            // A connection opened by itself does not return to the manager.
            compare(RobotManager.size, 0)
            rosbridge.publish("/autopilot/interface/system_status",
                              { is_operational: false, behavior_status: "Docked",
                                position_accuracy_status: "inaccurate" })
            tryCompare(telemetry, "behaviorStatus", "Docked")
            compare(telemetry.positionAccuracy, PositionAccuracy.Inaccurate)
        }

        // The robot's real time-out: ten seconds. The reply that comes after it is ignored.
        function test_callTimesOut() {
            rosbridge.reply(jobPrefix + "start", true, nested(true, ""), 10800)
            ignoreWarning(/Received service response for unknown service call/)
            const started = Date.now()
            const outcome = watch(robot.jobInterface.startJob(u1))
            tryVerify(() => outcome.state !== "pending", 20000, "the call times out")
            compare(outcome.state, "rejected")
            compare(outcome.error, "Service call timed out")
            const elapsed = outcome.settledAt - started
            // A coarse timer may fire up to 5 % early.
            verify(elapsed >= 9400 && elapsed < 10800, "timed out after " + elapsed + " ms")
            // Let the late reply arrive (the warning above must be seen); the promise stays
            // rejected.
            wait(12500 - (Date.now() - started))
            compare(outcome.state, "rejected")
            compare(outcome.error, "Service call timed out")
        }

        // A second start lets go of the first plan subscription: one subscription on the robot,
        // each plan message handled once, and one unsubscribe when the recording is aborted.
        function test_recordingTwice() {
            const recording = robot.pathRecordingInterface
            const plan = "/autopilot/plan"
            rosbridge.reply("/autopilot/interface/record_path", true, { success: true, message: "" })
            rosbridge.reply("/autopilot/interface/abort_record_path", true, { success: true, message: "" })
            const subscribes = rosbridge.subscribeCount(plan)
            const unsubscribes = rosbridge.unsubscribeCount(plan)
            const first = watch(recording.startRecording(false))
            tryVerify(() => first.state === "resolved")
            const second = watch(recording.startRecording(true))
            tryVerify(() => second.state === "resolved")
            compare(rosbridge.subscribeCount(plan), subscribes + 1)

            const spy = Qt.createQmlObject("import QtTest; SignalSpy {}", testCase)
            spy.target = recording
            spy.signalName = "recordingProgressPathChanged"
            // A plan without poses still replaces the path.
            rosbridge.publish(plan, {})
            rosbridge.publish(plan, { poses: [{ pose: { position: { x: 1, y: 1, z: 1 },
                                                        orientation: { x: 0, y: 0, z: 0, w: 1 } } }] })
            tryVerify(() => spy.count >= 2)
            compare(spy.count, 2)
            compare(recording.recordingProgressPath.length, 1)
            compare(rosbridge.unsubscribeCount(plan), unsubscribes)

            const aborted = watch(recording.abortRecording())
            tryVerify(() => aborted.state === "resolved")
            tryVerify(() => rosbridge.unsubscribeCount(plan) === unsubscribes + 1)
            verify(rosbridge.frames().indexOf('{"op":"unsubscribe","topic":"/autopilot/plan"}') >= 0)
            const last = rosbridge.requests("unsubscribe").slice(-1)[0]
            compare(Object.keys(last).sort(), ["op", "topic"])
            compare(last.topic, plan)
            compare(rosbridge.callTexts("/autopilot/interface/abort_record_path").slice(-1)[0]
                    .indexOf('"args":{}'), 1)
            spy.destroy()
        }
    }

    TestCase {
        name: "Connect"

        function cleanup() {
            verify(rosbridge.listenAgain())
            compare(RobotManager.size, 0)
        }

        function test_failedConnects_data() {
            return [
                { tag: "bad host", url: "bad host" },
                { tag: "bad host in a ws url", url: "ws://bad host:9090" },
                { tag: "empty", url: "" , useEmpty: true },
                { tag: "refused", url: "", refuse: true }
            ]
        }

        function test_failedConnects(data) {
            if (data.refuse)
                rosbridge.refuse()
            const url = data.useEmpty ? "" : (data.url || rosbridge.url)
            const manager = watch(RobotManager.connect(url))
            const connection = Qt.createQmlObject("import orvane.RobotCommunication; RobotConnection {}", root)
            const own = watch(connection.connect(url))
            tryVerify(() => manager.state !== "pending" && own.state !== "pending", 10000)
            compare(manager.state, "rejected")
            compare(manager.error, "Robot connection failed")
            compare(own.state, "resolved")
            compare(own.value, false)
            compare(connection.status, RobotConnectionStatus.Closed)
            compare(RobotManager.size, 0)
            compare(RobotManager.activeConnection, null)
            connection.destroy()
        }

        function test_connectToBadHostName() {
            const outcome = watch(RobotManager.connectToHost("bad host"))
            tryVerify(() => outcome.state !== "pending", 10000)
            compare(outcome.error, "Robot connection failed")
            compare(RobotManager.size, 0)
        }

        // A connection that goes while calls wait: the calls end as canceled, and nothing runs on
        // the gone objects afterwards.
        function test_destroyedWithPendingCall() {
            const connection = Qt.createQmlObject("import orvane.RobotCommunication; RobotConnection {}", root)
            const opened = watch(connection.connect(rosbridge.url))
            tryVerify(() => opened.state !== "pending")
            compare(opened.value, true)
            rosbridge.noReply(jobPrefix + "stop")
            rosbridge.reply(resourcePrefix + "path/get", true, nested(true, "", { json: "{}" }), 200)
            const stop = watch(connection.jobInterface.stopJob())
            const get = watch(connection.pathResourceInterface.getResource(u1))
            tryVerify(() => rosbridge.callTexts(resourcePrefix + "path/get").length > 0)
            connection.destroy()
            tryVerify(() => rosbridge.clientCount() === 0)
            // Canceled calls reject (the bridge's documented choice) instead of hanging.
            tryVerify(() => stop.state !== "pending" && get.state !== "pending")
            compare(stop.error, "Operation canceled")
            compare(get.error, "Operation canceled")
            wait(400) // past the scripted reply's delay
            gc()
            compare(get.state, "rejected")
        }

        // Only the host and port of a URL count: the socket opens plain ws.
        function test_connectTakesHostAndPortOnly() {
            const outcome = watch(RobotManager.connect("wss://127.0.0.1:" + rosbridge.port
                                                       + "/robot?name=x#top"))
            tryVerify(() => outcome.state !== "pending")
            compare(outcome.state, "resolved", outcome.error)
            compare(RobotManager.size, 1)
            compare(rosbridge.clientCount(), 1)
            outcome.value.getObject().disconnect()
            tryCompare(RobotManager, "size", 0)
            tryVerify(() => rosbridge.clientCount() === 0)
        }

        // A connection QML makes itself is independent of the manager.
        function test_ownConnection() {
            const connection = Qt.createQmlObject("import orvane.RobotCommunication; RobotConnection {}", root)
            compare(connection.status, RobotConnectionStatus.Closed)
            compare(connection.name, "Sorvyn")
            const statuses = []
            connection.connectionStatusChanged.connect(() => statuses.push(connection.status))
            const outcome = watch(connection.connect(rosbridge.url))
            tryVerify(() => outcome.state !== "pending")
            compare(outcome.value, true)
            compare(connection.status, RobotConnectionStatus.Connected)
            compare(statuses, [RobotConnectionStatus.Connecting, RobotConnectionStatus.Connected])
            compare(RobotManager.size, 0)
            verify(connection.resourceInterface(5) === connection.mapResourceInterface)
            verify(connection.resourceInterface(0) === connection.pathResourceInterface)
            verify(connection.resourceInterface(4) === connection.scheduleResourceInterface)
            compare(connection.resourceInterface(6), null)
            connection.disconnect()
            tryCompare(connection, "status", RobotConnectionStatus.Closed)
            compare(statuses, [RobotConnectionStatus.Connecting, RobotConnectionStatus.Connected,
                               RobotConnectionStatus.Closing, RobotConnectionStatus.Closed])
            connection.destroy()
            tryVerify(() => rosbridge.clientCount() === 0)
        }
    }

    TestCase {
        name: "Registration"

        function test_uncreatable_data() {
            return [
                { tag: "IRobotConnection", reason: "IRobotConnection is an abstract base class" },
                { tag: "IRobotManager", reason: "IRobotManager is an abstract class" },
                { tag: "IRobotMapResourceInterface", reason: "IRobotMapResourceInterface must be accessed through IRobotConnection" },
                { tag: "IRobotResourceInterface", reason: "IRobotResourceInterface must be accessed through IRobotConnection" },
                { tag: "NetworkDevice", reason: "Access only through manager" },
                { tag: "RobotJobInterface", reason: "RobotJobInterface must be accessed through RobotConnection" },
                { tag: "RobotMapResourceInterface", reason: "RobotMapResourceInterface must be accessed through RobotConnection" },
                { tag: "PositionAccuracy", reason: "Wrapper for PositionAccuracy enum to expose it to QML" },
                { tag: "RobotPathRecordingInterface", reason: "RobotPathRecordingInterface must be accessed through RobotConnection" },
                { tag: "RobotResourceInterface", reason: "RobotResourceInterface must be accessed through RobotConnection" },
                { tag: "RobotSubscription", reason: "RobotSubscription is not creatable from QML" },
                { tag: "RobotTelemetryInterface", reason: "RobotTelemetryInterface must be accessed through RobotConnection" }
            ]
        }

        function test_uncreatable(data) {
            let error = null
            try {
                Qt.createQmlObject("import orvane.RobotCommunication; " + data.tag + " {}", root)
            } catch (e) {
                error = e
            }
            verify(error !== null, "creating " + data.tag + " fails")
            compare(error.qmlErrors.length, 1)
            verify(error.qmlErrors[0].message.endsWith(data.reason), error.qmlErrors[0].message)
        }

        function test_singletons() {
            verify(RobotManager === RobotManager)
            verify(RobotManager !== null)
            compare(RobotConnectionStatus.toString(RobotConnectionStatus.Connecting), "Connecting")
            compare(RobotConnectionStatus.toString(RobotConnectionStatus.Closing), "Disconnecting")
            compare(RobotConnectionStatus.toString(RobotConnectionStatus.Error), "Error")
            compare(RobotConnectionStatus.toString(7), "Unknown")
            compare(RobotConnectionStatus.Unknown, 5)
            compare(PositionAccuracy.Position_ok, 2)
            // A singleton is not an element one can declare.
            for (const type of ["RobotManager", "RobotConnectionStatus"]) {
                let failed = false
                try {
                    Qt.createQmlObject("import orvane.RobotCommunication; " + type + " {}", root)
                } catch (e) {
                    failed = true
                }
                verify(failed, type)
            }
            // The same manager from another component.
            const other = Qt.createQmlObject(
                "import QtQml; import orvane.RobotCommunication; QtObject { property var manager: RobotManager }", root)
            verify(other.manager === RobotManager)
            other.destroy()
        }
    }
}
