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

    // A plot container standing in for the live one: a fixed 20 to 30 s window holding a sample
    // every 0.1 s, read back by the container's rule (the first sample at or after the time).
    Component {
        id: standInContainer
        QtObject {
            property var xRanges: [1, 10, 100, 1000]
            property int xRangeIndex: 1
            property real yMin: -5
            property real yMax: 5
            property bool autoRange: false
            property bool pause: true
            property bool dynamicXrange: true
            property int numberOfBuckets: 4000
            property var axisX: null
            property var axisY: null
            function sampleValue(k) { return ((k * 37) % 101) / 10 - 5 }
            function setGuiPointers(window, yAxis, xAxis) {
                axisY = yAxis
                axisX = xAxis
                xAxis.min = 20
                xAxis.max = 30
                yAxis.min = yMin
                yAxis.max = yMax
            }
            function setSeries(s0, s1, s2, s3) {
                for (let k = 0; k <= 100; ++k)
                    s0.append(20 + k / 10, sampleValue(k))
            }
            function setVisible(visible) { }
            function qSGUpdate() { }
            function formatDouble(value) { return String(value) }
            function getLatestValue(index) { return 0 }
            function getValueAtTime(index, time) {
                if (index !== 0)
                    return 0
                for (let k = 0; k <= 100; ++k) {
                    if (20 + k / 10 >= time)
                        return sampleValue(k)
                }
                return 0
            }
            function addSignal(signal, elementIndex, slotNumber) { }
            function removeSignal(signal, slotNumber) { }
        }
    }

    Component {
        id: standAlonePanel
        Monitor_multiPlot2D {
            z: 10
            width: 1100
            index: 3
        }
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
            const place = cell.parent
            const from = cell.mapToItem(root, cell.width / 2, cell.height / 2)
            mousePress(root, from.x, from.y)
            for (let step = 1; step <= 10; ++step) {
                const to = slot.mapToItem(root, slot.width / 2, slot.height / 2)
                mouseMove(root, from.x + (to.x - from.x) * step / 10,
                          from.y + (to.y - from.y) * step / 10)
                wait(20)
            }
            verify(page.layoutRow.dragActive)
            // The slots carry no label of their own.
            for (let i = 0; i < 4; ++i) {
                const texts = findAll(panel.itemModel.get(i), "").filter(function (t) {
                    return t.text !== undefined && String(t.text) !== ""
                })
                compare(texts.length, 0, "slot " + i + " shows "
                        + texts.map(function (t) { return t.text }))
            }
            // While it travels the cell is hidden and a small popup marks its place in the grid.
            const marker = findChild(place, "placeMarker")
            verify(!cell.visible, "the dragged cell shows")
            verify(marker && marker.opened, "no popup marks the cell's place")
            const markerAt = marker.contentItem.mapToItem(root, 0, 0)
            const placeAt = place.mapToItem(root, 0, 0)
            verify(Math.abs(markerAt.x - placeAt.x) <= place.width
                   && Math.abs(markerAt.y - placeAt.y) <= place.height,
                   "marker at " + markerAt + ", place at " + placeAt)
            // The hidden cell still carries the drag: the slot under the pointer takes its colour.
            verify(slot.containsDrag)
            wait(350)
            grabImage(page).save(screensFolder + "/workspace-drag.png")
            const to = slot.mapToItem(root, slot.width / 2, slot.height / 2)
            mouseRelease(root, to.x, to.y)
            verify(!page.layoutRow.dragActive)
            // Dropped, the cell is back in its place and shows again; the marker is gone.
            verify(cell.visible)
            compare(cell.parent, place)
            compare(cell.x, 0)
            compare(cell.y, 0)
            tryVerify(function () { return !marker.visible }, 2000)
            tryCompare(slot, "name", "vec[1\u20223]", 3000)
            compare(String(peltoSim.setting("Monitoring_Signal_Selections/SigPath0-0")),
                    row.simulinkVariable.path)
            compare(String(peltoSim.setting("Monitoring_Signal_Selections/SigName0-0")),
                    "vec[1\u20223]")
            // The sine shows in the first slot's colour (samples arrive at the simulator's pace,
            // which a loaded machine slows down). The slots' borders share that colour: count
            // once they and the blur are gone.
            tryVerify(function () { return !findChild(panel, "slotColumn").visible }, 3000)
            tryVerify(function () { return !panel.chart.layer.enabled }, 3000)
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

        function makeStandAlonePanel() {
            const container = createTemporaryObject(standInContainer, root)
            const panel = createTemporaryObject(standAlonePanel, root, { modelData: container })
            verify(panel)
            // The chart lays out again once its axes have their ranges and labels: measure after.
            let area = Qt.rect(0, 0, 0, 0)
            tryVerify(function () {
                waitForRendering(panel)
                wait(100)
                const now = panel.chart.plotArea
                const settled = now.width > 100 && now === area
                area = now
                return settled
            }, 5000)
            return panel
        }

        // The cursor placed at the pixel of a time, worked out from the plot area and the axis
        // range, reads that time within one pixel's worth, and the read-out shows the sample the
        // series holds there (the next sample at 25.0 s for any time in (24.9, 25.0]).
        function test_4_dataCursorReadsTheTimeUnderIt_data() {
            return [
                { tag: "middle of the window", time: 24.95, sampleTime: 25.0 },
                { tag: "near the left edge", time: 20.35, sampleTime: 20.4 },
                { tag: "near the right edge", time: 29.65, sampleTime: 29.7 },
            ]
        }
        function test_4_dataCursorReadsTheTimeUnderIt(data) {
            const panel = makeStandAlonePanel()
            const container = panel.plt
            panel.itemModel.get(0).name = "wave[1\u20221]"
            const chart = panel.chart
            const area = chart.plotArea
            const perPixel = (container.axisX.max - container.axisX.min) / area.width
            const px = area.x + (data.time - container.axisX.min) / perPixel
            const py = area.y + area.height / 2
            // Entering from the left of the plot area: the cursor must not wait for a second move.
            mouseMove(chart, area.x - 30, py)
            mouseMove(chart, px, py)
            const cursor = findChild(panel, "dataCursor")
            verify(cursor.visible)
            verify(Math.abs(cursor.cursorX - data.time) <= perPixel,
                   "cursor at " + cursor.cursorX + " s for " + data.time + " s")
            const xText = findChild(panel, "cursorTime").text
            verify(Math.abs(Number(xText.replace("x: ", "")) - data.time) <= perPixel + 0.005,
                   xText)
            const expected = container.sampleValue(Math.round((data.sampleTime - 20) * 10))
            const value = findAll(panel, "slotValue")[0]
            compare(Number(value.text), expected)
            // Fixed, it keeps the time while the mouse moves on.
            mouseClick(chart, px, py)
            verify(cursor.fix)
            mouseMove(chart, px + 100, py)
            wait(600)
            verify(Math.abs(cursor.cursorX - data.time) <= perPixel,
                   "fixed at " + cursor.cursorX + " s")
            compare(Number(value.text), expected)
            grabImage(panel).save(screensFolder + "/plot-cursor-" + data.tag.replace(/ /g, "-")
                                  + ".png")
        }

        // The y axis ticks sit on whole multiples of a round interval, so the tick at zero reads
        // "0" however the range was reached; labels as C's "%.4g" prints them.
        function test_5_yAxisTickLabels_data() {
            return [
                { tag: "symmetric", min: -1.4, max: 1.4, labels: ["-1", "-0.5", "0", "0.5", "1"] },
                { tag: "symmetric after ranging", min: -1.3999965, max: 1.4000035,
                  labels: ["-1", "-0.5", "0", "0.5", "1"] },
                { tag: "tenths at the edges", min: -0.3, max: 0.3,
                  labels: ["-0.3", "-0.2", "-0.1", "0", "0.1", "0.2", "0.3"] },
                // Summed up from -0.3, the chart's own tick at zero is -2.776e-17.
                { tag: "tenths inside", min: -0.35, max: 0.35,
                  labels: ["-0.3", "-0.2", "-0.1", "0", "0.1", "0.2", "0.3"] },
                { tag: "asymmetric", min: -0.665, max: 1.155, labels: ["-0.5", "0", "0.5", "1"] },
                { tag: "asymmetric from below zero", min: -7.3, max: 2.1,
                  labels: ["-6", "-4", "-2", "0", "2"] },
                { tag: "above zero", min: 9, max: 11, labels: ["9", "9.5", "10", "10.5", "11"] },
                { tag: "below zero", min: -0.0123, max: -0.0031,
                  labels: ["-0.012", "-0.01", "-0.008", "-0.006", "-0.004"] },
                { tag: "tiny", min: -3e-7, max: 9e-7,
                  labels: ["-2e-07", "0", "2e-07", "4e-07", "6e-07", "8e-07"] },
                { tag: "tiny symmetric", min: -2.5e-5, max: 2.5e-5,
                  labels: ["-2e-05", "-1e-05", "0", "1e-05", "2e-05"] },
                { tag: "huge", min: -2.5e9, max: 7.5e9,
                  labels: ["-2e+09", "0", "2e+09", "4e+09", "6e+09"] },
                { tag: "huge symmetric", min: -3.3e12, max: 3.3e12,
                  labels: ["-3e+12", "-2e+12", "-1e+12", "0", "1e+12", "2e+12", "3e+12"] },
            ]
        }
        function test_5_yAxisTickLabels(data) {
            const panel = makeStandAlonePanel()
            const axis = panel.plt.axisY
            axis.max = Math.max(axis.max, data.max)
            axis.min = data.min
            axis.max = data.max
            const chart = panel.chart
            // The labels a person sees, from the bottom of the axis up.
            const shown = function () {
                return findAll(panel, "yTickLabel").filter(function (t) {
                    return t.visible && t.text !== ""
                }).sort(function (a, b) { return b.y - a.y })
            }
            for (let i = 0; i < 20 && shown().length !== data.labels.length; ++i)
                wait(50)
            const labels = shown()
            compare(labels.map(function (t) { return t.text }), data.labels)
            waitForRendering(panel)
            const image = grabImage(panel)
            for (const label of labels) {
                // Centred on the height of its value...
                const value = Number(label.text)
                const centre = label.mapToItem(chart, 0, label.height / 2).y
                const expected = chart.plotArea.y
                        + (data.max - value) / (data.max - data.min) * chart.plotArea.height
                verify(Math.abs(centre - expected) <= 1,
                       label.text + " at " + centre + ", not " + expected)
                // ...and alone on its line: the chart draws no text of its own beside it.
                const textLeft = label.mapToItem(panel, label.width - label.contentWidth, 0)
                const dark = countColour(image, 20, Math.round(textLeft.y),
                                         Math.round(textLeft.x) - 22, Math.round(label.height),
                                         Qt.color("#191346"))
                compare(dark, 0, "other text left of " + label.text)
            }
        }

        // The fold strip shows the arrow picture, mirrored while the list is folded away.
        function test_6_foldStrip() {
            const strip = findChild(page, "foldStrip")
            const side = findChild(page, "rightSide")
            const arrow = findChild(strip, "foldArrow")
            verify(arrow, "no arrow picture on the fold strip")
            compare(String(arrow.source), "qrc:/Images/GUI/Workspace/FoldArrow.png")
            compare(arrow.status, Image.Ready)
            const glyphs = findAll(strip, "").filter(function (t) {
                return t.text !== undefined && String(t.text) !== ""
            })
            compare(glyphs.length, 0)
            verify(!arrow.mirror)
            mouseClick(strip)
            tryCompare(side, "width", 22, 3000)
            verify(arrow.mirror)
            waitForRendering(page)
            // Drawn: the picture's grey shows on the strip.
            const image = grabImage(page)
            const at = strip.mapToItem(page, 0, 0)
            verify(countColour(image, Math.round(at.x), Math.round(at.y), Math.round(strip.width),
                               Math.round(strip.height), Qt.color("#8E9297")) > 3, "no arrow drawn")
            image.save(screensFolder + "/workspace-folded.png")
            mouseClick(strip)
            tryCompare(side, "width", 470, 3000)
            verify(!arrow.mirror)
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

