import QtQuick
import QtTest
import "../../../app/qml/Modules/Monitoring/GUI"
import "precisionTexts.js" as Node

Item {
    id: root
    width: 400
    height: 100
    property real uScale: 1
    property int hRef: 1080

    Component {
        id: fieldComponent
        ParameterInputField {
            width: 200
            height: 30
        }
    }

    TestCase {
        name: "ParameterInputField"
        when: windowShown

        function makeField(properties) {
            const field = createTemporaryObject(fieldComponent, root, properties || {})
            verify(field)
            return field
        }

        function same(a, b) {
            return (Number.isNaN(a) && Number.isNaN(b)) || a === b
        }

        // Formatting and parsing agree with Node's own conversions on the generated table.
        function test_nodeTable() {
            const field = makeField()
            for (const row of Node.formats)
                compare(field.textFromValue(row.value, row.precision), row.text,
                        row.value + " at " + row.precision)
            for (const row of Node.parses)
                verify(same(field.valueFromText(row.text), row.value),
                       "'" + row.text + "' read as " + field.valueFromText(row.text))
        }

        function test_precisionOfValueText_data() {
            return [
                { tag: "inner and trailing zeros", text: "10.010", precision: 5 },
                { tag: "leading zeros", text: "0.00101", precision: 3 },
                { tag: "exponent", text: "1.010e-3", precision: 4 },
                { tag: "typed pi", text: "3.14159265", precision: 9 },
                { tag: "empty", text: "", precision: 0 },
            ]
        }

        function test_precisionOfValueText(data) {
            compare(makeField().precisionOfValueText(data.text), data.precision)
        }

        // The conversion throws outside 1..21 digits: an empty text (0) or a long one still
        // formats, and an empty field is neither dirty-checked into an exception nor valid.
        function test_precisionIsClamped() {
            const field = makeField({ currentValue: 2.5 })
            compare(field.textFromValue(2.4, 0), "2")
            compare(field.textFromValue(1 / 3, 40), "0.33333333333333331483")
            field.text = ""
            verify(field.isDirty)
            verify(!field.isValid())
            field.text = "1.0000000000000000000000001"
            compare(field.displayedValuePrecision, 26)
            verify(field.isDirty)
        }

        function test_entries_data() {
            return [
                { tag: "decimal comma", text: "1,5", acceptable: true, valid: true, value: 1.5 },
                { tag: "exponent", text: "1e3", acceptable: true, valid: true, value: 1000 },
                { tag: "lone minus", text: "-", acceptable: true, valid: false },
                { tag: "two separators", text: "1.5.6", acceptable: false },
                { tag: "letters", text: "abc", acceptable: false },
            ]
        }

        function test_entries(data) {
            const field = makeField()
            field.text = data.text
            compare(field.acceptableInput, data.acceptable)
            if (!data.acceptable)
                return
            compare(field.isValid(), data.valid)
            if (data.valid)
                compare(field.getValue(), data.value)
        }

        function test_dirty_data() {
            return [
                { tag: "same value, more zeros", text: "0.10", dirty: false },
                { tag: "other value", text: "0.11", dirty: true },
                { tag: "same value, exponent", text: "1e-1", dirty: false },
            ]
        }

        function test_dirty(data) {
            const field = makeField({ currentValue: 0.1 })
            compare(field.text, "0.1")
            verify(!field.isDirty)
            field.text = data.text
            compare(field.isDirty, data.dirty)
        }

        // The value the device confirms shows with as many digits as the user typed; typed text
        // stays until the device's value changes.
        function test_confirmedValueKeepsTypedPrecision() {
            const field = makeField({ currentValue: 1 })
            field.text = "3.14159265"
            field.updateCurrentValuePrecision()
            compare(field.currentValuePrecision, 9)
            compare(field.text, "3.14159265")
            field.currentValue = 3.1415927410125732 // the single-precision value
            compare(field.text, "3.14159274")
            verify(!field.isDirty)
        }
    }
}
