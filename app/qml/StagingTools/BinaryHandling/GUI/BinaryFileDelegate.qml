import QtQuick
import "../../../Qml/OrvaneUI"
import "../../../Qml/Forms"
import "UploadRules.js" as Rules
import "BinColumns.js" as BinColumns

// One app-binary file of the library: selection, delete, upload and its details.
Item {
    id: rowItem
    objectName: "binaryRow"

    property var file: null
    property var device: null
    readonly property bool selected: file ? file.selected === true : false
    readonly property bool canBeFlashed: file ? file.appCanBeFlashed === true : false
    readonly property string uploadTooltip: Rules.uploadTooltip(device, canBeFlashed)
    readonly property color pillColour: selected ? "#D1ECE7" : hover.containsMouse ? "#CCCCCC" : "#E6E6E6"
    readonly property color actionColour: hover.containsMouse ? "#E6E6E6" : "#F3F3F3"
    readonly property color sectionColour: selected ? "#D1ECE7" : hover.containsMouse ? "#E6E6E6" : "#F3F3F3"
    readonly property color subColour: selected ? "#9FD8CD" : hover.containsMouse ? "#D9D9D9" : "#E6E6E6"
    readonly property real textSize: 12 * uScale

    signal uploadFinished()

    // The table's column layout, so that each cell sits under its header; a row on its own lays
    // out its own width.
    property var geometry: BinColumns.layout(width, uScale)

    width: hRef * 1559 / 1080
    height: hRef * 34.7 / 1080

    // Cell places in the pill's coordinates.
    function cellX(label) { return BinColumns.column(geometry, label).x - geometry.indent }
    function cellWidth(label) { return BinColumns.column(geometry, label).width }
    function cellEnd(label) { return cellX(label) + cellWidth(label) }

    Connections {
        target: rowItem.file
        function onUploadFinished() { rowItem.uploadFinished() }
    }

    Rectangle {
        id: pill
        objectName: "rowPill"
        x: rowItem.geometry.indent
        width: rowItem.geometry.end - rowItem.geometry.indent
        height: parent.height - 2.5 * uScale
        anchors.verticalCenter: parent.verticalCenter
        radius: height / 2
        color: rowItem.pillColour

        MouseArea {
            id: hover
            anchors.fill: parent
            hoverEnabled: true
            acceptedButtons: Qt.NoButton
        }

        // 1. Actions
        Rectangle {
            id: actions
            objectName: "cell_Actionbar"
            width: rowItem.cellWidth("Actionbar")
            height: parent.height
            radius: height / 2
            color: rowItem.actionColour

            FileSelectionIndicator {
                objectName: "selectionBox"
                width: 20 * uScale
                height: width
                x: actions.radius - width / 2
                anchors.verticalCenter: parent.verticalCenter
                checked: rowItem.selected
                onClicked: if (rowItem.file) rowItem.file.selected = !rowItem.file.selected
            }

            Image {
                x: 125 * uScale - 6 * uScale
                width: actions.width - x
                height: actions.height
                source: "qrc:/Images/GUI/BinList/Delegates/FIlePresenceContainer.png"
                fillMode: Image.Stretch
            }

            Row {
                x: 125 * uScale
                height: parent.height
                spacing: hRef * 5 / 1080

                RoundButton_rev2 {
                    objectName: "deleteButton"
                    anchors.verticalCenter: parent.verticalCenter
                    state: "Cross"
                    onClicked: rowItem.file.deleteAppFile()
                    OrvToolTip { buttonToolTip: "Delete local copy" }
                }
                RoundButton_rev2 {
                    id: uploadButton
                    objectName: "uploadButton"
                    anchors.verticalCenter: parent.verticalCenter
                    state: "Upload"
                    enabled: Rules.uploadEnabled(rowItem.device, rowItem.canBeFlashed)
                    onClicked: rowItem.file.flashAppFile()
                    OrvToolTip { buttonToolTip: rowItem.uploadTooltip }

                    CircularProgressBar_rev1 {
                        anchors.centerIn: parent
                        width: 30 * uScale
                        height: width
                        progress: rowItem.file ? rowItem.file.updateProgress : 0
                        visible: progress > 0 && progress < 1
                    }
                }
                Image {
                    objectName: "onPeltoIndicator"
                    anchors.verticalCenter: parent.verticalCenter
                    width: 13 * uScale
                    height: width
                    visible: rowItem.file ? rowItem.file.appIsOnPelto === true : false
                    source: "qrc:/Images/GUI/BinList/Delegates/FilePresent.png"
                }
            }
        }

        // 2. Version
        Rectangle {
            id: versionSection
            x: rowItem.cellX("Version")
            width: rowItem.cellEnd("Target Device") - x
            height: parent.height
            radius: height / 2
            color: rowItem.sectionColour
            Item {
                objectName: "cell_Version"
                width: rowItem.cellWidth("Version")
                height: parent.height
                Text {
                    objectName: "versionText"
                    anchors.fill: parent
                    anchors.leftMargin: Math.min(hRef * 30 / 1080, parent.width / 4)
                    anchors.rightMargin: 4 * uScale
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                    text: rowItem.file ? rowItem.file.appVersionNumber : ""
                    textFormat: Text.PlainText
                    font.family: "Poppins"
                    font.pixelSize: rowItem.textSize
                }
            }
            SubPill {
                label: "Target Device"
                x: rowItem.cellX(label) - versionSection.x
                Text {
                    objectName: "targetDeviceText"
                    anchors.fill: parent
                    anchors.leftMargin: 6 * uScale
                    anchors.rightMargin: 6 * uScale
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                    text: rowItem.file ? rowItem.file.deviceType : ""
                    textFormat: Text.PlainText
                    font.family: "Poppins"
                    font.pixelSize: rowItem.textSize
                }
            }
        }

        // 3. Details
        Rectangle {
            id: detailsSection
            x: rowItem.cellX("Binary Name")
            width: pill.width - x
            height: parent.height
            radius: height / 2
            color: rowItem.sectionColour

            Item {
                anchors.fill: parent

                SubPill {
                    label: "Binary Name"
                    x: rowItem.cellX(label) - detailsSection.x
                    Rectangle {
                        anchors.fill: parent
                        anchors.margins: 3 * uScale
                        radius: height / 2
                        color: "#F6FBFA"
                        MinimalTextField {
                            id: nameField
                            objectName: "nameField"
                            anchors.centerIn: parent
                            width: parent.width - 20 * uScale
                            topPadding: 0
                            bottomPadding: 0
                            readOnly: true
                            selectByMouse: true
                            horizontalAlignment: TextInput.AlignHCenter
                            color: "#1C75BC"
                            placeholderText: ""
                            font.family: "Poppins"
                            font.pixelSize: rowItem.textSize
                            text: rowItem.file ? rowItem.file.applicationName : ""
                            onTextChanged: ensureVisible(0)
                        }
                    }
                }
                SubPill {
                    label: "Date & time"
                    x: rowItem.cellX(label) - detailsSection.x
                    Text {
                        objectName: "dateText"
                        anchors.centerIn: parent
                        textFormat: Text.StyledText
                        font.family: "Poppins"
                        font.pixelSize: rowItem.textSize
                        text: rowItem.file
                              ? rowItem.file.createDateString.replace(/-/g, "\u2022")
                                + " | <font color=\"#B4B4B5\">" + rowItem.file.createTimeString + "</font>"
                              : ""
                    }
                }
                SubPill {
                    label: "Size"
                    x: rowItem.cellX(label) - detailsSection.x
                    Text {
                        anchors.centerIn: parent
                        text: rowItem.file ? rowItem.file.fileSize : ""
                        textFormat: Text.PlainText
                        font.family: "Poppins"
                        font.pixelSize: rowItem.textSize
                    }
                }
            }
        }
    }

    // A column's cell: a sub-field pill a little inside the column, holding what is given.
    component SubPill: Item {
        id: cell
        property string label
        default property alias content: inner.data
        objectName: "cell_" + label
        width: rowItem.cellWidth(label)
        height: pill.height
        Rectangle {
            id: inner
            anchors.fill: parent
            anchors.leftMargin: 2 * uScale
            anchors.rightMargin: 2 * uScale
            radius: height / 2
            color: rowItem.subColour
            clip: true
        }
    }
}
