import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtCore
import "../../../Qml/OrvaneUI"
import "../../../Qml/OrvaneUI/OrvaneControls"
import "BinColumns.js" as BinColumns
import "../../../Qml/Forms"

// The "Bin list" page: the app-binary library as a table with its tool bar, search and drop area.
Item {
    id: page
    objectName: "binListPage"

    // The application's back ends; tests hand in their own.
    property var manager: typeof binManager !== "undefined" ? binManager : null
    property var factory: typeof orvFactory !== "undefined" ? orvFactory : null
    readonly property var device: factory ? factory.selectedDevice : null
    readonly property alias table: tableLoader
    readonly property var list: tableLoader.item
    property bool dropHovered: false

    function importUrls(urls) {
        for (const url of urls)
            manager.importAppBinary(url)
    }

    function deleteSelected() {
        const model = manager ? manager.appBinaryList : null
        if (!model)
            return
        const files = []
        for (let row = 0; row < model.rowCount(); ++row) {
            const file = model.data(model.index(row, 0), Qt.UserRole)
            if (file && file.selected)
                files.push(file)
        }
        for (const file of files)
            file.deleteAppFile()
    }

    function announceFlashed() {
        if (typeof sysTray !== "undefined" && sysTray)
            sysTray.showMessage("Application succesfully flashed", "Your device will restart now")
    }

    // Made when first needed (see the Data Grabber's export dialog).
    Loader {
        id: importDialogLoader
        active: false
        sourceComponent: FileDialog {
            objectName: "importDialog"
            fileMode: FileDialog.OpenFiles
            currentFolder: StandardPaths.standardLocations(StandardPaths.HomeLocation)[0]
            acceptLabel: "Import"
            nameFilters: ["App Binary (*.napbf)"]
            onAccepted: {
                page.importUrls(selectedFiles)
                if (selectedFiles.length > 0) {
                    const text = String(selectedFiles[0])
                    currentFolder = text.substring(0, text.lastIndexOf("/"))
                }
            }
        }
    }

    Column {
        anchors.fill: parent
        spacing: 0

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
                    objectName: "deleteSelectedButton"
                    width: hRef * 80 / 1080
                    height: parent.height
                    text: "Delete from \n library"
                    iconSource: "qrc:/Images/GUI/Toolbar/BinList/Button_Cross.png"
                    onClicked: page.deleteSelected()
                }
                Toolbutton_rev1 {
                    objectName: "removeAllButton"
                    width: hRef * 80 / 1080
                    height: parent.height
                    text: "Remove all"
                    iconSource: "qrc:/Images/GUI/Toolbar/BinList/Button_Down.png"
                    onClicked: page.manager.removeAll()
                }
                Toolbutton_rev1 {
                    objectName: "explorerButton"
                    width: hRef * 80 / 1080
                    height: parent.height
                    text: "Show Files \n in Explorer"
                    iconSource: "qrc:/Images/GUI/Toolbar/BinList/Button_Up.png"
                    onClicked: {
                        page.manager.openExplorerWindowBinaries()
                        console.log("binaries folder opened")
                    }
                }
                Toolbutton_rev1 {
                    objectName: "importButton"
                    width: hRef * 80 / 1080
                    height: parent.height
                    text: "Import"
                    iconSource: "qrc:/Images/GUI/Toolbar/BinList/Button_Cross.png"
                    iconRotation: 45
                    onClicked: {
                        importDialogLoader.active = true
                        importDialogLoader.item.open()
                    }
                }
            }
        }

        Rectangle {
            width: parent.width
            height: Math.max(1, hRef / 1080)
            color: "#CCCCCC"
        }
        Item { width: 1; height: hRef * 8 / 1080 }

        Rectangle {
            id: panel
            anchors.horizontalCenter: parent.horizontalCenter
            width: parent.width * 0.98
            height: parent.height - toolBar.height - Math.max(1, hRef / 1080) - 2 * hRef * 8 / 1080
            radius: hRef * 24 / 1080
            color: "#D9D9D9"

            Item {
                id: searchArea
                x: 50 * uScale
                y: 12 * uScale
                width: parent.width - 10 * uScale
                height: 40 * uScale
                SearchBar {
                    objectName: "searchBar"
                    anchors.verticalCenter: parent.verticalCenter
                    onSearchQueryChanged: if (page.manager) page.manager.setFilterQuery(searchQuery)
                }
            }

            Rectangle {
                id: tableFrame
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.top: searchArea.bottom
                anchors.bottom: parent.bottom
                anchors.bottomMargin: hRef * 2 / 1080
                width: parent.width - hRef * 8 / 1080
                radius: hRef * 22 / 1080
                color: "#E7E7E7"

                Rectangle {
                    id: tableArea
                    anchors.fill: parent
                    radius: parent.radius
                    color: "#FFFFFF"
                    clip: true

                    Loader {
                        id: tableLoader
                        anchors.fill: parent
                        sourceComponent: tableComponent
                        onLoaded: if (page.manager) page.manager.setVisibility(visible)
                        onVisibleChanged: if (page.manager && status === Loader.Ready) page.manager.setVisibility(visible)
                    }

                    DropArea {
                        id: dropArea
                        anchors.fill: parent
                        onEntered: function (drag) {
                            page.dropHovered = true
                            drag.accept(Qt.LinkAction)
                            console.log(drag.urls)
                        }
                        onExited: page.dropHovered = false
                        onDropped: function (drop) {
                            page.dropHovered = false
                            console.log(drop.urls)
                            page.importUrls(drop.urls)
                            drop.accept(Qt.LinkAction)
                        }
                    }

                    Rectangle {
                        objectName: "dropOverlay"
                        anchors.fill: parent
                        radius: 22 * uScale
                        color: "darkGrey"
                        opacity: page.dropHovered ? 0.5 : 0
                        visible: opacity > 0
                        Behavior on opacity { NumberAnimation { duration: 200 } }
                        Rectangle {
                            anchors.centerIn: parent
                            width: 150 * uScale
                            height: width
                            radius: width / 2
                            color: "#E7E7E7"
                            Rectangle {
                                anchors.centerIn: parent
                                width: parent.width * 0.75
                                height: 20 * uScale
                                color: "white"
                            }
                            Rectangle {
                                anchors.centerIn: parent
                                width: 20 * uScale
                                height: parent.height * 0.75
                                color: "white"
                            }
                        }
                    }
                }
            }
        }

        Item { width: 1; height: hRef * 8 / 1080 }
    }

    Component {
        id: tableComponent
        ListView {
            id: binaryList
            objectName: "binaryList"
            boundsBehavior: Flickable.StopAtBounds
            flickableDirection: Flickable.HorizontalAndVerticalFlick
            spacing: 0
            topMargin: hRef * 7.7 / 1080
            // One column layout for the header and every row. Below the width every column
            // needs, the table keeps that width and flicks sideways instead of squeezing its cells.
            readonly property real tableWidth: Math.max(width, BinColumns.minimumWidth(uScale))
            readonly property var columnGeometry: BinColumns.layout(tableWidth, uScale)
            contentWidth: tableWidth
            clip: true
            reuseItems: true
            model: page.manager ? page.manager.appBinaryList : null
            headerPositioning: ListView.OverlayHeader
            header: BinlistHeader {
                objectName: "binHeader"
                z: 100
                manager: page.manager
                width: binaryList.tableWidth
                geometry: binaryList.columnGeometry
            }
            ScrollBar.vertical: OrvScrollBar {
                visible: binaryList.contentHeight > binaryList.height
                topPadding: 40 * uScale
                topInset: 40 * uScale
                rightPadding: 5 * uScale
                rightInset: 5 * uScale
                bottomPadding: 15 * uScale
                bottomInset: 15 * uScale
            }
            // Shown whenever there is something to scroll sideways; a table that fits its view
            // would only show an empty bar.
            ScrollBar.horizontal: ScrollBar {
                size: 0.1
                policy: binaryList.tableWidth > binaryList.width ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            }
            delegate: Item {
                required property var qtObject
                width: binaryList.contentWidth
                height: hRef * 34.7 / 1080
                BinaryFileDelegate {
                    width: parent.width
                    geometry: binaryList.columnGeometry
                    file: parent.qtObject
                    device: page.device
                    onUploadFinished: page.announceFlashed()
                }
            }
        }
    }
}
