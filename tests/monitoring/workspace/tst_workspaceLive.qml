import QtQuick
import QtQuick.Controls
import QtTest
import orvane.Branding
import "../../../app/qml/Modules/Monitoring/GUI"

// The Workspace page on the simulated Pelto streaming its sine vector: the model's variables are
// listed, an element dragged onto a plot slot draws a live line and is remembered in the
// settings, and "Send" writes a block parameter to the device.
Item {
    id: root
    width: 1500
    height: 1000
    property real uScale: 1
    property int hRef: 1080

    WidgetWorkspace {
        id: page
        anchors.fill: parent
    }

    TestCase {
        id: testCase
        name: "WorkspaceLive"
        when: windowShown

        function findAll(item, objectName, found) {
            found = found || []
            if (item.objectName === objectName)
                found.push(item)
            for (let i = 0; i < item.children.length; ++i)
                findAll(item.children[i], objectName, found)
            return found
        }

        function rowOf(name) {
            const list = page.listPanel.list
            for (let i = 0; i < list.contentItem.children.length; ++i) {
                const loader = list.contentItem.children[i]
                if (loader.item && loader.item.simulinkVariable
                        && loader.item.simulinkVariable.name === name)
                    return loader.item
            }
            return null
        }

        function filterTo(text) {
            const field = findChild(page.listPanel, "filterField")
            field.text = text
        }

        function countColour(image, x0, y0, w, h, colour) {
            let n = 0
            for (let y = y0; y < y0 + h; y += 2) {
                for (let x = x0; x < x0 + w; x += 2) {
                    const p = image.pixel(x, y)
                    if (Math.abs(p.r - colour.r) < 0.08 && Math.abs(p.g - colour.g) < 0.08
                            && Math.abs(p.b - colour.b) < 0.08)
                        ++n
                }
            }
            return n
        }

        function initTestCase() {
            tryVerify(function () { return page.device !== null }, 30000, "no Pelto selected")
            tryVerify(function () { return page.serviceRunning }, 20000, "monitoring did not start")
            tryVerify(function () { return page.workPanel.grid.count === 4 }, 30000,
                      "no plot panels")
            mouseClick(findChild(page.listPanel, "allButton"))
            tryVerify(function () { return page.listPanel.list.count > 0 }, 30000, "empty list")
        }

        function test_1_dragDrawsALiveLine() {
            filterTo("*vec*")
            tryVerify(function () { return rowOf("vec") !== null }, 5000)
            const row = rowOf("vec")
            mouseClick(findChild(row, "expandButton"))
            tryVerify(function () { return findAll(row, "elementCell").length === 4 }, 5000)
            const cell = findAll(row, "elementCell")[2]
            const panel = page.workPanel.grid.itemAtIndex(0)
            verify(panel)
            const slot = panel.itemModel.get(0)
            const from = cell.mapToItem(root, cell.width / 2, cell.height / 2)
            mousePress(root, from.x, from.y)
            for (let step = 1; step <= 10; ++step) {
                const to = slot.mapToItem(root, slot.width / 2, slot.height / 2)
                mouseMove(root, from.x + (to.x - from.x) * step / 10,
                          from.y + (to.y - from.y) * step / 10)
                wait(20)
            }
            verify(page.layoutRow.dragActive)
            const to = slot.mapToItem(root, slot.width / 2, slot.height / 2)
            mouseRelease(root, to.x, to.y)
            verify(!page.layoutRow.dragActive)
            tryCompare(slot, "name", "vec[1\u20223]", 3000)
            compare(String(peltoSim.setting("Monitoring_Signal_Selections/SigPath0-0")),
                    row.simulinkVariable.path)
            compare(String(peltoSim.setting("Monitoring_Signal_Selections/SigName0-0")),
                    "vec[1\u20223]")
            // The sine shows in the first slot's colour (samples arrive at the simulator's pace,
            // which a loaded machine slows down).
            const chart = panel.chart
            let image = null
            tryVerify(function () {
                image = grabImage(page)
                const area = chart.mapToItem(page, chart.plotArea.x, chart.plotArea.y)
                return countColour(image, area.x, area.y, chart.plotArea.width,
                                   chart.plotArea.height, Qt.color("#3DB199")) > 40
            }, 15000, "no line in the slot's colour")
            image.save(screensFolder + "/workspace.png")
        }

        // The legend's remove button takes the signal off the plot and out of the settings; a
        // right click cycles the line width through 1, 2, 3.
        function test_2_removeAndLineWidth() {
            const panel = page.workPanel.grid.itemAtIndex(0)
            const slot = panel.itemModel.get(0)
            const legend = panel.plotSlotModel.get(0)
            verify(legend.visible)
            mouseClick(findChild(legend, "removeButton"))
            compare(slot.name, "")
            verify(!legend.visible)
            for (const key of ["SigName0-0", "SigPath0-0", "ElementIndex0-0"])
                compare(String(peltoSim.setting("Monitoring_Signal_Selections/" + key)), "")
            const chart = panel.chart
            compare(chart.lineWidth, 2)
            const widths = []
            for (let i = 0; i < 3; ++i) {
                mouseClick(chart, chart.plotArea.x + 20, chart.plotArea.y + 20, Qt.RightButton)
                widths.push(chart.lineWidth)
            }
            compare(widths, [3, 1, 2])
        }

        function test_3_sendWritesTheParameter() {
            findChild(page.listPanel, "kindTabs").currentIndex = 2
            filterTo("*Gain*")
            tryVerify(function () { return rowOf("Gain") !== null }, 5000)
            const row = rowOf("Gain")
            const field = findChild(row, "parameterField")
            const before = peltoSim.controlPayloads().length
            field.text = "7.25"
            verify(findChild(row, "sendButton").enabled)
            mouseClick(findChild(row, "sendButton"))
            // Command 13 and its 26-byte parameter record, which ends in the value 7.25. The
            // device's polls share the control channel, so the write need not come first.
            const writes = function () {
                return peltoSim.controlPayloads().slice(before).filter(
                            function (p) { return p.substring(0, 4) === "0d00" })
            }
            tryVerify(function () { return writes().length > 0 }, 5000)
            const write = writes()[0]
            compare(writes().length, 1)
            compare(write.length, 2 * (5 + 26))
            verify(write.indexOf("0000000000001d40") > 0, write)
            tryCompare(row.simulinkVariable, "currentValue", 7.25, 5000)
            compare(field.text, "7.25")
        }
    }
}
