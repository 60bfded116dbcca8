import QtQuick
import QtTest
import QtQuick.Controls.Material
import orvane.Branding
import orvane.Controls

Item {
    id: root
    width: 800
    height: 600

    Component {
        id: buttonComponent
        Button { text: "Connect" }
    }

    TestCase {
        name: "Button"
        when: windowShown

        // The pointer starts far from where the buttons appear.
        function init() {
            mouseMove(root, root.width - 1, root.height - 1)
        }

        function face(button) {
            return findChild(button, "gradientRect")
        }

        // Within one step of 255 per channel: the written values are colour names, rounded.
        function near(actual, expected) {
            const e = Qt.color(expected)
            return Math.abs(actual.r - e.r) * 255 <= 1 && Math.abs(actual.g - e.g) * 255 <= 1
                    && Math.abs(actual.b - e.b) * 255 <= 1 && Math.abs(actual.a - e.a) * 255 <= 1
        }

        function waitColor(object, property, expected) {
            tryVerify(() => near(object[property], expected), 1000, property + " reaches " + expected)
        }

        function sameColor(actual, expected, what) {
            verify(near(actual, expected), what + ": " + actual + " expected " + expected)
        }

        // Expected faces from the colour rules, written out as numbers.
        function test_faceStops_data() {
            return [
                { tag: "default", color: undefined, enabled: true, a: "#000000", b: "#b4b4b4" },
                { tag: "default disabled", color: undefined, enabled: false, a: "#808080",
                  b: "#dadada" },
                { tag: "danger", color: "#dd0830", enabled: true, a: "#dd0830", b: "#f5b6c2" }
            ]
        }

        function test_faceStops(data) {
            const button = createTemporaryObject(buttonComponent, root)
            if (data.color !== undefined)
                button.color = data.color
            button.enabled = data.enabled
            const rect = face(button)
            waitColor(rect, "gradientStopA", data.a)
            waitColor(rect, "gradientStopB", data.b)
            const label = findChild(button, "label")
            sameColor(label.color, data.enabled ? "#ffffff" : "#808080", "label")
        }

        function test_hoverLightensBothStopsAndAnimates() {
            const button = createTemporaryObject(buttonComponent, root, { color: "#dd0830" })
            button.height = 60
            const rect = face(button)
            mouseMove(button, button.width / 2, button.height / 2)
            tryCompare(button, "hovered", true)
            compare(button.state, "hover")
            // The change animates: right after hovering the stop is on its way.
            waitColor(rect, "gradientStopA", Qt.lighter("#dd0830", 1.2))
            waitColor(rect, "gradientStopB", Qt.lighter(Qt.tint("#dd0830", "#b4FFFFFF"), 1.2))
            button.enabled = false
            compare(button.state, "")
            // Disabled: no hover look even under the pointer.
            verify(button.hovered === false || button.state === "")
            mouseMove(root, root.width - 1, root.height - 1)
        }

        function test_defaultHoverChangesOnlyTheLightEnd() {
            const button = createTemporaryObject(buttonComponent, root)
            const rect = face(button)
            mouseMove(button, button.width / 2, button.height / 2)
            tryCompare(button, "hovered", true)
            waitColor(rect, "gradientStopB", "#d8d8d8")
            sameColor(rect.gradientStopA, "#000000", "stop A")
            mouseMove(root, root.width - 1, root.height - 1)
        }

        function test_stopChangeTakesAboutOneHundredMs() {
            const button = createTemporaryObject(buttonComponent, root)
            const rect = face(button)
            button.enabled = false
            // Not there at once, there within a few frames of 100 ms.
            verify(!near(rect.gradientStopA, "#808080"))
            waitColor(rect, "gradientStopA", "#808080")
            // The label switches at once.
            button.enabled = true
            sameColor(findChild(button, "label").color, "#ffffff", "label")
        }

        function test_geometry_data() {
            return [
                { tag: "40 high", height: 40, topInset: 0, faceHeight: 40, radius: 20 },
                { tag: "insets 3", height: 40, topInset: 3, faceHeight: 34, radius: 17 },
                { tag: "100 high", height: 100, topInset: 0, faceHeight: 100, radius: 50 }
            ]
        }

        function test_geometry(data) {
            const button = createTemporaryObject(buttonComponent, root)
            button.height = data.height
            button.topInset = data.topInset
            button.bottomInset = data.topInset
            const rect = face(button)
            compare(button.leftPadding, data.height)
            compare(button.rightPadding, data.height)
            compare(rect.height, data.faceHeight)
            compare(rect.radius, data.radius)
            const label = findChild(button, "label")
            compare(button.implicitWidth, label.implicitWidth + 2 * data.height)
        }

        function test_unsizedButtonFollowsItsLabel() {
            const button = createTemporaryObject(buttonComponent, root)
            const label = findChild(button, "label")
            compare(button.font.family, "Raleway")
            compare(button.font.pixelSize, 24)
            compare(button.font.weight, Font.Bold)
            compare(button.height, label.implicitHeight)
            compare(button.width, label.implicitWidth + 2 * button.height)
        }

        function test_longLabelOverflowsCentred() {
            const button = createTemporaryObject(buttonComponent, root,
                                                 { text: "A very long label indeed" })
            button.width = 120
            button.height = 40
            const label = findChild(button, "label")
            verify(label.contentWidth > label.width)
            compare(label.elide, Text.ElideNone)
        }
    }
}
