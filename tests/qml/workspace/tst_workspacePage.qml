import QtQuick
import QtTest
import "../../../app/qml/Modules/Monitoring/GUI"

// The Workspace page's own rules with a small stand-in for the device and its monitor: the
// automatic monitoring start, the status texts, the list's view, rows and empty texts.
Item {
    id: root
    width: 1400
    height: 900
    property real uScale: 1
    property int hRef: 1080

    QtObject {
        id: fakeFactory
        property var selectedDevice: null
        function select(device) { selectedDevice = device }
    }

    Component {
        id: deviceComponent
        QtObject {
            property bool appRunning: false
            property bool monitoringServiceRunning: false
            property var externalMonitor: null
            property int starts: 0
            function startMonitoring() { ++starts }
        }
    }

    Component {
        id: monitorComponent
        QtObject {
            property var calls: []
            property var plotContainers: []
            property var filteredModel: ListModel {
                dynamicRoles: true
                function setFilterType(type) { calls.push("type " + type) }
                function setFilterWildcard(text) { calls.push("wildcard " + text) }
            }
            function changeVisibleType(type) { calls.push("visible " + type) }
            function signalFromPath(path) { return null }
        }
    }

    // The wrapper's properties as the rows read them (a QML object cannot declare "ODR").
    function signalVariable(extra) {
        const variable = { type: "signal", name: "matrix", path: "root/Ctrl/matrix", rows: 7,
                           columns: 12, ODR: 100, valueClass: 0 }
        for (const key in extra)
            variable[key] = extra[key]
        return variable
    }

    Component {
        id: pageComponent
        WidgetWorkspace {
            anchors.fill: parent
            factory: fakeFactory
        }
    }

    TestCase {
        name: "WorkspacePage"
        when: windowShown

        function init() {
            fakeFactory.select(null)
        }

        function makePage(device) {
            fakeFactory.select(device)
            const page = createTemporaryObject(pageComponent, root)
            verify(page)
            return page
        }

        function statusText(page) {
            return findChild(page, "statusText").text
        }

        // The timer fires once each time its condition becomes true, counting up to two; a new
        // selection starts counting again.
        function test_automaticStart() {
            const device = createTemporaryObject(deviceComponent, root)
            const page = makePage(device)
            compare(device.starts, 1) // shown with a device that has no monitor yet
            compare(statusText(page), "Run an application on your device")
            device.appRunning = true
            tryCompare(page, "timerFailureFlag", 1, 5000)
            compare(device.starts, 2)
            wait(2500)
            compare(device.starts, 2)
            device.appRunning = false
            device.appRunning = true
            tryCompare(page, "timerFailureFlag", 2, 5000)
            compare(statusText(page), "Can't Start Monitoring, Please restart your device")
            device.monitoringServiceRunning = true
            compare(statusText(page), "")
            fakeFactory.select(null)
            compare(page.timerFailureFlag, 0)
        }

        // A new model gets the current tab, view and filter, in this order.
        function test_viewAppliedToANewModel() {
            const device = createTemporaryObject(deviceComponent, root, { appRunning: true,
                                                  monitoringServiceRunning: true })
            const page = makePage(device)
            const monitor = createTemporaryObject(monitorComponent, root)
            findChild(page.listPanel, "kindTabs").currentIndex = 1
            findChild(page.listPanel, "filterField").text = "Gain"
            mouseClick(findChild(page.listPanel, "labelledButton"))
            device.externalMonitor = monitor
            compare(monitor.calls, ["visible 1", "type normal", "wildcard Gain"])
            mouseClick(findChild(page.listPanel, "allButton"))
            compare(monitor.calls[3], "type allSignals")
            findChild(page.listPanel, "kindTabs").currentIndex = 2
            compare(monitor.calls[4], "visible 2")
            compare(findChild(page.listPanel, "listTitle").text, "Available Block Parameters:")
        }

        function test_emptyTexts() {
            const device = createTemporaryObject(deviceComponent, root)
            const page = makePage(device)
            const empty = findChild(page.listPanel, "emptyText")
            compare(empty.text, "Please Run an application on your device")
            device.appRunning = true
            device.externalMonitor = createTemporaryObject(monitorComponent, root)
            compare(empty.text, "No highlighted signals in this model\nPlease try other options")
            mouseClick(findChild(page.listPanel, "labelledButton"))
            findChild(page.listPanel, "kindTabs").currentIndex = 1
            compare(empty.text, "No labelled parameters in this model\nPlease try other options")
            mouseClick(findChild(page.listPanel, "allButton"))
            findChild(page.listPanel, "kindTabs").currentIndex = 2
            compare(empty.text, "No block parameters in this model\nPlease try other options")
            fakeFactory.select(null)
            compare(empty.text, "")
        }

        // Sections by parent path except in the highlighted view; a 7 x 12 matrix row grows to
        // (40 + 150 + 20) units and its grid shows five rows at a time.
        function test_rowsAndSections() {
            const device = createTemporaryObject(deviceComponent, root, { appRunning: true,
                                                  monitoringServiceRunning: true })
            const page = makePage(device)
            const monitor = createTemporaryObject(monitorComponent, root)
            const variable = signalVariable({})
            monitor.filteredModel.append({ simulinkVariable: variable, parentPath: "root/Ctrl",
                                           pathname: "root/Ctrl/matrix" })
            device.externalMonitor = monitor
            const list = page.listPanel.list
            compare(list.section.property, "")
            mouseClick(findChild(page.listPanel, "labelledButton"))
            compare(list.section.property, "parentPath")
            tryVerify(function () { return list.itemAtIndex(0) && list.itemAtIndex(0).item })
            const row = list.itemAtIndex(0).item
            compare(row.height, 35)
            mouseClick(findChild(row, "expandButton"))
            tryCompare(row, "height", 210, 3000)
            tryVerify(function () { return findChild(row, "elementGrid").item !== null }, 3000)
            compare(findChild(row, "elementGrid").height, 30 * 5 + 20)
            mouseClick(findChild(row, "expandButton"))
            tryCompare(row, "height", 35, 3000)
        }

        function test_rateMark() {
            const device = createTemporaryObject(deviceComponent, root, { appRunning: true,
                                                  monitoringServiceRunning: true })
            const page = makePage(device)
            const monitor = createTemporaryObject(monitorComponent, root)
            const variable = signalVariable({ ODR: 0 })
            monitor.filteredModel.append({ simulinkVariable: variable, parentPath: "root",
                                           pathname: "root/matrix" })
            monitor.filteredModel.append({ simulinkVariable: signalVariable({ ODR: 250 }),
                                           parentPath: "root", pathname: "root/matrix2" })
            device.externalMonitor = monitor
            const list = page.listPanel.list
            tryVerify(function () { return list.itemAtIndex(0) && list.itemAtIndex(0).item })
            const rate = findChild(list.itemAtIndex(0).item, "rateText")
            compare(rate.text, "ODR")
            compare(rate.color, Qt.color("#E31F40"))
            tryVerify(function () { return list.itemAtIndex(1) && list.itemAtIndex(1).item })
            compare(findChild(list.itemAtIndex(1).item, "rateText").text, "250 HZ")
        }
    }
}
