import QtQuick
import "../../../Qml/OrvaneUI"
import "../../../Qml/Forms"

// One log file: its actions, device, name and details. Texts from the device are shown as plain
// text.
Item {
    id: rowItem
    objectName: "logRow"

    property var entry: null
    property int row: -1
    property var list: null
    property bool selected: false
    readonly property var queue: list ? list.queue : null
    readonly property var device: list && list.dataGrabber ? list.dataGrabber.selectedDevice : null
    readonly property bool deviceSafe: device !== null && device.appStateSafeForDownload === true
                                       && entry !== null && device.serialNumber === entry.serialNumber
    readonly property bool listedOnDevice: entry ? entry.hasOnOrvDeviceLink : false
    readonly property bool hasLocal: entry ? entry.hasLocalFile : false
    readonly property bool localValid: entry ? entry.isLocalFileValid : false
    readonly property bool queued: entry ? entry.queuedForDownload : false
    readonly property color sectionColour: selected ? "#D1ECE7" : hover.containsMouse ? "#E6E6E6" : "#F3F3F3"
    readonly property color fieldColour: selected ? "#9FD8CD" : hover.containsMouse ? "#D9D9D9" : "#E6E6E6"
    readonly property color bodyColour: selected ? "#D1ECE7" : hover.containsMouse ? "#CCCCCC" : "#E6E6E6"
    readonly property real textSize: 12 * uScale

    width: 1650 * uScale
    height: hRef * 34.7 / 1080

    function refreshSelection() {
        selected = list && list.selection && entry !== null
                   && list.selection.isSelected(list.entryModel.index(row, 0))
    }
    onRowChanged: refreshSelection()
    onEntryChanged: refreshSelection()
    ListView.onReused: refreshSelection()
    Component.onCompleted: refreshSelection()
    Connections {
        target: rowItem.list ? rowItem.list.selection : null
        function onSelectionChanged() { rowItem.refreshSelection() }
    }

    MouseArea {
        id: hover
        anchors.fill: pill
        hoverEnabled: true
        onClicked: function (mouse) {
            rowItem.list.rowClicked(rowItem.row, (mouse.modifiers & Qt.ShiftModifier) !== 0,
                                    (mouse.modifiers & Qt.ControlModifier) !== 0)
        }
    }

    Rectangle {
        id: pill
        x: 110 * uScale
        width: parent.width - x
        height: parent.height - 2.7 * uScale
        anchors.verticalCenter: parent.verticalCenter
        radius: height / 2
        color: rowItem.bodyColour

        Row {
            anchors.fill: parent
            spacing: 6 * uScale

            // 1. Actions
            Rectangle {
                id: actions
                width: 254 * uScale
                height: parent.height
                radius: height / 2
                color: rowItem.sectionColour
                clip: true

                FileSelectionIndicator {
                    objectName: "selectionIndicator"
                    x: 8 * uScale
                    width: parent.height * 0.7
                    height: width
                    anchors.verticalCenter: parent.verticalCenter
                    checkable: false
                    checked: rowItem.selected
                    onClicked: function (mouse) {
                        rowItem.list.rowClicked(rowItem.row, (mouse.modifiers & Qt.ShiftModifier) !== 0,
                                                (mouse.modifiers & Qt.ControlModifier) !== 0)
                    }
                }

                Image {
                    x: 40 * uScale
                    width: parent.width - x
                    height: parent.height
                    source: "qrc:/Images/ImageAssets/hashedClippedDark.png"
                    fillMode: Image.Tile
                    opacity: 0.6
                }

                Row {
                    x: 44 * uScale
                    height: parent.height
                    spacing: 6 * uScale

                    RoundButton_rev2 {
                        objectName: "deleteOnDeviceButton"
                        anchors.verticalCenter: parent.verticalCenter
                        state: "Cross"
                        visible: rowItem.listedOnDevice
                        enabled: rowItem.deviceSafe
                        onClicked: rowItem.entry.removeFileOnDevice()
                        OrvToolTip {
                            buttonToolTip: parent.enabled ? "Delete Device copy of log file"
                                                          : "Stop Application to Delete"
                        }
                    }
                    Image {
                        objectName: "deviceIndicator"
                        anchors.verticalCenter: parent.verticalCenter
                        width: 22 * uScale
                        height: width
                        source: rowItem.listedOnDevice ? "qrc:/Images/GUI/BinList/Delegates/FilePresent.png"
                                                 : "qrc:/Images/GUI/BinList/Delegates/FileAbsent.png"
                        OrvToolTip {
                            buttonToolTip: rowItem.listedOnDevice ? "File Present on Device"
                                                            : "File Not Present on Device"
                        }
                    }
                    Image {
                        objectName: "localIndicator"
                        anchors.verticalCenter: parent.verticalCenter
                        width: 22 * uScale
                        height: width
                        source: !rowItem.hasLocal ? "qrc:/Images/GUI/BinList/Delegates/FileAbsent.png"
                              : rowItem.localValid ? "qrc:/Images/GUI/BinList/Delegates/FilePresent.png"
                              : "qrc:/Images/GUI/BinList/Delegates/FileMedium.png"
                        OrvToolTip {
                            buttonToolTip: !rowItem.hasLocal ? "File Not Present Locally"
                                         : rowItem.localValid ? "File Present Locally"
                                         : "Local File Is Corrupt"
                        }
                    }
                    RoundButton_rev2 {
                        objectName: "deleteLocalButton"
                        anchors.verticalCenter: parent.verticalCenter
                        state: "CrossDark"
                        visible: rowItem.hasLocal
                        onClicked: rowItem.entry.removeLocalFile()
                        OrvToolTip { buttonToolTip: "Delete local copy of log file" }
                    }
                    Item {
                        width: downloadButton.visible || cancelButton.visible ? downloadButton.width : 0
                        height: parent.height
                        RoundButton_rev2 {
                            id: downloadButton
                            objectName: "downloadButton"
                            anchors.verticalCenter: parent.verticalCenter
                            state: "Download"
                            visible: !rowItem.hasLocal && rowItem.listedOnDevice && !rowItem.queued
                            enabled: rowItem.deviceSafe
                            onClicked: rowItem.queue.scheduleDownload(rowItem.entry)
                            OrvToolTip {
                                buttonToolTip: parent.enabled ? "Download Log file"
                                                              : "Stop Application to Download"
                            }
                        }
                        RoundButton_rev2 {
                            id: cancelButton
                            objectName: "cancelButton"
                            anchors.verticalCenter: parent.verticalCenter
                            state: "Stop"
                            visible: rowItem.queued
                            onClicked: rowItem.queue.unschedule(rowItem.entry)
                            OrvToolTip { buttonToolTip: "Cancel queued download" }
                        }
                        CircularProgressBar_rev1 {
                            anchors.centerIn: downloadButton
                            width: downloadButton.width
                            height: width
                            progress: rowItem.entry ? rowItem.entry.downloadProgress : 0
                            visible: progress > 0 && progress < 1
                        }
                    }
                    Item {
                        width: exportButton.visible ? exportButton.width : 0
                        height: parent.height
                        RoundButton_rev2 {
                            id: exportButton
                            objectName: "exportButton"
                            anchors.verticalCenter: parent.verticalCenter
                            state: "Upload"
                            visible: !rowItem.queued
                            enabled: rowItem.localValid && (rowItem.deviceSafe || rowItem.hasLocal)
                            onClicked: rowItem.list.exportEntry(rowItem.entry)
                            OrvToolTip {
                                buttonToolTip: rowItem.hasLocal
                                               ? (rowItem.localValid ? "Export log file to .mat"
                                                  : "Log file cannot be exported to .mat because it is corrupted")
                                               : "Download and export log file to .mat"
                            }
                        }
                        CircularProgressBar_rev1 {
                            id: parseBar
                            anchors.centerIn: exportButton
                            width: exportButton.width
                            height: width
                            property bool done: false
                            progress: rowItem.entry ? rowItem.entry.parseProgress : 0
                            onProgressChanged: if (progress < 1) done = false
                            onFinished: done = true
                            visible: progress > 0 && progress < 1 && !done
                        }
                    }
                }
            }

            // 2. Device
            Rectangle {
                width: 357 * uScale
                height: parent.height
                radius: height / 2
                color: rowItem.sectionColour
                Text {
                    objectName: "serialText"
                    anchors.left: parent.left
                    anchors.right: typePill.left
                    anchors.verticalCenter: parent.verticalCenter
                    horizontalAlignment: Text.AlignHCenter
                    elide: Text.ElideRight
                    text: rowItem.entry ? rowItem.entry.serialNumber : ""
                    textFormat: Text.PlainText
                    font.family: "Poppins"
                    font.weight: Font.DemiBold
                    font.pixelSize: rowItem.textSize
                }
                Rectangle {
                    id: typePill
                    anchors.right: parent.right
                    anchors.rightMargin: 4 * uScale
                    anchors.verticalCenter: parent.verticalCenter
                    width: hRef * 200 / 1080
                    height: parent.height - 6 * uScale
                    radius: height / 2
                    color: rowItem.fieldColour
                    Text {
                        anchors.centerIn: parent
                        text: rowItem.list && rowItem.list.producer ? rowItem.list.producer.deviceType : ""
                        textFormat: Text.PlainText
                        font.family: "Poppins"
                        font.pixelSize: rowItem.textSize
                    }
                }
            }

            // 3. Name
            Rectangle {
                width: pill.width - 254 * uScale - 357 * uScale - details.width - 18 * uScale
                height: parent.height
                radius: height / 2
                color: rowItem.sectionColour
                MinimalTextField {
                    id: nameField
                    objectName: "nameField"
                    x: 12 * uScale
                    width: Math.max(450 * uScale, parent.width - modelPill.width - 30 * uScale)
                    anchors.verticalCenter: parent.verticalCenter
                    topPadding: 0
                    bottomPadding: 0
                    color: "#1C75BC"
                    selectByMouse: true
                    mouseSelectionMode: TextInput.SelectCharacters
                    font.family: "Poppins"
                    font.pixelSize: rowItem.textSize
                    placeholderText: ""
                    text: rowItem.entry ? rowItem.entry.fileName : ""
                    onAccepted: {
                        if (!rowItem.entry.renameFile(text))
                            text = Qt.binding(function () { return rowItem.entry ? rowItem.entry.fileName : "" })
                    }
                }
                Rectangle {
                    id: modelPill
                    anchors.right: parent.right
                    anchors.rightMargin: 4 * uScale
                    anchors.verticalCenter: parent.verticalCenter
                    width: Math.max(modelText.implicitWidth + 20 * uScale, 120 * uScale)
                    height: parent.height - 6 * uScale
                    radius: height / 2
                    color: rowItem.fieldColour
                    Text {
                        id: modelText
                        anchors.centerIn: parent
                        text: rowItem.entry ? rowItem.entry.modelName : ""
                        textFormat: Text.PlainText
                        font.family: "Poppins"
                        font.pixelSize: rowItem.textSize
                    }
                }
            }

            // 4. Details
            Rectangle {
                id: details
                width: Math.max(320 * uScale, detailRow.implicitWidth + 12 * uScale)
                height: parent.height
                radius: height / 2
                color: rowItem.sectionColour
                Row {
                    id: detailRow
                    anchors.centerIn: parent
                    spacing: 4 * uScale
                    Rectangle {
                        width: hRef * 160 / 1080
                        height: details.height - 6 * uScale
                        radius: height / 2
                        color: rowItem.fieldColour
                        Text {
                            objectName: "dateText"
                            anchors.centerIn: parent
                            textFormat: Text.RichText
                            font.family: "Poppins"
                            font.weight: Font.DemiBold
                            font.pixelSize: rowItem.textSize
                            text: rowItem.entry
                                  ? Qt.formatDateTime(rowItem.entry.createDate,
                                        "yyyy <font color=\"white\">•</font> MM <font color=\"#B4B4B5\">•</font> dd <font color=\"#B4B4B5\">|</font>")
                                    + "<font color=\"#B4B4B5\">"
                                    + Qt.formatDateTime(rowItem.entry.createDate, "  hh:mm") + "</font>"
                                  : ""
                        }
                    }
                    Rectangle {
                        width: hRef * 75 / 1080
                        height: details.height - 6 * uScale
                        radius: height / 2
                        color: rowItem.fieldColour
                        Text {
                            anchors.centerIn: parent
                            text: rowItem.entry ? rowItem.entry.fileSize : ""
                            textFormat: Text.PlainText
                            font.family: "Poppins"
                            font.pixelSize: rowItem.textSize
                        }
                    }
                    Rectangle {
                        width: hRef * 75 / 1080
                        height: details.height - 6 * uScale
                        radius: height / 2
                        color: rowItem.fieldColour
                        Text {
                            anchors.centerIn: parent
                            text: ".zlf"
                            font.family: "Poppins"
                            font.pixelSize: rowItem.textSize
                        }
                    }
                }
            }
        }
    }
}
