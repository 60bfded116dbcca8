import QtQuick
import QtTest
import orvane.Branding
import "../../../app/qml/StagingTools/LogDownloader/GUI"

// The Data Grabber over real device log lists: tabs and storage texts, row selection, sorting,
// the download queue and renaming.
Item {
    id: root
    width: 1800
    height: 900
    property real uScale: 1
    property int hRef: 1080

    Component {
        id: pageComponent
        DataGrabber {
            anchors.fill: parent
            factory: testSelection
        }
    }

    Component {
        id: sizedPageComponent
        DataGrabber { factory: testSelection }
    }

    Component {
        id: fakeEntry
        QtObject {
            property string fileName: "log[9]_M_App_2026-02-01_08-00-00.zlf"
            property string modelName: "M"
            property string serialNumber: "pt-a"
            property var createDate: new Date(2026, 1, 1, 8, 0)
            property string fileSize: "4 kB"
            property bool hasOnOrvDeviceLink: true
            property bool hasLocalFile: false
            property bool isLocalFileValid: false
            property bool queuedForDownload: false
            property real downloadProgress: 0
            property real parseProgress: 0
            property string renamedTo: ""
            function renameFile(name) { renamedTo = name; return false }
            function removeLocalFile() { }
            function removeFileOnDevice() { }
        }
    }
    Component {
        id: fakeQueue
        QtObject {
            property var calls: []
            function scheduleDownload(entry) { calls.push("schedule"); entry.queuedForDownload = true }
            function unschedule(entry) { calls.push("unschedule"); entry.queuedForDownload = false }
        }
    }
    Component {
        id: fakeGrabber
        QtObject { property var selectedDevice: null }
    }
    Component {
        id: fakeList
        QtObject {
            property var queue: null
            property var dataGrabber: null
            property var selection: null
            property var producer: null
            function rowClicked(row, shift, ctrl) { }
            function exportEntry(entry) { }
        }
    }
    Component {
        id: rowComponent
        LogEntryRow { }
    }

    TestCase {
        name: "DataGrabber"
        when: windowShown

        property var currentPage: null

        function makePage(downloader) {
            const page = pageComponent.createObject(root, { logDownloader: downloader })
            verify(page)
            currentPage = page
            return page
        }

        function cleanup() {
            if (currentPage)
                currentPage.destroy()
            currentPage = null
            wait(50)
        }

        function rowAt(list, row) {
            tryVerify(function () { return list.itemAtIndex(row) !== null }, 3000)
            return list.itemAtIndex(row)
        }

        function clickRow(list, row, modifiers) {
            const item = rowAt(list, row)
            mouseClick(item, item.width - 60, item.height / 2, Qt.LeftButton, modifiers || Qt.NoModifier)
        }

        function selectedRows(list) {
            const rows = []
            for (const index of list.selection.selectedIndexes)
                rows.push(index.row)
            return rows.sort(function (a, b) { return a - b })
        }

        function names(list) {
            const result = []
            for (let row = 0; row < list.count; ++row)
                result.push(list.entryAt(row).fileName)
            return result
        }

        function init() {
            testSelection.select(null)
        }

        function test_noDevices() {
            const page = makePage(testLogs.make([], 0))
            compare(page.deviceTabs.count, 0)
            compare(findChild(page, "storageText").text, "")
            compare(page.visibleList, null)
        }

        function test_storageText_data() {
            return [
                { tag: "known", used: 0.426, text: "Storage usage: 43 %" },
                { tag: "full", used: 1, text: "Storage usage: 100 %" },
                { tag: "unknown", used: NaN, text: "Storage usage: Unavailable" },
            ]
        }

        function test_storageText(data) {
            const page = makePage(testLogs.make([], 0))
            compare(page.storageText({ usedStorage: data.used }), data.text)
        }

        // One tab per device, its serial in capitals; without a storage answer the usage is
        // unavailable.
        function test_tabs() {
            const page = makePage(testLogs.make(["pt-a", "pt-b"], 3))
            compare(page.deviceTabs.count, 2)
            const texts = [page.deviceTabs.itemAt(0).text, page.deviceTabs.itemAt(1).text].sort()
            compare(texts, ["PT-A", "PT-B"])
            compare(findChild(page, "storageText").text, "Storage usage: Unavailable")
            tryCompare(page.visibleList, "count", 3)
        }

        // The page opens on the connected device's tab, also when the library knows other
        // devices from before, and follows the device selected later.
        function test_opensOnTheSelectedDevice_data() {
            return [ { tag: "second", serial: "pt-b" }, { tag: "last", serial: "pt-c" },
                     { tag: "first", serial: "pt-a" } ]
        }
        function test_opensOnTheSelectedDevice(data) {
            const downloader = testLogs.make(["pt-a", "pt-b", "pt-c"], 1)
            const producers = downloader.orvDeviceLogList
            tryCompare(producers, "count", 3)
            const producerOf = serial => {
                for (let i = 0; i < producers.count; ++i) {
                    if (String(producers.get(i).serialNumber).toLowerCase() === serial)
                        return producers.get(i)
                }
                return null
            }
            downloader.selectedDevice = producerOf(data.serial)
            verify(downloader.selectedDevice !== null)
            const page = makePage(downloader)
            tryCompare(page.deviceTabs, "count", 3)
            tryVerify(() => page.deviceTabs.currentItem
                      && page.deviceTabs.currentItem.text === data.serial.toUpperCase(), 3000,
                      "tab " + (page.deviceTabs.currentItem ? page.deviceTabs.currentItem.text : "none"))
            compare(page.visibleList.producer, producerOf(data.serial))
            if (data.tag === "last") {
                waitForRendering(page)
                grabImage(page).save(screensFolder + "/dataGrabber-selected-tab.png")
            }
            const other = data.serial === "pt-a" ? "pt-c" : "pt-a"
            downloader.selectedDevice = producerOf(other)
            tryVerify(() => page.deviceTabs.currentItem.text === other.toUpperCase())
            compare(page.visibleList.producer, producerOf(other))
        }

        // Shift adds the range to the current row; Ctrl toggles one row; a plain click selects
        // only the clicked row.
        function test_selection() {
            const page = makePage(testLogs.make(["pt-a"], 8))
            const list = page.visibleList
            tryCompare(list, "count", 8)
            clickRow(list, 2)
            compare(selectedRows(list), [2])
            clickRow(list, 5, Qt.ShiftModifier)
            compare(selectedRows(list), [2, 3, 4, 5])
            verify(rowAt(list, 4).selected)
            clickRow(list, 3, Qt.ControlModifier)
            compare(selectedRows(list), [2, 4, 5])
            verify(!rowAt(list, 3).selected)
            clickRow(list, 7)
            compare(selectedRows(list), [7])
        }

        // The newest log comes first; "Log Name" sorts descending, then ascending, and the date
        // column goes inactive.
        function test_sorting() {
            const page = makePage(testLogs.make(["pt-a"], 4))
            const list = page.visibleList
            tryCompare(list, "count", 4)
            compare(list.entryAt(0).fileName, "log[4]_M1_App_2026-01-04_10-00-00.zlf")
            const header = list.headerItem
            const logName = findChild(header, "column_Log Name")
            mouseClick(logName)
            const descending = names(list)
            compare(descending, descending.slice().sort().reverse())
            compare(findChild(header, "column_Date & time").state, "inactiveSortable")
            mouseClick(logName)
            compare(logName.state, "up")
            const ascending = names(list)
            compare(ascending, ascending.slice().sort())
            verify(JSON.stringify(ascending) !== JSON.stringify(descending))
        }

        // The row's buttons follow its entry: a device-only file offers a download while its
        // device is safe; queued, the cancel button replaces it.
        function test_rowButtons() {
            const entry = createTemporaryObject(fakeEntry, root)
            const queue = createTemporaryObject(fakeQueue, root)
            const device = testLogs.makeDevice("pt-a")
            const grabber = createTemporaryObject(fakeGrabber, root)
            const list = createTemporaryObject(fakeList, root, { queue: queue, dataGrabber: grabber })
            const row = createTemporaryObject(rowComponent, root, { entry: entry, list: list })
            const download = findChild(row, "downloadButton")
            const cancel = findChild(row, "cancelButton")
            const exportButton = findChild(row, "exportButton")
            verify(download.visible)
            verify(!download.enabled)
            verify(!exportButton.enabled)
            grabber.selectedDevice = device
            verify(download.enabled)
            mouseClick(download)
            compare(queue.calls, ["schedule"])
            verify(!download.visible)
            verify(cancel.visible)
            verify(!exportButton.visible)
            mouseClick(cancel)
            compare(queue.calls, ["schedule", "unschedule"])
            verify(download.visible)
            entry.hasLocalFile = true
            entry.isLocalFileValid = true
            verify(!download.visible)
            verify(findChild(row, "deleteLocalButton").visible)
            verify(exportButton.enabled)
            device.setApp(true)
            verify(!findChild(row, "deleteOnDeviceButton").enabled)
        }

        function test_renameRefused() {
            const entry = createTemporaryObject(fakeEntry, root, { fileName: "old.zlf" })
            const row = createTemporaryObject(rowComponent, root, { entry: entry })
            const field = findChild(row, "nameField")
            field.forceActiveFocus()
            field.selectAll()
            keyClick(Qt.Key_Delete)
            for (const c of "new")
                keyClick(c)
            keyClick(Qt.Key_Return)
            compare(entry.renamedTo, "new")
            compare(field.text, "old.zlf")
        }

        function test_screenshot() {
            const downloader = testLogs.make(["pt-a", "pt-b"], 6)
            const page = makePage(downloader)
            testLogs.listOnDevice(downloader.orvDeviceLogList.get(0),
                                  ["log[9]_M_App_2026-02-01_08-00-00.zlf"])
            tryCompare(page.visibleList, "count", 7)
            clickRow(page.visibleList, 1)
            clickRow(page.visibleList, 3, Qt.ShiftModifier)
            wait(200)
            grabImage(page).save(screensFolder + "/dataGrabber.png")
        }

        // Header and rows share one column layout: at the narrowest window of a screen and at
        // common widths each header column lies over its row cell, and neither header nor row
        // reaches past the table's right edge; the row's widest contents fit their cells.
        function test_columnsLineUp_data() {
            return [
                { tag: "1920x1080 screen, narrowest window", hRef: 1080, width: 960, fits: true },
                { tag: "1920x1080 screen, 1280 wide", hRef: 1080, width: 1280, fits: true },
                { tag: "1920x1080 screen, 1920 wide", hRef: 1080, width: 1920, fits: true },
                // Too narrow for every column: the table keeps its width and flicks sideways.
                { tag: "1280x800 screen, narrowest window", hRef: 800, width: 640, fits: false },
                { tag: "1280x800 screen, 1280 wide", hRef: 800, width: 1280, fits: true },
            ]
        }
        function test_columnsLineUp(data) {
            const labels = ["Actionbar", "Serial ID", "Device Type", "Log Name", "Model Name",
                            "Date & time", "Size", "File type"]
            root.hRef = data.hRef
            root.uScale = data.hRef / 1080.01
            try {
                const downloader = testLogs.make(["pt-a"], 2)
                testLogs.listOnDevice(downloader.orvDeviceLogList.get(0),
                                      ["log[9]_M_App_2026-02-01_08-00-00.zlf"])
                const page = sizedPageComponent.createObject(root, { logDownloader: downloader,
                                                                     width: data.width, height: 700 })
                currentPage = page
                const list = page.visibleList
                tryCompare(list, "count", 3)
                const header = list.headerItem
                // The device-only row shows the most buttons (delete on device, download, export).
                let row = null
                for (let r = 0; r < 3; ++r) {
                    if (findChild(rowAt(list, r), "downloadButton").visible)
                        row = rowAt(list, r)
                }
                verify(row !== null)
                // The table's right edge: the view's, or the flickable content's when too narrow.
                const edge = data.fits ? list.width : list.contentWidth
                if (!data.fits) {
                    verify(list.contentWidth > list.width)
                    verify(list.flickableDirection === Flickable.HorizontalAndVerticalFlick)
                }
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
                    verify(previousEnd <= edge + 0.5, label + " ends at " + previousEnd
                           + ", table width " + edge)
                    verify(r.x + cell.width <= edge + 0.5, label + " cell past the edge")
                }
                // What the cells must show in full: the last button of the actions and the date.
                const actions = findChild(row, "cell_Actionbar")
                for (const name of ["deleteOnDeviceButton", "downloadButton", "exportButton"]) {
                    const button = findChild(row, name)
                    const b = button.mapToItem(actions, 0, 0)
                    verify(b.x + button.width <= actions.width - 3 * root.uScale,
                           name + " ends at " + (b.x + button.width) + " of " + actions.width)
                }
                const date = findChild(row, "dateText")
                verify(date.contentWidth <= date.width + 0.5,
                       "date needs " + date.contentWidth + ", has " + date.width)
                // A sortable label and its arrow fit their column.
                for (const label of ["Log Name", "Model Name", "Date & time"]) {
                    const column = findChild(header, "column_" + label)
                    verify(column.implicitWidth <= column.width, label)
                }
            } finally {
                root.hRef = 1080
                root.uScale = 1
            }
        }

        // The page as the main window shows it on a full-HD and on a 1280x800 screen (the
        // window's frame and top bar taken off), saved as dataGrabber-<screen>.png.
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
                const downloader = testLogs.make(["pt-a", "pt-b"], 6)
                testLogs.listOnDevice(downloader.orvDeviceLogList.get(0),
                                      ["log[9]_M_App_2026-02-01_08-00-00.zlf"])
                const page = sizedPageComponent.createObject(root, { logDownloader: downloader,
                                                                     width: data.width,
                                                                     height: data.height })
                currentPage = page
                tryCompare(page.visibleList, "count", 7)
                clickRow(page.visibleList, 1)
                clickRow(page.visibleList, 3, Qt.ShiftModifier)
                wait(300)
                grabImage(page).save(screensFolder + "/dataGrabber-" + data.tag + ".png")
            } finally {
                root.hRef = 1080
                root.uScale = 1
                window.width = oldWidth
                window.height = oldHeight
            }
        }
    }
}
