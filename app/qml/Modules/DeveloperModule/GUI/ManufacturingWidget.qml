import QtQuick
import QtQuick.Controls.Material
import QtQuick.Dialogs
import Qt.labs.platform as Platform

// The fuse-burning panel of manufacturing builds.
Rectangle {
    id: panel

    readonly property var manufacturing: developerModule.manufacturing

    width: 400
    height: column.height + 40
    radius: 20
    color: "#F3F3F3"
    border.width: 3
    border.color: "#CCCBCA"

    FolderDialog {
        id: vaultDialog
        title: "Select the 'FusesPelto' folder"
        currentFolder: Platform.StandardPaths.writableLocation(Platform.StandardPaths.HomeLocation)
        onAccepted: panel.manufacturing.importKeysFromFolder(selectedFolder)
    }

    Connections {
        target: panel.manufacturing
        function onFusesBurned() { serialField.text = "" }
    }

    Column {
        id: column
        x: 20
        y: 20
        width: parent.width - 40
        spacing: 8

        Switch { id: enabledSwitch; text: "Enabled"; font.pixelSize: 13 }

        Column {
            enabled: enabledSwitch.checked
            spacing: 8
            width: parent.width

            Button {
                font.pixelSize: 13
                text: (panel.manufacturing.securityKeysLoaded ? "\u2705" : "\u274C")
                      + " Set 'FusesPelto' folder"
                onClicked: vaultDialog.open()
            }
            Row {
                spacing: 8
                Text { text: "Serial number:"; font.pixelSize: 13; anchors.verticalCenter: parent.verticalCenter }
                TextField {
                    id: serialField
                    maximumLength: 8
                    placeholderText: "Serial number"
                    font.pixelSize: 13
                }
            }
            Row {
                spacing: 8
                Text { text: "Device type:"; font.pixelSize: 13; anchors.verticalCenter: parent.verticalCenter }
                ComboBox {
                    id: typeBox
                    model: panel.manufacturing.possibleDeviceTypes
                    textRole: "text"
                    valueRole: "value"
                    font.pixelSize: 13
                }
            }
            Button {
                text: "Burn fuse"
                font.pixelSize: 13
                enabled: panel.manufacturing.burnFuseAvailable
                onClicked: panel.manufacturing.BurnFuses(serialField.text, typeBox.currentValue)
            }
            Text {
                text: panel.manufacturing.activeState
                textFormat: Text.PlainText
                font.pixelSize: 13
            }
        }
    }
}
