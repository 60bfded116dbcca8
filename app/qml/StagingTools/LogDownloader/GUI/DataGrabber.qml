import QtQuick
import QtQuick.Controls
import com.orvane 1.0
import "../../../Qml/OrvaneUI"
import "../../../Qml/OrvaneUI/OrvaneControls"
import "../../../Qml/Forms"

// The Data Grabber: the log files of every known device, one tab per device, downloaded,
// exported to MAT files, renamed and deleted through the device log lists.
Item {
    id: page

    // The application's back ends; tests hand in their own.
    property var logDownloader: typeof LogDownloader !== "undefined" ? LogDownloader : null
    property var factory: typeof orvFactory !== "undefined" ? orvFactory : null
    readonly property var selectedDevice: factory ? factory.selectedDevice : null
    readonly property bool deviceSafeForDownload: selectedDevice !== null
                                                  && selectedDevice.appStateSafeForDownload === true
    readonly property var selectedProducer: logDownloader ? logDownloader.selectedDevice : null
    readonly property bool deletingOnDevice: selectedProducer !== null
                                             && selectedProducer.deletingOnDevice === true
    readonly property alias downloadQueue: downloadQueue
    readonly property alias deviceTabs: deviceTabs
    readonly property alias deviceStack: deviceStack
    readonly property var visibleList: deviceStack.currentIndex >= 0
                                       && deviceStack.currentIndex < deviceLists.count
                                       ? deviceLists.itemAt(deviceStack.currentIndex) : null

    signal deleteFromDevice()
    signal deleteFromLibrary()
    signal downloadSelection()
    signal exportSelection()

    function storageText(producer) {
        if (!producer)
            return ""
        const used = producer.usedStorage
        if (typeof used !== "number" || isNaN(used))
            return "Storage usage: Unavailable"
        return "Storage usage: " + Math.round(used * 100) + " %"
    }

    // The back ends' signals begin with a capital, which Connections cannot name on Qt 6.4:
    // they are connected by hand and let go when their object changes.
    property var wiredDownloader: null
    property var wiredDevice: null
    function clearQueue() { downloadQueue.clearSchedule() }
    function appStatusChanged() {
        if (selectedDevice && !selectedDevice.appRunning && logDownloader)
            logDownloader.refresh()
    }
    function rewire() {
        if (wiredDownloader)
            wiredDownloader.SelectedLogDeviceChanged.disconnect(clearQueue)
        wiredDownloader = logDownloader
        if (wiredDownloader)
            wiredDownloader.SelectedLogDeviceChanged.connect(clearQueue)
        if (wiredDevice && wiredDevice.AppStatusChanged)
            wiredDevice.AppStatusChanged.disconnect(appStatusChanged)
        wiredDevice = selectedDevice
        if (wiredDevice && wiredDevice.AppStatusChanged)
            wiredDevice.AppStatusChanged.connect(appStatusChanged)
    }
    onLogDownloaderChanged: rewire()
    onSelectedDeviceChanged: rewire()

    // The page opens on the tab of the device the program works with (over USB too), not on the
    // first device the library knows, and turns to it whenever another one is selected. The
    // tab may come after the selection: it is looked for again as tabs are added, until found.
    property bool showSelectedTab: true
    function turnToSelectedProducer() {
        if (!showSelectedTab || !selectedProducer || !logDownloader)
            return
        const producers = logDownloader.orvDeviceLogList
        for (let i = 0; producers && i < producers.count; ++i) {
            if (producers.get(i) === selectedProducer && i < deviceTabs.count) {
                deviceTabs.currentIndex = i
                showSelectedTab = false
                return
            }
        }
    }
    onSelectedProducerChanged: {
        showSelectedTab = true
        turnToSelectedProducer()
    }
    onVisibleChanged: {
        if (visible) {
            showSelectedTab = true
            turnToSelectedProducer()
        }
    }
    Component.onCompleted: rewire()
    Component.onDestruction: {
        logDownloader = null
        factory = null
        rewire()
    }

    LogCommandQueue {
        id: downloadQueue
        onQueueComplete: {
            if (typeof window === "undefined" || window.active)
                return
            if (typeof sysTray !== "undefined" && sysTray)
                sysTray.showMessage("Download queue complete!", "All queued log files are downloaded")
            window.alert(0)
        }
    }

    Column {
        anchors.fill: parent
        spacing: 0

        // 1. Tool bar
        Rectangle {
            id: toolBar
            width: parent.width
            height: Math.min(hRef * 80 / 1080, 80 * uScale)
            color: "#E6E6E6"

            Row {
                x: hRef * 20 / 1080
                height: parent.height
                spacing: hRef * 2 / 1080

                Toolbutton_rev1 {
                    id: deleteOnDeviceButton
                    objectName: "deleteFromDeviceButton"
                    width: hRef * 80 / 1080
                    height: parent.height
                    text: "Delete from \n device"
                    iconSource: "qrc:/Images/GUI/Toolbar/BinList/Button_Cross.png"
                    enabled: page.deviceSafeForDownload && !page.deletingOnDevice
                    onClicked: page.deleteFromDevice()

                    CircularProgressBar_rev1 {
                        width: parent.width * 24 / 80
                        height: width
                        anchors.horizontalCenter: parent.horizontalCenter
                        y: parent.height - hRef * 39 / 1080 - height
                        busy: true
                        visible: page.deletingOnDevice
                    }
                }
                Toolbutton_rev1 {
                    objectName: "deleteFromLibraryButton"
                    width: hRef * 80 / 1080
                    height: parent.height
                    text: "Delete from \n library"
                    iconSource: "qrc:/Images/GUI/Toolbar/BinList/Button_Cross.png"
                    onClicked: page.deleteFromLibrary()
                }
                Toolbutton_rev1 {
                    objectName: "refreshButton"
                    width: hRef * 80 / 1080
                    height: parent.height
                    text: "Refresh"
                    iconSource: "qrc:/Images/GUI/Toolbar/BinList/Button_Down.png"
                    onClicked: if (page.logDownloader) page.logDownloader.refresh()
                }
                Toolbutton_rev1 {
                    objectName: "explorerButton"
                    width: hRef * 80 / 1080
                    height: parent.height
                    text: "Show Files \n in Explorer"
                    iconSource: "qrc:/Images/GUI/Toolbar/BinList/Button_Up.png"
                    onClicked: {
                        if (page.logDownloader)
                            page.logDownloader.openExplorerWindowLogs()
                        console.log("logs folder opened")
                    }
                }
                Rectangle {
                    width: 1 * uScale
                    height: parent.height
                    color: "#CCCBCA"
                }
                Toolbutton_rev1 {
                    objectName: "downloadSelectionButton"
                    width: hRef * 80 / 1080
                    height: parent.height
                    text: "Download all\nselected files"
                    iconSource: "qrc:/Images/GUI/Toolbar/BinList/Button_Down.png"
                    enabled: page.deviceSafeForDownload
                    onClicked: page.downloadSelection()
                }
                Toolbutton_rev1 {
                    objectName: "exportSelectionButton"
                    width: hRef * 80 / 1080
                    height: parent.height
                    text: "Export all\nselected files"
                    iconSource: "qrc:/Images/GUI/Toolbar/BinList/Button_Up.png"
                    onClicked: page.exportSelection()
                }
                Toolbutton_rev1 {
                    objectName: "clearQueueButton"
                    width: hRef * 80 / 1080
                    height: parent.height
                    text: "Clear download\nqueue"
                    iconSource: "qrc:/Images/GUI/Toolbar/BinList/Button_Cross.png"
                    onClicked: downloadQueue.clearSchedule()
                }
            }
        }

        // 2. Separator
        Rectangle {
            width: parent.width
            height: Math.max(1, hRef / 1080)
            color: "#CCCCCC"
        }

        // 3. Device tabs, each lying under the one before it.
        TabBar {
            id: deviceTabs
            objectName: "deviceTabs"
            width: parent.width
            height: Math.max(10 * uScale, 28 * uScale)
            background: Item { }
            contentItem: ListView {
                model: deviceTabs.contentModel
                currentIndex: deviceTabs.currentIndex
                orientation: ListView.Horizontal
                spacing: -12 * uScale
                leftMargin: 41 * uScale
                bottomMargin: 1 * uScale
                snapMode: ListView.SnapToItem
                boundsBehavior: Flickable.StopAtBounds
            }
            Repeater {
                model: page.logDownloader ? page.logDownloader.orvDeviceLogList : null
                onItemAdded: Qt.callLater(page.turnToSelectedProducer)
                OrvTabButton {
                    required property var qtObject
                    required property int index
                    readonly property string storageText: page.storageText(qtObject)
                    tabBarObject: deviceTabs
                    width: 130 * uScale
                    height: deviceTabs.height
                    z: -index
                    text: qtObject ? String(qtObject.serialNumber).toUpperCase() : ""
                }
            }
        }

        // 4. Gap
        Item { width: 1; height: hRef * 8 / 1080 }

        // 5. Content panel
        Rectangle {
            id: contentPanel
            anchors.horizontalCenter: parent.horizontalCenter
            width: parent.width * 0.98
            height: parent.height - toolBar.height - Math.max(1, hRef / 1080) - deviceTabs.height
                    - 2 * hRef * 8 / 1080
            radius: hRef * 24 / 1080
            color: "#D9D9D9"

            Item {
                id: controlGroup
                x: 50 * uScale
                y: 12 * uScale
                width: parent.width - 10 * uScale
                height: 40 * uScale

                SearchBar {
                    id: searchBar
                    objectName: "searchBar"
                    anchors.verticalCenter: parent.verticalCenter
                    onSearchQueryChanged: if (page.logDownloader) page.logDownloader.setFilterQuery(searchQuery)
                }
                Text {
                    objectName: "storageText"
                    anchors.left: searchBar.right
                    anchors.leftMargin: 50 * uScale
                    anchors.verticalCenter: searchBar.verticalCenter
                    font.family: "Poppins"
                    font.weight: Font.DemiBold
                    font.pixelSize: 12 * uScale
                    color: "#191346"
                    text: deviceTabs.currentItem ? deviceTabs.currentItem.storageText : ""
                }
            }

            Rectangle {
                id: listContainer
                x: 3.5 * uScale
                width: parent.width - 7 * uScale
                height: parent.height - 1.5 * controlGroup.height
                anchors.bottom: parent.bottom
                anchors.bottomMargin: 3.5 * uScale
                color: "#FFFFFF"
                radius: hRef * 22 / 1080
                clip: true

                // One list per device; the current tab's list shows.
                Item {
                    id: deviceStack
                    objectName: "deviceStack"
                    property int currentIndex: deviceTabs.currentIndex
                    anchors.fill: parent

                    Repeater {
                        id: deviceLists
                        model: page.logDownloader ? page.logDownloader.orvDeviceLogList : null
                        onVisibleChanged: if (page.logDownloader) page.logDownloader.setVisibility(visible)
                        Component.onCompleted: if (page.logDownloader) page.logDownloader.setVisibility(visible)
                        LogDeviceList {
                            required property var qtObject
                            required property int index
                            producer: qtObject
                            queue: downloadQueue
                            dataGrabber: page
                            width: deviceStack.width
                            height: deviceStack.height
                            visible: index === deviceStack.currentIndex
                        }
                    }
                }
            }
        }

        // 6. Gap
        Item { width: 1; height: hRef * 8 / 1080 }
    }
}
