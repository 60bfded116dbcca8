import QtQuick
import "../../../Qml/OrvaneUI"
import "../../../Qml/Forms"
import "UploadRules.js" as Rules

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

    width: hRef * 1559 / 1080
    height: hRef * 34.7 / 1080

    Connections {
        target: rowItem.file
        function onUploadFinished() { rowItem.uploadFinished() }
    }

    Rectangle {
        id: pill
        objectName: "rowPill"
        width: hRef * 1555 / 1080
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
            width: hRef * 204 / 1080
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
            anchors.left: actions.right
            width: hRef * 546 / 1080
            height: parent.height
            radius: height / 2
            color: rowItem.sectionColour
            Text {
                objectName: "versionText"
                x: hRef * 30 / 1080
                anchors.verticalCenter: parent.verticalCenter
                text: rowItem.file ? rowItem.file.appVersionNumber : ""
                textFormat: Text.PlainText
                font.family: "Poppins"
                font.pixelSize: rowItem.textSize
            }
            Rectangle {
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                width: hRef * 250 / 1080
                height: parent.height
                radius: height / 2
                color: rowItem.subColour
                Text {
                    anchors.centerIn: parent
                    text: rowItem.file ? rowItem.file.deviceType : ""
                    textFormat: Text.PlainText
                    font.family: "Poppins"
                    font.pixelSize: rowItem.textSize
                }
            }
        }

        // 3. Details
        Rectangle {
            anchors.left: versionSection.right
            width: hRef * 790 / 1080
            height: parent.height
            radius: height / 2
            color: rowItem.sectionColour

            Row {
                anchors.fill: parent
                spacing: 4 * uScale

                Rectangle {
                    width: hRef * 361 / 1080
                    height: parent.height
                    radius: height / 2
                    color: rowItem.subColour
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
                Rectangle {
                    width: hRef * 320 / 1080
                    height: parent.height
                    radius: height / 2
                    color: rowItem.subColour
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
                Rectangle {
                    width: hRef * 90 / 1080
                    height: parent.height
                    radius: height / 2
                    color: rowItem.subColour
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
}
