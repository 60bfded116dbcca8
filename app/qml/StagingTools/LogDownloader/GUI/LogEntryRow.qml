import QtQuick
import "../../../Qml/OrvaneUI"
import "../../../Qml/Forms"
import "LogColumns.js" as LogColumns

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

    // The list's column layout, so that each cell sits under its header; a row on its own
    // lays out its own width.
    readonly property var geometry: list && list.columnGeometry ? list.columnGeometry
                                                                : LogColumns.layout(width, uScale)
    readonly property real gap: 6 * uScale

    width: list && list.tableWidth ? list.tableWidth : 1650 * uScale
    height: hRef * 34.7 / 1080

    // Cell places in the pill's coordinates.
    function cellX(label) { return LogColumns.column(geometry, label).x - geometry.indent }
    function cellWidth(label) { return LogColumns.column(geometry, label).width }
    function cellEnd(label) { return cellX(label) + cellWidth(label) }

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
        x: rowItem.geometry.indent
        width: rowItem.geometry.end - rowItem.geometry.indent
        height: parent.height - 2.7 * uScale
        anchors.verticalCenter: parent.verticalCenter
        radius: height / 2
        color: rowItem.bodyColour

        // The four sections span their columns, a gap apart.
        Repeater {
            model: [
                { first: "Actionbar", last: "Actionbar" },
                { first: "Serial ID", last: "Device Type" },
                { first: "Log Name", last: "Model Name" },
                { first: "Date & time", last: "File type" },
            ]
            Rectangle {
                readonly property real leftEdge: index === 0 ? 0 : rowItem.cellX(modelData.first) + rowItem.gap / 2
                readonly property real rightEdge: index === 3 ? pill.width
                                                              : rowItem.cellEnd(modelData.last) - rowItem.gap / 2
                x: leftEdge
                width: rightEdge - leftEdge
                height: pill.height
                radius: height / 2
                color: rowItem.sectionColour
            }
        }

            // 1. Actions: the buttons sit on the section's own background.
            Item {
                id: actions
                objectName: "cell_Actionbar"
                x: rowItem.cellX("Actionbar")
                width: rowItem.cellWidth("Actionbar")
                height: parent.height
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
                    width: parent.width - x - rowItem.gap / 2
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
            Item {
                objectName: "cell_Serial ID"
                x: rowItem.cellX("Serial ID")
                width: rowItem.cellWidth("Serial ID")
                height: parent.height
                Text {
                    objectName: "serialText"
                    anchors.fill: parent
                    anchors.leftMargin: rowItem.gap
                    anchors.rightMargin: rowItem.gap / 2
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                    text: rowItem.entry ? rowItem.entry.serialNumber : ""
                    textFormat: Text.PlainText
                    font.family: "Poppins"
                    font.weight: Font.DemiBold
                    font.pixelSize: rowItem.textSize
                }
            }
            RowCellPill {
                label: "Device Type"
                objectName: "cell_Device Type"
                text: rowItem.list && rowItem.list.producer ? rowItem.list.producer.deviceType : ""
            }

            // 3. Name
            Item {
                objectName: "cell_Log Name"
                x: rowItem.cellX("Log Name")
                width: rowItem.cellWidth("Log Name")
                height: parent.height
                clip: true
                MinimalTextField {
                    id: nameField
                    objectName: "nameField"
                    x: 12 * uScale
                    width: parent.width - x - rowItem.gap / 2
                    anchors.verticalCenter: parent.verticalCenter
                    topPadding: 0
                    bottomPadding: 0
                    leftPadding: 0
                    rightPadding: 0
                    color: "#1C75BC"
                    selectByMouse: true
                    mouseSelectionMode: TextInput.SelectCharacters
                    font.family: "Poppins"
                    font.pixelSize: rowItem.textSize
                    placeholderText: ""
                    text: rowItem.entry ? rowItem.entry.fileName : ""
                    // A long name shows its start, not its end, unless it is being edited.
                    onTextChanged: if (!activeFocus) cursorPosition = 0
                    onAccepted: {
                        if (!rowItem.entry.renameFile(text))
                            text = Qt.binding(function () { return rowItem.entry ? rowItem.entry.fileName : "" })
                    }
                }
            }
            RowCellPill {
                label: "Model Name"
                objectName: "cell_Model Name"
                text: rowItem.entry ? rowItem.entry.modelName : ""
            }

            // 4. Details
            RowCellPill {
                label: "Date & time"
                objectName: "cell_Date & time"
                textObjectName: "dateText"
                bold: true
                richText: true
                text: rowItem.entry
                      ? Qt.formatDateTime(rowItem.entry.createDate,
                            "yyyy <font color=\"white\">•</font> MM <font color=\"#B4B4B5\">•</font> dd <font color=\"#B4B4B5\">|</font>")
                        + "<font color=\"#B4B4B5\">"
                        + Qt.formatDateTime(rowItem.entry.createDate, "  hh:mm") + "</font>"
                      : ""
            }
            RowCellPill {
                label: "Size"
                objectName: "cell_Size"
                text: rowItem.entry ? rowItem.entry.fileSize : ""
            }
            RowCellPill {
                label: "File type"
                objectName: "cell_File type"
                text: ".zlf"
            }
    }

    // A column's cell holding a sub-field pill with one text.
    component RowCellPill: Item {
        id: cell
        property string label
        property string text
        property string textObjectName: ""
        property bool bold: false
        property bool richText: false
        x: rowItem.cellX(label)
        width: rowItem.cellWidth(label)
        height: pill.height
        Rectangle {
            anchors.fill: parent
            anchors.margins: 3 * uScale
            radius: height / 2
            color: rowItem.fieldColour
            clip: true
            Text {
                objectName: cell.textObjectName
                anchors.fill: parent
                anchors.leftMargin: 4 * uScale
                anchors.rightMargin: 4 * uScale
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                elide: cell.richText ? Text.ElideNone : Text.ElideRight
                text: cell.text
                textFormat: cell.richText ? Text.RichText : Text.PlainText
                font.family: "Poppins"
                font.weight: cell.bold ? Font.DemiBold : Font.Normal
                font.pixelSize: rowItem.textSize
            }
        }
    }
}
