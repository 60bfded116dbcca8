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
    }
}
