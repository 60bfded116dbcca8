import QtQuick
import QtTest
import QtQuick.Controls.Material
import orvane.Controls

Item {
    id: root
    width: 800
    height: 600

    Component {
        id: checkBoxComponent
        CheckBox {}
    }

    Component {
        id: indicatorComponent
        CheckIndicator {}
    }

    TestCase {
        name: "CheckBox"
        when: windowShown

        function test_geometry_data() {
            return [
                { tag: "background, no text", drawBackground: true, text: "", width: 100,
                  height: 40, indicatorX: 30, indicatorY: 10, labelPadding: 70 },
                { tag: "background, taller", drawBackground: true, text: "", width: 100,
                  height: 60, indicatorX: 30, indicatorY: 10, labelPadding: 70 },
                { tag: "background, text", drawBackground: true, text: "Auto", width: 300,
                  height: 40, indicatorX: 30, indicatorY: 10, labelPadding: 70 },
                { tag: "bare, text", drawBackground: false, text: "Auto", width: -1,
                  height: -1, indicatorX: 0, indicatorY: 0, labelPadding: 40 }
            ]
        }

        function test_geometry(data) {
            const box = createTemporaryObject(checkBoxComponent, root,
                                              { drawBackground: data.drawBackground,
                                                text: data.text })
            if (data.width > 0)
                box.width = data.width
            if (data.height > 0)
                box.height = data.height
            if (data.drawBackground) {
                compare(box.implicitWidth, 100)
                compare(box.implicitHeight, 40)
            } else {
                compare(box.implicitHeight, 20)
                const label = findChild(box, "label")
                compare(box.implicitWidth, 40 + label.contentWidth)
            }
            const indicator = findChild(box, "indicator")
            compare(indicator.width, 40)
            compare(indicator.height, 20)
            compare(indicator.x, data.indicatorX)
            compare(indicator.y, data.indicatorY)
            compare(findChild(box, "label").leftPadding, data.labelPadding)
            compare(findChild(box, "checkBoxBackground").visible, data.drawBackground)
        }

        function test_knobSlidesAndTurnsGreen() {
            const box = createTemporaryObject(checkBoxComponent, root)
            const knob = findChild(box, "slider")
            compare(knob.x, 0)
            verify(Qt.colorEqual(knob.color, "#B4B4B4"))
            mouseClick(box)
            compare(box.checked, true)
            // Animated: not at the end at once, there within a few frames of 100 ms.
            verify(knob.x < 20)
            tryCompare(knob, "x", 20, 1000)
            tryVerify(() => Qt.colorEqual(knob.color, "#3CB099"), 1000, "knob turns green")
            box.enabled = false
            verify(Qt.colorEqual(knob.color, "#3CB099"))
            fuzzyCompare(findChild(box, "label").color.a, 0.5, 0.005)
        }
    }

    TestCase {
        name: "CheckIndicator"
        when: windowShown

        function dot(indicator) {
            return findChild(indicator, "dot")
        }

        function test_dotByState_data() {
            return [
                { tag: "checked", state: Qt.Checked, visible: true, scale: 1 },
                { tag: "partially", state: Qt.PartiallyChecked, visible: true, scale: 0 },
                { tag: "unchecked", state: Qt.Unchecked, visible: false, scale: 1 }
            ]
        }

        function test_dotByState(data) {
            const indicator = createTemporaryObject(indicatorComponent, root)
            indicator.checkState = data.state
            compare(dot(indicator).visible, data.visible)
            tryCompare(dot(indicator), "scale", data.scale, 1000)
            compare(dot(indicator).width, 14.4)
            compare(dot(indicator).radius, 7.2)
        }

        function test_pulseOnEveryChange() {
            const indicator = createTemporaryObject(indicatorComponent, root)
            let smallest = 1
            const watch = () => { smallest = Math.min(smallest, indicator.scale) }
            indicator.scaleChanged.connect(watch)
            indicator.checkState = Qt.Checked
            compare(indicator.state, "checked")
            compare(dot(indicator).visible, true)
            tryVerify(() => smallest <= 16 / 18 + 0.001, 1000)
            tryCompare(indicator, "scale", 1, 1000)
            indicator.scaleChanged.disconnect(watch)
        }

        function test_withoutControlShowsNothing() {
            const indicator = createTemporaryObject(indicatorComponent, root)
            compare(indicator.implicitWidth, 18)
            compare(indicator.checkState, Qt.Unchecked)
            compare(dot(indicator).visible, false)
        }

        function test_followsItsControl() {
            const box = createTemporaryObject(checkBoxComponent, root, { tristate: true })
            const indicator = createTemporaryObject(indicatorComponent, root, { control: box })
            box.checkState = Qt.PartiallyChecked
            compare(indicator.state, "partiallychecked")
            box.checkState = Qt.Checked
            compare(indicator.state, "checked")
        }
    }
}
