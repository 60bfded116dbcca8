import QtQuick
import QtTest
import orvane.Branding
import "../../../app/qml/StagingTools/BinaryHandling/GUI"
import "../../../app/qml/StagingTools/BinaryHandling/GUI/UploadRules.js" as Rules
import "../../../app/qml/StagingTools/TableColumns.js" as TableColumns

// The "Bin list" page over a real app-binary library: import, search, sorting, deleting and the
// upload button's rules.
Item {
    id: root
    width: 1800
    height: 900
    property real uScale: 1
    property int hRef: 1080

    Component {
        id: sizedPageComponent
        BinList { factory: testSelection }
    }

    Component {
        id: pageComponent
        BinList {
            anchors.fill: parent
            factory: testSelection
        }
    }

    TestCase {
        name: "BinList"
        when: windowShown

        function makePage(manager) {
            const page = createTemporaryObject(pageComponent, root, { manager: manager })
            verify(page)
            tryVerify(function () { return page.list !== null })
            return page
        }

        function rowTexts(page) {
            const model = page.manager.appBinaryList
            const names = []
            for (let row = 0; row < model.rowCount(); ++row)
                names.push(model.data(model.index(row, 0), Qt.UserRole).applicationName)
            return names
        }

        function importThree(page) {
            page.importUrls([testBinaries.writeApp("alphamodel", "1.0.0", "alphaModel", 3),
                             testBinaries.writeApp("beta", "1.2.0", "beta", 2),
                             testBinaries.writeApp("GammaModel", "2.0.0", "gammaMODEL", 1)])
            tryCompare(page.list, "count", 3)
        }

        function init() {
            testSelection.select(null)
        }

        function test_uploadRules_data() {
            return [
                { tag: "no device", device: null, flash: true, text: "Connect a device" },
                { tag: "not verified", device: { firmwareVerified: false }, flash: true,
                  text: "Cannot upload while device firmware is being verified" },
                { tag: "fallback", device: { firmwareVerified: true, isInFallback: true },
                  flash: true,
                  text: "Your device has booted fallback mode, update the firmware to resolve the issue" },
                { tag: "running", device: { firmwareVerified: true, appRunning: true }, flash: true,
                  text: "Stop application to upload" },
                { tag: "other board", device: { firmwareVerified: true }, flash: false,
                  text: "Incompatible target device" },
                { tag: "ready", device: { firmwareVerified: true }, flash: true,
                  text: "Upload binary to device" },
            ]
        }

        function test_uploadRules(data) {
            compare(Rules.uploadTooltip(data.device, data.flash), data.text)
            compare(Rules.uploadEnabled(data.device, data.flash), data.text === "Upload binary to device")
        }

        // Imported files are listed newest first; the search keeps names containing the text in
        // any case.
        function test_importAndSearch() {
            const page = makePage(testBinaries.make())
            importThree(page)
            compare(rowTexts(page), ["gammaMODEL", "beta", "alphaModel"])
            const bar = findChild(page, "searchBar")
            mouseClick(bar, bar.width - 40, bar.height / 2)
            for (const c of "model")
                keyClick(c)
            compare(bar.searchQuery, "model")
            tryCompare(page.list, "count", 2)
            page.manager.setFilterQuery("")
            tryCompare(page.list, "count", 3)
        }

        function test_sorting() {
            const page = makePage(testBinaries.make())
            importThree(page)
            const header = page.list.headerItem
            const before = rowTexts(page)
            mouseClick(findChild(header, "column_Version"))
            mouseClick(findChild(header, "column_Actionbar"))
            compare(rowTexts(page), before)
            compare(findChild(header, "column_Date & time").state, "down")
            const name = findChild(header, "column_Binary Name")
            mouseClick(name)
            compare(rowTexts(page), ["gammaMODEL", "beta", "alphaModel"])
            compare(findChild(header, "column_Date & time").state, "inactiveSortable")
            mouseClick(name)
            compare(name.state, "up")
            compare(rowTexts(page), ["alphaModel", "beta", "gammaMODEL"])
        }

        // Nothing selected: nothing deleted; the ticked rows go.
        function test_deleteSelected() {
            const page = makePage(testBinaries.make())
            importThree(page)
            const model = page.manager.appBinaryList
            for (let row = 0; row < 3; ++row)
                model.data(model.index(row, 0), Qt.UserRole).selected = false
            mouseClick(findChild(page, "deleteSelectedButton"))
            wait(300)
            compare(page.list.count, 3)
            const box = findChild(page.list.itemAtIndex(1), "selectionBox")
            mouseClick(box)
            verify(model.data(model.index(1, 0), Qt.UserRole).selected)
            mouseClick(findChild(page, "deleteSelectedButton"))
            tryCompare(page.list, "count", 2)
            compare(rowTexts(page), ["gammaMODEL", "alphaModel"])
        }

        function test_uploadWhileRunning() {
            const page = makePage(testBinaries.make())
            importThree(page)
            const device = testLogs.makeDevice("pt-a")
            device.setApp(true)
            testSelection.select(device)
            for (let row = 0; row < 3; ++row) {
                tryVerify(function () { return page.list.itemAtIndex(row) !== null })
                const delegate = page.list.itemAtIndex(row).children[0]
                verify(!findChild(delegate, "uploadButton").enabled)
                compare(delegate.uploadTooltip, "Stop application to upload")
            }
            device.setApp(false)
            // Stopped, the application's board decides (the files name none).
            const delegate = page.list.itemAtIndex(0).children[0]
            compare(delegate.uploadTooltip, delegate.canBeFlashed ? "Upload binary to device"
                                                                  : "Incompatible target device")
        }

        function test_screenshot() {
            const page = makePage(testBinaries.make())
            importThree(page)
            grabImage(page).save(screensFolder + "/binList.png")
        }

        // Header and rows share one column layout: each header column lies over its row cell
        // and neither reaches past the table's right edge (the view's, or the flickable
        // content's when the view is too narrow for every column).
        function test_columnsLineUp_data() {
            return [
                { tag: "1920x1080 screen, narrowest window", hRef: 1080, width: 960, fits: true },
                { tag: "1920x1080 screen, 1280 wide", hRef: 1080, width: 1280, fits: true },
                { tag: "1920x1080 screen, 1920 wide", hRef: 1080, width: 1920, fits: true },
                { tag: "1280x800 screen, narrowest window", hRef: 800, width: 640, fits: false },
                { tag: "1280x800 screen, 1280 wide", hRef: 800, width: 1280, fits: true },
            ]
        }
        function test_columnsLineUp(data) {
            const labels = ["Actionbar", "Version", "Target Device", "Binary Name", "Date & time", "Size"]
            root.hRef = data.hRef
            root.uScale = data.hRef / 1080.01
            try {
                const page = createTemporaryObject(sizedPageComponent, root,
                                                   { manager: testBinaries.make(), width: data.width,
                                                     height: 700 })
                tryVerify(function () { return page.list !== null })
                importThree(page)
                const list = page.list
                const header = list.headerItem
                tryVerify(function () { return list.itemAtIndex(0) !== null })
                const row = list.itemAtIndex(0)
                const edge = data.fits ? list.width : list.contentWidth
                compare(list.contentWidth > list.width + 0.5, !data.fits)
                let previousEnd = -1
                for (const label of labels) {
                    const column = findChild(header, "column_" + label)
                    const cell = findChild(row, "cell_" + label)
                    verify(column !== null, label)
                    verify(cell !== null, label)
                    const c = column.mapToItem(list.contentItem, 0, 0)
                    const r = cell.mapToItem(list.contentItem, 0, 0)
                    verify(Math.abs(c.x - r.x) <= 1, label + ": header at " + c.x + ", cell at " + r.x)
                    verify(Math.abs(column.width - cell.width) <= 1,
                           label + ": header " + column.width + " wide, cell " + cell.width)
                    verify(c.x >= previousEnd - 0.5, label + " overlaps the column before it")
                    previousEnd = c.x + column.width
                    verify(previousEnd <= edge + 0.5, label + " ends at " + previousEnd + ", edge " + edge)
                    verify(r.x + cell.width <= edge + 0.5, label + " cell past the edge")
                }
                // The buttons and the date show in full.
                const actions = findChild(row, "cell_Actionbar")
                for (const name of ["deleteButton", "uploadButton"]) {
                    const button = findChild(row, name)
                    const b = button.mapToItem(actions, 0, 0)
                    verify(b.x + button.width <= actions.width, name + " ends at " + (b.x + button.width)
                           + " of " + actions.width)
                }
                const date = findChild(row, "dateText")
                const dateCell = findChild(row, "cell_Date & time")
                verify(date.contentWidth <= dateCell.width - 4 * root.uScale,
                       "date needs " + date.contentWidth + ", has " + dateCell.width)
                for (const label of ["Target Device", "Binary Name", "Date & time"]) {
                    const column = findChild(header, "column_" + label)
                    verify(column.implicitWidth <= column.width, label)
                }
            } finally {
                root.hRef = 1080
                root.uScale = 1
            }
        }

        // The page as the main window shows it on a full-HD and on a 1280x800 screen (the
        // window's frame and top bar taken off), saved as binList-<screen>.png.
        function test_screenshotSizes_data() {
            return [
                { tag: "1920x1080", hRef: 1080, width: 1902, height: 970 },
                { tag: "1280x800", hRef: 800, width: 1267, height: 718 },
            ]
        }
        function test_screenshotSizes(data) {
            const window = root.Window.window
            const oldWidth = window.width
            const oldHeight = window.height
            root.hRef = data.hRef
            root.uScale = data.hRef / 1080.01
            window.width = data.width
            window.height = data.height
            try {
                const page = createTemporaryObject(sizedPageComponent, root,
                                                   { manager: testBinaries.make(), width: data.width,
                                                     height: data.height })
                tryVerify(function () { return page.list !== null })
                importThree(page)
                wait(300)
                grabImage(page).save(screensFolder + "/binList-" + data.tag + ".png")
            } finally {
                root.hRef = 1080
                root.uScale = 1
                window.width = oldWidth
                window.height = oldHeight
            }
        }

        // Sharing a table's width: the widths fill it exactly, no column falls below its floor,
        // the columns above their floors keep the ratio of their shares, and a width below all
        // floors together shrinks every column alike.
        function test_columnWidths_data() {
            const items = [{ share: 100, floor: 10 }, { share: 300, floor: 200 },
                           { share: 50, floor: 60 }, { share: 150, floor: 20 }]
            return [
                { tag: "roomy", items: items, total: 1200 },
                { tag: "some at their floors", items: items, total: 500 },
                { tag: "exactly the floors", items: items, total: 290 },
                { tag: "below the floors", items: items, total: 145 },
                { tag: "one column", items: [{ share: 1, floor: 5 }], total: 40 },
            ]
        }
        function test_columnWidths(data) {
            const widths = TableColumns.distribute(data.items, data.total)
            compare(widths.length, data.items.length)
            const sum = widths.reduce((a, b) => a + b, 0)
            verify(Math.abs(sum - data.total) < 1e-6, "sum " + sum)
            const floors = data.items.reduce((a, item) => a + item.floor, 0)
            if (data.total < floors) {
                for (let i = 0; i < widths.length; ++i)
                    verify(Math.abs(widths[i] / data.items[i].floor - data.total / floors) < 1e-9)
                return
            }
            // Width per share of the columns above their floors.
            let ratio = null
            for (let i = 0; i < widths.length; ++i) {
                if (ratio === null && widths[i] > data.items[i].floor + 1e-9)
                    ratio = widths[i] / data.items[i].share
            }
            for (let i = 0; i < widths.length; ++i) {
                verify(widths[i] >= data.items[i].floor - 1e-9, "column " + i + ": " + widths[i])
                if (widths[i] > data.items[i].floor + 1e-9) {
                    verify(Math.abs(widths[i] / data.items[i].share - ratio) < 1e-9,
                           "column " + i + " out of proportion")
                } else if (ratio !== null) {
                    // Held at its floor only because its share of the rest fell below it.
                    verify(data.items[i].share * ratio <= data.items[i].floor + 1e-9,
                           "column " + i + " kept at its floor though its share is wider")
                }
            }
        }
    }
}
