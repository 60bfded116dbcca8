import QtQuick
import QtTest
import orvane.Branding
import "../../../app/qml/StagingTools/BinaryHandling/GUI"
import "../../../app/qml/StagingTools/BinaryHandling/GUI/UploadRules.js" as Rules

// The "Bin list" page over a real app-binary library: import, search, sorting, deleting and the
// upload button's rules.
Item {
    id: root
    width: 1800
    height: 900
    property real uScale: 1
    property int hRef: 1080

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
    }
}
