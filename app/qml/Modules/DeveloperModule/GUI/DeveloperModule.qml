import QtQuick
import QtQuick.Controls.Material
import QtQuick.Dialogs
import Qt.labs.platform as Platform
import "../../../Qml/OrvaneUI"
import "../../../Qml/OrvaneUI/OrvaneControls"

// The "Develop Sandbox" page: developer operations on the selected Pelto, its messages and, in
// manufacturing builds, the fuse-burning panel.
Item {
    id: page

    readonly property var device: orvFactory ? orvFactory.selectedDevice : null

    Connections {
        target: page.device
        ignoreUnknownSignals: true
        function onMessageReceived(level, msg) {
            if (level === 3)
                terminal.appendWarning(msg)
            else if (level === 4 || level === 5)
                terminal.appendError(msg)
            else
                terminal.appendMsg(msg)
        }
    }

    FileDialog {
        id: uploadDialog
        title: "Please choose a file"
        currentFolder: Platform.StandardPaths.writableLocation(Platform.StandardPaths.HomeLocation)
        nameFilters: ["Nimbrel Lab files(*.fwb *.apb *.feb *.elf *.napbf)", "All files (*)"]
        onAccepted: {
            developerModule.fileDialog(selectedFile)
            currentFolder = selectedFile.toString().replace(/\/[^\/]*$/, "")
        }
    }

    component Card: Rectangle {
        property alias title: cardTitle.text
        default property alias content: cardContent.data
        width: 200
        height: 200
        radius: 20
        color: "#F3F3F3"
        border.width: 3
        border.color: "#CCCBCA"
        Text {
            id: cardTitle
            x: 14
            y: 14
            width: parent.width - 28
            wrapMode: Text.Wrap
            font.pixelSize: 13
            font.bold: true
        }
        Column {
            id: cardContent
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 16
            spacing: 8
        }
    }

    Flickable {
        anchors.fill: parent
        contentHeight: layout.height + 40
        clip: true

        Row {
            id: layout
            x: 20
            y: 20
            spacing: 20

            Column {
                spacing: 5
                width: 405

                Grid {
                    columns: 2
                    spacing: 5

                    Card {
                        title: "Reset to serial \ndownloader mode!"
                        Switch { id: armReset; text: "Enable reset"; font.pixelSize: 13 }
                        Button {
                            text: "Reset"
                            font.pixelSize: 13
                            enabled: armReset.checked && developerModule.peltoAvailable
                            onClicked: developerModule.goToSerialDownloader()
                        }
                    }
                    Card {
                        title: "Restore default settings!"
                        Button {
                            text: "Restore"
                            font.pixelSize: 13
                            enabled: developerModule.peltoAvailable
                            onClicked: developerModule.restoreDefaultSettings()
                        }
                    }
                    Card {
                        title: "Add file through filedialog"
                        Button {
                            text: "direct upload"
                            font.pixelSize: 13
                            onClicked: uploadDialog.open()
                        }
                        ProgressBar {
                            width: 100
                            height: 9
                            from: 0
                            to: 1
                            value: developerModule.flashUploadPercentage
                            visible: developerModule.flashUploadPercentage > 0
                        }
                    }
                    Card {
                        title: "Toggle mass storage\nmode"
                        Switch {
                            enabled: developerModule.peltoAvailable
                            checked: developerModule.mscState
                            onToggled: developerModule.setMscState(checked)
                        }
                    }
                }

                Terminal {
                    id: terminal
                    objectName: "sandboxTerminal"
                    width: 400
                    height: 200
                }
            }

            Loader {
                active: RELEASE_MODE === 2
                source: "ManufacturingWidget.qml"
            }
        }
    }
}
