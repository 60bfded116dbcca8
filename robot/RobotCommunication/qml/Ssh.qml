import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Material as M
import QtQuick.Templates as T
import orvane.Controls
import orvane.RobotCommunication

// "Robot discovery": the robots found on the local networks, one row each, and ssh to one of
// them in a terminal. The page runs its own discovery for as long as it lives.
Item {
    id: page

    property NetworkDeviceManager networkDeviceManager: NetworkDeviceManager {}

    Table {
        id: deviceTable
        objectName: "deviceTable"
        anchors.fill: parent
        anchors.margins: 10
        Accessible.name: "Robot discovery table"
        model: page.networkDeviceManager ? page.networkDeviceManager.devices : []

        header: HeaderContainer {
            HeaderColumn {
                text: "Actionbar"
                Layout.preferredWidth: 100
                Layout.fillWidth: false
            }
            HeaderColumn {
                text: "Hostname"
                Layout.preferredWidth: 300
                Layout.fillWidth: true
            }
            HeaderColumn {
                text: "Serial ID"
                Layout.preferredWidth: 125
                Layout.fillWidth: false
            }
            HeaderColumn {
                text: "Device type"
                Layout.preferredWidth: 125
                Layout.fillWidth: false
            }
            HeaderColumn {
                text: "IPv4"
                Layout.preferredWidth: 200
                Layout.fillWidth: true
            }
            HeaderColumn {
                text: "IPv6"
                Layout.preferredWidth: 300
                Layout.fillWidth: true
            }
        }

        row: TableRow {
            id: deviceRow
            required property NetworkDevice modelData

            objectName: "discoveredRobotRow"
            Accessible.name: "Discovered robot row"
            width: ListView.view ? ListView.view.width : implicitWidth

            TableColumn {
                id: actionCell
                columnWidth: 100

                TableActionButton {
                    objectName: "sshButton"
                    Accessible.name: "SSH"
                    anchors.centerIn: parent
                    height: 0.9 * actionCell.height
                    width: height
                    text: "terminal"
                    font.family: "Material Symbols Rounded"
                    font.pixelSize: 0.9 * height
                    onClicked: {
                        sshConnectDialog.device = deviceRow.modelData
                        sshConnectDialog.open()
                    }
                }
            }
            TableTextField {
                objectName: "hostnameCell"
                Accessible.name: "Hostname"
                columnWidth: 300
                Layout.fillWidth: true
                readOnly: true
                horizontalAlignment: TextInput.AlignLeft
                text: deviceRow.modelData ? deviceRow.modelData.servicename : ""
            }
            TableTextEntry {
                id: serialCell
                objectName: "serialCell"
                Accessible.name: "Serial ID"
                columnWidth: 125
                text: deviceRow.modelData ? deviceRow.modelData.serial : ""

                HoverHandler {
                    id: serialHover
                }
                M.ToolTip.visible: serialHover.hovered
                M.ToolTip.delay: 1000
                M.ToolTip.text: serialCell.text
            }
            TableTextEntry {
                id: typeCell
                objectName: "deviceTypeCell"
                Accessible.name: "Device type"
                columnWidth: 125
                text: deviceRow.modelData ? deviceRow.modelData.devicetype : ""

                HoverHandler {
                    id: typeHover
                }
                M.ToolTip.visible: typeHover.hovered
                M.ToolTip.delay: 1000
                M.ToolTip.text: typeCell.text
            }
            TableTextField {
                objectName: "ipv4Cell"
                Accessible.name: "IPv4"
                columnWidth: 200
                Layout.fillWidth: true
                readOnly: true
                horizontalAlignment: TextInput.AlignHCenter
                text: deviceRow.modelData ? deviceRow.modelData.addressv4 : ""
            }
            TableTextField {
                objectName: "ipv6Cell"
                Accessible.name: "IPv6"
                columnWidth: 300
                Layout.fillWidth: true
                readOnly: true
                horizontalAlignment: TextInput.AlignHCenter
                text: deviceRow.modelData ? deviceRow.modelData.addressv6 : ""
            }
        }
    }

    Dialog {
        id: sshConnectDialog
        objectName: "sshConnectDialog"

        property NetworkDevice device: null

        parent: T.Overlay.overlay
        anchors.centerIn: parent
        modal: true
        title: "Connect SSH"
        standardButtons: Dialog.Ok | Dialog.Cancel
        Component.onCompleted: standardButton(Dialog.Ok).text = "Connect"
        onAccepted: {
            if (device)
                device.launchSSH(deviceUsername.text)
        }
        // The field keeps its text, but a name that was refused is selected so that typing
        // replaces it instead of being appended to it.
        onOpened: {
            deviceUsername.forceActiveFocus()
            if (device && !device.acceptsUserName(deviceUsername.text))
                deviceUsername.selectAll()
        }

        contentItem: Item {
            // A popup is no item: its accessible name sits on its content.
            Accessible.role: Accessible.Dialog
            Accessible.name: "Connect SSH"
            implicitWidth: deviceUsername.implicitWidth
            implicitHeight: deviceUsername.implicitHeight

            TextField {
                id: deviceUsername
                objectName: "deviceUsername"
                width: 400
                Accessible.name: "Username"
                placeholderText: "Username"
            }
        }
    }
}
