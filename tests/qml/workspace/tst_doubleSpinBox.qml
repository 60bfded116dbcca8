import QtQuick
import QtQuick.Controls
import QtTest
import "../../../app/qml/Modules/Monitoring/GUI"
import "numberTexts.js" as Babel

Item {
    id: root
    width: 400
    height: 200
    // The pages reach the main window's length unit unqualified.
    property real uScale: 1

    Component {
        id: boxComponent
        DoubleSpinBox {
            width: 240
        }
    }

    TestCase {
        name: "DoubleSpinBox"
        when: windowShown

        function makeBox(properties) {
            const box = createTemporaryObject(boxComponent, root, properties || {})
            verify(box)
            return box
        }

        function editorOf(box) {
            return box.contentItem.contentItem
        }

        // The written separator rule: the given locale is en_US, the other one Dutch.
        function test_valueFromText_data() {
            return [
                { tag: "dots as groups", text: "1.234.567", value: 1234567 },
                { tag: "commas as groups", text: "1,234,567", value: 1234567 },
                { tag: "Dutch point before comma", text: "1.234,5", value: 1234.5 },
                { tag: "English comma before point", text: "1,234.5", value: 1234.5 },
                { tag: "lone comma is Dutch", text: "12,5", value: 12.5 },
                { tag: "lone point is English", text: "12.5", value: 12.5 },
                { tag: "lone comma group", text: "1,234", value: 1.234 },
                { tag: "no separator", text: "-42", value: -42 },
                { tag: "garbage", text: "abc", value: 0 },
            ]
        }

        function test_valueFromText(data) {
            const box = makeBox()
            compare(box.valueFromText(data.text, Qt.locale("en_US")), data.value)
        }

        function test_mixedSeparatorsAreUnhandled() {
            const box = makeBox()
            ignoreWarning("Unhandled Case")
            compare(box.valueFromText("1.2.3,4,5", Qt.locale("en_US")), 0)
        }

        // Numbers as CLDR writes them in either locale read back to the same value.
        function test_babelTexts() {
            const box = makeBox()
            for (const row of Babel.texts) {
                const read = box.valueFromText(row.text, Qt.locale("en_US"))
                verify(Math.abs(read - row.value) <= 1e-9 * Math.max(1, Math.abs(row.value)),
                       row.locale + " " + row.text + " read as " + read)
            }
        }

        function test_textFromValue_data() {
            return [
                { tag: "whole number, no decimals", props: {}, value: 12, text: "12" },
                { tag: "large whole number", props: {}, value: 1234567, text: "1234567" },
                { tag: "trailing zeros trimmed", props: { decimals: 3 }, value: 1.5, text: "1.5" },
                { tag: "point alone trimmed", props: { decimals: 3 }, value: 2, text: "2" },
                { tag: "zeros kept", props: { decimals: 3, trimExtraZeros: false }, value: 1.5,
                  text: "1.500" },
                { tag: "prefix and suffix", props: { decimals: 1, prefix: "x=", suffix: " V" },
                  value: 0.25, text: "x=0.3 V" },
                { tag: "scientific", props: { decimals: 2, notation: DoubleValidator.ScientificNotation },
                  value: 1234.5, text: "1.23e+03" },
            ]
        }

        function test_textFromValue(data) {
            const box = makeBox(data.props)
            box.value = data.value
            compare(box.displayText, data.text)
            compare(editorOf(box).text, data.text)
        }

        function test_groupSeparators() {
            const box = makeBox({ useLocaleFormat: true, decimals: 2 })
            box.locale = Qt.locale("en_US")
            box.value = 1234567.25
            compare(box.displayText, "1234567.25")
            box.showGroupSeparator = true
            compare(box.displayText, "1,234,567.25")
        }

        function test_outsideValueIsRoundedQuietly() {
            const box = makeBox({ decimals: 2 })
            const modified = createTemporaryObject(signalSpyComponent, root,
                                                   { target: box, signalName: "valueModified" })
            box.value = 1.23456
            compare(box.value, 1.23)
            compare(modified.count, 0)
            box.value = 1e30
            compare(box.value, box.topValue)
            compare(modified.count, 0)
        }

        function test_limits_data() {
            return [
                { tag: "wrap over the top", wrap: true, start: 10, steps: 1, value: -5 },
                { tag: "wrap under the bottom", wrap: true, start: -5, steps: -1, value: 10 },
                { tag: "stop at the top", wrap: false, start: 10, steps: 1, value: 10 },
                { tag: "stop at the bottom", wrap: false, start: -5, steps: -1, value: -5 },
            ]
        }

        function test_limits(data) {
            const box = makeBox({ from: 10, to: -5, wrap: data.wrap, value: data.start })
            compare(box.topValue, 10)
            compare(box.botValue, -5)
            box.stepBy(data.steps)
            compare(box.value, data.value)
            const spin = box.contentItem
            compare(spin.up.indicator.enabled, data.wrap || box.value < 10)
            compare(spin.down.indicator.enabled, data.wrap || box.value > -5)
        }

        // In a Dutch locale the comma is the decimal separator in both directions.
        function test_keys() {
            const box = makeBox({ decimals: 1, stepSize: 0.5, useLocaleFormat: true })
            box.locale = Qt.locale("nl_NL")
            const entered = createTemporaryObject(signalSpyComponent, root,
                                                  { target: box, signalName: "valueEntered" })
            const editor = editorOf(box)
            editor.forceActiveFocus()
            keyClick(Qt.Key_Up)
            compare(box.value, 0.5)
            keyClick(Qt.Key_PageDown)
            compare(box.value, -4.5)
            editor.selectAll()
            keyClick(Qt.Key_Delete)
            for (const c of "12,5")
                keyClick(c)
            compare(entered.count, 0)
            keyClick(Qt.Key_Return)
            compare(box.value, 12.5)
            compare(entered.count, 1)
            compare(editor.text, "12,5")
        }

        // An edit not committed yet is the base of the next step.
        function test_stepFromTypedText() {
            const box = makeBox()
            const editor = editorOf(box)
            editor.forceActiveFocus()
            editor.selectAll()
            keyClick(Qt.Key_Delete)
            keyClick("4")
            keyClick("1")
            keyClick(Qt.Key_Up)
            compare(box.value, 42)
        }

        function test_wheel() {
            const box = makeBox({ pageSteps: 10 })
            editorOf(box).forceActiveFocus()
            mouseWheel(box, box.width / 2, box.height / 2, 0, 240)
            compare(box.value, 2)
            mouseWheel(box, box.width / 2, box.height / 2, 0, -120, Qt.NoButton, Qt.ControlModifier)
            compare(box.value, -8)
        }

        // A held + button: one step at once, the next after the delay, then one per interval.
        function test_heldButton() {
            const box = makeBox({ buttonRepeatDelay: 300, buttonRepeatInterval: 100 })
            const times = []
            box.valueModified.connect(function () { times.push(Date.now()) })
            const up = box.contentItem.up.indicator
            const pressed = Date.now()
            mousePress(up, up.width / 2, up.height / 2)
            compare(box.value, 1)
            tryVerify(function () { return times.length >= 4 }, 5000)
            mouseRelease(up, up.width / 2, up.height / 2)
            const count = times.length
            wait(250)
            compare(times.length, count)
            verify(times[1] - pressed >= 290, "second step after " + (times[1] - pressed) + " ms")
            for (let i = 2; i < times.length; ++i)
                verify(times[i] - times[i - 1] >= 90, "step gap " + (times[i] - times[i - 1]))
        }
    }

    Component {
        id: signalSpyComponent
        SignalSpy { }
    }
}
