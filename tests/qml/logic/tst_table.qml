import QtQuick
import QtQuick.Layouts
import QtTest
import QtQuick.Controls.Material
import orvane.Branding
import orvane.Controls

Item {
    id: root
    width: 900
    height: 600

    function near(actual, expected) {
        const e = Qt.color(expected)
        return Math.abs(actual.r - e.r) * 255 <= 1 && Math.abs(actual.g - e.g) * 255 <= 1
                && Math.abs(actual.b - e.b) * 255 <= 1
    }

    Component {
        id: tableComponent
        Table {
            width: 800
            height: 400
            header: HeaderContainer {
                HeaderColumn { text: "Serial"; Layout.preferredWidth: 100 }
                HeaderColumn { text: "Service"; Layout.fillWidth: true }
            }
            model: ["<b>bold</b> serial", "second", "third"]
            row: TableRow {
                required property string modelData
                markCurrent: true
                selectable: index === 1
                required property int index
                TableTextEntry { objectName: "first"; columnWidth: 100; text: modelData }
                TableTextEntry { objectName: "rest"; columnWidth: 100; Layout.fillWidth: true
                                 text: "a text much longer than its cell. ".repeat(12) }
            }
        }
    }

    TextMetrics { id: metrics }

    Component {
        id: bareTableComponent
        Table { width: 400; height: 300 }
    }

    Component {
        id: actionComponent
        TableActionButton { text: "terminal"; width: 40; height: 26 }
    }

    TestCase {
        name: "Table"
        when: windowShown

        function rows(table) {
            const list = table.listView
            return [0, 1, 2].map(i => list.itemAtIndex(i))
        }

        function test_frameHeaderAndRows() {
            const table = createTemporaryObject(tableComponent, root)
            compare(table.radius, 30)
            const header = findChild(table, "headerLoader")
            compare(header.height, 50)
            compare(header.x, 70)
            const content = findChild(table, "contentArea")
            compare(content.y, 50)
            compare(content.radius, 25)
            const list = table.listView
            compare(list.y, 12.5)
            compare(list.x, 70)
            compare(list.width, 800 - 10 - 140)
            tryVerify(() => list.itemAtIndex(2) !== null)
            const r = rows(table)
            compare(r[1].y - (r[0].y + r[0].height), 5)
            compare(r[0].width, list.width)
            compare(r[0].height, 30)
            compare(r[0].radius, 15)
        }

        function test_withoutHeaderTheContentStartsAtTheFrame() {
            const table = createTemporaryObject(bareTableComponent, root)
            compare(findChild(table, "headerLoader").height, 0)
            compare(findChild(table, "contentArea").y, 0)
            compare(findChild(table, "headerArea").x, 5)
        }

        function test_cellsAndSelection() {
            const table = createTemporaryObject(tableComponent, root)
            tryVerify(() => table.listView.itemAtIndex(1) !== null)
            const [plain, selectable] = rows(table)
            // No check box: the first cell starts 1 + its margin from the row's edge.
            compare(plain.checkbox.visible, false)
            const first = findChild(plain, "first")
            fuzzyCompare(first.mapToItem(plain, 0, 0).x, 1 + 1.4, 0.001)
            fuzzyCompare(first.width, 97.2, 0.001)
            fuzzyCompare(first.height, 25.2, 0.001)
            // With a check box: 26 x 26 first.
            compare(selectable.checkbox.visible, true)
            compare(selectable.checkbox.width, 26)
            compare(selectable.checkbox.height, 26)
            verify(findChild(selectable, "first").x > 26)
            verify(root.near(selectable.color, "#e6e6e6"))
            mouseClick(selectable.checkbox)
            compare(selectable.selected, true)
            verify(root.near(selectable.color, "#d1ece7"))
            mouseClick(selectable.checkbox)
            verify(root.near(selectable.color, "#e6e6e6"))
        }

        function test_currentRowBorderOnlyWhenMarked() {
            const table = createTemporaryObject(tableComponent, root)
            tryVerify(() => table.listView.itemAtIndex(1) !== null)
            table.listView.currentIndex = 1
            const r = rows(table)
            compare(r[1].border.width, 2)
            verify(root.near(r[1].border.color, "#3db199"))
            compare(r[0].border.width, 0)
            r[1].markCurrent = false
            compare(r[1].border.width, 0)
        }

        // Cell texts can come from a device: markup is shown as the text it is.
        function test_textCellsArePlainAndElided() {
            const table = createTemporaryObject(tableComponent, root)
            tryVerify(() => table.listView.itemAtIndex(0) !== null)
            const row = rows(table)[0]
            const first = findChild(row, "first")
            const text = findChild(first, "entryText")
            compare(first.Accessible.name, "<b>bold</b> serial")
            // The tags take room as characters: the width of the raw text, not of "bold serial".
            metrics.font = text.font
            metrics.text = "<b>bold</b> serial"
            fuzzyCompare(text.implicitWidth - text.leftPadding - text.rightPadding,
                         metrics.advanceWidth, 2)
            const rest = findChild(findChild(row, "rest"), "entryText")
            compare(rest.elide, Text.ElideRight)
            verify(rest.truncated)
            compare(rest.leftPadding, findChild(row, "rest").height / 2)
        }
    }

    TestCase {
        name: "TableActionButton"
        when: windowShown

        function test_hoverDarkensUntilPressed() {
            const button = createTemporaryObject(actionComponent, root)
            verify(root.near(button.background.color, "#cccbca"))
            mouseMove(button, 10, 10)
            tryCompare(button, "hovered", true)
            verify(root.near(button.background.color, Qt.darker("#cccbca", 1.5)))
            mousePress(button, 10, 10)
            verify(root.near(button.background.color, "#cccbca"))
            mouseRelease(button, 10, 10)
            button.enabled = false
            compare(button.opacity, 0.3)
            verify(root.near(button.background.color, "#cccbca"))
            mouseMove(root, root.width - 1, root.height - 1)
        }
    }
}
