import QtQuick
import QtQuick.Controls as QC
import QtQuick.Controls.Material as M
import QtQuick.Layouts
import QtQuick.Shapes
import orvane.Branding
import orvane.RobotCommunication

// A modal popup listing devices, with "Connect other device" (asks for an address) and
// "Disconnect" (the active robot connection).
M.Popup {
    id: deviceListDialog

    property string title
    property alias model: deviceList.model
    property alias delegate: deviceList.delegate
    default property alias extras: popupContent.children
    signal connectOtherRobot(address: string)

    height: 300
    topPadding: popupTitle.height
    leftPadding: 3
    rightPadding: 3
    bottomPadding: 3
    modal: true

    QC.Overlay.modal: Rectangle {
        color: "transparent"
    }

    background: Rectangle {
        radius: 30
        gradient: Gradient {
            orientation: Gradient.Horizontal
            GradientStop { position: 0; color: Qt.lighter(OrvaneColors.accentBorderColor, 1.5) }
            GradientStop { position: 1; color: OrvaneColors.accentBorderColor }
        }

        RowLayout {
            id: popupTitle
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            height: 50
            spacing: 100

            Rectangle {
                height: 1
                Layout.fillWidth: true
                Layout.leftMargin: 50
                Layout.rightMargin: 10
                color: OrvaneColors.secondaryTextColor
            }
            Text {
                objectName: "popupTitleText"
                color: OrvaneColors.secondaryTextColor
                text: deviceListDialog.title
                font.family: "Raleway Thin"
                font.pixelSize: 24
                horizontalAlignment: Text.AlignHCenter
            }
            Rectangle {
                height: 1
                Layout.fillWidth: true
                Layout.leftMargin: 10
                Layout.rightMargin: 50
                color: OrvaneColors.secondaryTextColor
            }
        }

        Rectangle {
            id: dropUpIndicator
            anchors.top: parent.top
            anchors.right: parent.right
            anchors.topMargin: height
            anchors.rightMargin: height
            width: popupTitle.height / 3
            height: width
            radius: height / 2
            color: Qt.alpha(OrvaneColors.secondaryTextColor, 0.5)

            Shape {
                id: dropUpIndicatorIcon
                width: dropUpIndicator.width / 2
                height: width
                anchors.centerIn: parent
                ShapePath {
                    fillColor: OrvaneColors.primaryTextColor
                    strokeColor: "transparent"
                    startX: 0; startY: dropUpIndicatorIcon.height
                    PathLine { x: dropUpIndicatorIcon.width; y: dropUpIndicatorIcon.height }
                    PathLine { x: dropUpIndicatorIcon.width / 2; y: 0 }
                    PathLine { x: 0; y: dropUpIndicatorIcon.height }
                }
            }
        }
    }

    contentItem: Rectangle {
        id: popupContent
        // A popup is no item on this Qt: its content carries the accessible name.
        Accessible.name: "Device List popup"
        color: OrvaneColors.background
        radius: 28

        MouseArea {
            objectName: "titleStrip"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.top
            height: popupTitle.height
            onClicked: deviceListDialog.close()
        }

        ListView {
            id: deviceList
            objectName: "deviceList"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.bottom: buttonRow.top
            anchors.margins: 10
            spacing: 5
            clip: true
        }

        RowLayout {
            id: buttonRow
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.margins: 10
            spacing: 10

            Button {
                id: otherDeviceButton
                objectName: "otherDeviceButton"
                Accessible.name: "Connect other device"
                Layout.preferredHeight: 40
                implicitWidth: 100
                Layout.fillWidth: true
                text: qsTr("Connect other device")
                onClicked: deviceConnectDialog.open()
            }
            Button {
                objectName: "disconnectButton"
                Accessible.name: "Disconnect"
                Layout.preferredHeight: 40
                implicitWidth: 100
                Layout.fillWidth: true
                text: qsTr("Disconnect")
                color: OrvaneColors.dangerButtonColor
                enabled: RobotManager.activeConnection !== null
                onClicked: RobotManager.activeConnection.getObject().disconnect()
            }
        }
    }

    Dialog {
        id: deviceConnectDialog
        objectName: "deviceConnectDialog"
        parent: QC.Overlay.overlay
        anchors.centerIn: parent
        title: qsTr("Connect to Device")
        modal: true
        standardButtons: Dialog.Ok | Dialog.Cancel
        contentItem: TextField {
            id: ipConnectField
            objectName: "ipConnectField"
            placeholderText: qsTr("Device Address")
        }
        Component.onCompleted: standardButton(Dialog.Ok).text = qsTr("Connect")
        onAccepted: deviceListDialog.connectOtherRobot(ipConnectField.text)
    }
}
