import QtQuick
import QtTest
import QtQuick.Controls.Material
import orvane.Branding
import orvane.Controls

Item {
    id: root
    width: 900
    height: 600

    Component { id: labelContainer; LabelContainer { label: "serial"; Rectangle { implicitWidth: 100; implicitHeight: 10 } } }
    Component { id: formField; FormTextField {} }
    Component { id: comboComponent; FormComboBox { model: ["one", "a very long entry that will not fit in the inner pill at all"] } }
    Component { id: spinComponent; SpinBox {} }
    Component { id: tumblerComponent; FormTumbler { model: 5 } }
    Component { id: timeComponent; FormTimeField {} }
    Component { id: groupComponent; GroupBox { title: "Network" } }

    TestCase {
        name: "Forms"
        when: windowShown

        function test_labelContainer() {
            const row = createTemporaryObject(labelContainer, root, { labelWidth: 150 })
            compare(row.implicitWidth, 100 + 150 + 44)
            compare(row.implicitHeight, 44)
            compare(findChild(row, "divider").x, 150)
            compare(row.leftPadding, 172)
            const metrics = Qt.createQmlObject("import QtQuick; FontMetrics {}", row)
            metrics.font = row.font
            compare(row.labelTextWidth, metrics.advanceWidth("serial"))
            metrics.destroy()
        }

        function test_formTextFieldWidthRule() {
            const field = createTemporaryObject(formField, root, { text: "abc" })
            compare(field.implicitWidth, field.contentWidth + field.leftPadding + field.rightPadding)
            field.leftInset = 3
            field.rightInset = 4
            compare(field.implicitWidth, 7)
            compare(field.Accessible.name, "abc")
        }

        function test_comboBox() {
            const combo = createTemporaryObject(comboComponent, root)
            compare(combo.implicitWidth, 372)
            verify(combo.implicitHeight >= 40)
            combo.currentIndex = 1
            const label = findChild(combo, "contentLabel")
            compare(label.elide, Text.ElideRight)
            verify(label.truncated)
            const indicator = findChild(combo, "indicatorIcon")
            compare(indicator.width, 96)
            compare(indicator.scale, 0.25)
            fuzzyCompare(indicator.data[0].pathWidth, 73.90083445627211, 1e-9)
        }

        function test_spinBoxGeometry() {
            const spin = createTemporaryObject(spinComponent, root)
            compare(spin.implicitWidth, 170)
            compare(spin.implicitHeight, 40)
            compare(spin.down.indicator.x, 0)
            compare(spin.up.indicator.x, 135)
            compare(spin.contentItem.x, 35)
            compare(spin.contentItem.y, 2)
            compare(spin.contentItem.height, 36)
            spin.LayoutMirroring.enabled = true
            compare(spin.up.indicator.x, 0)
            spin.height = 80
            compare(spin.up.indicator.height, 40)
        }

        function test_spinBoxValidatorOrdersItsLimits() {
            const spin = createTemporaryObject(spinComponent, root, { from: 10, to: 0, editable: true })
            compare(spin.validator.bottom, 0)
            compare(spin.validator.top, 10)
            spin.editable = false
            compare(spin.contentItem.readOnly, true)
        }

        function test_tumblerWheelGoesBack() {
            const tumbler = createTemporaryObject(tumblerComponent, root, { currentIndex: 4 })
            tumbler.width = 104
            mouseWheel(tumbler, 50, 56, 0, -120)
            tryCompare(tumbler, "currentIndex", 0)
            mouseWheel(tumbler, 50, 56, 0, 120)
            tryCompare(tumbler, "currentIndex", 4)
            mouseWheel(tumbler, 50, 56, 0, 240)
            tryCompare(tumbler, "currentIndex", 2)
            compare(tumbler.currentItem.text, "2")
        }

        function test_timeFieldWheelGoesForward() {
            const time = createTemporaryObject(timeComponent, root, { hourValue: 23, minuteValue: 5 })
            compare(time.implicitWidth, 122)
            compare(time.implicitHeight, 112)
            const hours = findChild(time, "hoursTumbler")
            compare(hours.currentItem.text, "23")
            mouseWheel(hours, 10, 50, 0, 120)
            tryCompare(time, "hourValue", 0)
            compare(hours.currentItem.text, "00")
            mouseWheel(hours, 10, 50, 0, -120)
            tryCompare(time, "hourValue", 23)
            compare(findChild(time, "minutesTumbler").currentItem.text, "05")
        }

        function test_groupBoxTitleBand() {
            const group = createTemporaryObject(groupComponent, root)
            const title = findChild(group, "title")
            compare(title.topPadding, title.contentHeight)
            compare(group.topPadding, title.height + 5)
            compare(title.elide, Text.ElideRight)
        }
    }
}
