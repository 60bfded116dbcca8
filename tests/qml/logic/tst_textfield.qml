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
        id: fieldComponent
        TextField { placeholderText: "Device Address" }
    }

    Component {
        id: bareFieldComponent
        TextField {}
    }

    TestCase {
        name: "TextField"
        when: windowShown

        function near(actual, expected) {
            const e = Qt.color(expected)
            return Math.abs(actual.r - e.r) * 255 <= 1 && Math.abs(actual.g - e.g) * 255 <= 1
                    && Math.abs(actual.b - e.b) * 255 <= 1
        }

        function test_colours_data() {
            return [
                { tag: "idle", focus: false, enabled: true, text: "#000000",
                  placeholder: "#1d252e" },
                { tag: "focused", focus: true, enabled: true, text: "#000000",
                  placeholder: "#1c75bc" },
                { tag: "disabled", focus: false, enabled: false, text: "#1d252e",
                  placeholder: "#1d252e" }
            ]
        }

        function test_colours(data) {
            const field = createTemporaryObject(fieldComponent, root)
            field.enabled = data.enabled
            if (data.focus)
                field.forceActiveFocus()
            verify(near(field.color, data.text))
            verify(near(field.placeholderTextColor, data.placeholder))
            verify(near(field.selectionColor, "#1c75bc"))
            verify(near(field.selectedTextColor, "#ffffff"))
        }

        function test_geometry() {
            const field = createTemporaryObject(fieldComponent, root)
            compare(field.implicitWidth, 120)
            compare(field.implicitHeight, 56)
            compare(field.leftPadding, 16)
            compare(field.topPadding, 8)
            field.clip = true
            const placeholder = findChild(field, "floatingPlaceholder")
            compare(field.topInset, placeholder.largestHeight / 2)
            compare(field.topPadding, 8 + placeholder.largestHeight / 2)
        }

        function test_placeholderFloatsWithFocusOrText() {
            const field = createTemporaryObject(fieldComponent, root)
            const placeholder = findChild(field, "floatingPlaceholder")
            compare(placeholder.floating, false)
            compare(field.Accessible.name, "Device Address")
            field.text = "10.0.0.7"
            compare(placeholder.floating, true)
            compare(field.Accessible.name, "10.0.0.7")
            tryCompare(placeholder, "scale", 0.75)
            // On the outline's top edge.
            tryCompare(placeholder, "y", -placeholder.height / 2)
            field.text = ""
            tryCompare(placeholder, "scale", 1)
        }

        function test_withoutPlaceholderNothingFloats() {
            const field = createTemporaryObject(bareFieldComponent, root)
            compare(field.Accessible.name, "")
            compare(findChild(field, "floatingPlaceholder").visible, false)
            field.forceActiveFocus()
            compare(findChild(field, "textContainer").gapOpen, false)
        }
    }

    TestCase {
        name: "CursorDelegate"
        when: windowShown

        function test_visibility_data() {
            return [
                { tag: "focused", focus: true, readOnly: false, select: false, visible: true },
                { tag: "not focused", focus: false, readOnly: false, select: false,
                  visible: false },
                { tag: "read-only", focus: true, readOnly: true, select: false, visible: false },
                { tag: "selection", focus: true, readOnly: false, select: true, visible: false }
            ]
        }

        function test_visibility(data) {
            const field = createTemporaryObject(fieldComponent, root, { text: "hello" })
            field.readOnly = data.readOnly
            if (data.focus)
                field.forceActiveFocus()
            if (data.select)
                field.select(0, 3)
            // The input makes its cursor only once it is needed.
            const timer = findChild(field, "blinkTimer")
            compare(timer ? timer.parent.visible : false, data.visible)
            compare(timer ? timer.running : false, data.focus && !data.readOnly)
        }

        function test_blinksAndStaysSolidWhileMoving() {
            const field = createTemporaryObject(fieldComponent, root, { text: "hello" })
            field.forceActiveFocus()
            const timer = findChild(field, "blinkTimer")
            const cursor = timer.parent
            compare(timer.interval, Qt.styleHints.cursorFlashTime / 2)
            compare(cursor.opacity, 1)
            tryCompare(cursor, "opacity", 0, timer.interval * 4)
            field.cursorPosition = 2
            compare(cursor.opacity, 1)
            field.focus = false
            root.forceActiveFocus()
            compare(timer.running, false)
            compare(cursor.opacity, 1)
        }
    }
}
