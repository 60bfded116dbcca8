import QtQuick
import QtQuick.Controls.Material
import Qt.labs.settings
import "../OrvaneUI"
import "../OrvaneUI/OrvaneControls"

// Connects a Pelto over Wi-Fi by its address.
Popup {
    id: dialog

    // The device's own address in the network of its access point.
    readonly property string directAddress: "192.168.192.2"
    readonly property alias addressField: addressField

    function useDirectAddress() {
        addressField.text = directAddress
    }

    function connectDevice() {
        settings.lastConnectedIP = addressField.text
        orvFactory.insertNetworkOrvDevice(addressField.text)
        close()
    }

    width: hRef * 657 / 1080
    height: hRef * 470 / 1080
    padding: 0
    modal: true
    Material.elevation: 50

    onAboutToShow: inputRow.visible = true
    // The address is what the dialog is for: keys go to it at once, so Enter connects and typing
    // replaces the address shown.
    focus: true
    onOpened: {
        addressField.forceActiveFocus()
        addressField.selectAll()
    }

    Component.onCompleted: {
        addressField.text = settings.lastConnectedIP
        if (addressField.text === "")
            useDirectAddress()
    }

    Settings {
        id: settings
        category: "OrvDeviceConnections/Wifi"
        property string lastConnectedIP
    }

    Connections {
        target: orvFactory
        function onWifiConnectionEstablished() { dialog.close() }
    }

    background: Image {
        source: "qrc:/Images/GUI/Prompts/PromptFrame.png"
        fillMode: Image.Stretch
    }

    contentItem: Item {
        RoundButton_rev2 {
            objectName: "closeButton"
            state: "Cross"
            anchors.top: parent.top
            anchors.right: parent.right
            anchors.margins: hRef * 22 / 1080
            onClicked: dialog.close()
        }

        Column {
            x: hRef * 40 / 1080
            y: hRef * 36 / 1080
            width: parent.width - 2 * x
            spacing: hRef * 10 / 1080

            Text {
                text: "IP Discover"
                font.family: "Raleway"
                font.bold: true
                font.pixelSize: Math.max(1, hRef * 17 / 1080)
                color: "black"
            }
            Rectangle { width: 312 * uScale; height: Math.max(1, 1 * uScale); color: "#181344" }
            Text {
                text: "Connect to your device over IP"
                font.family: "Raleway"
                font.pixelSize: Math.max(1, hRef * 18 / 1080)
            }
            Text {
                width: parent.width * 0.9
                wrapMode: Text.Wrap
                text: "Enter the IP that is currently assigned to your device on the network. "
                      + "Make sure you are on the right network to reach the device"
                font.family: "Raleway"
                font.pixelSize: Math.max(1, hRef * 18 / 1080)
                color: "#3C454D"
            }
        }

        Item {
            id: inputRow
            objectName: "inputRow"
            anchors.horizontalCenter: parent.horizontalCenter
            y: hRef * 150 / 1080 + hRef * 80 / 1080
            width: hRef * 350 / 1080
            height: hRef * 100 / 1080

            Row {
                anchors.centerIn: parent
                spacing: 14 * uScale

                SimpleButtonRev3 {
                    objectName: "directButton"
                    anchors.verticalCenter: parent.verticalCenter
                    width: 100 * uScale
                    originalState: "black"
                    text: "Direct"
                    onClicked: dialog.useDirectAddress()
                }
                OrvTextField {
                    id: addressField
                    objectName: "addressField"
                    anchors.verticalCenter: parent.verticalCenter
                    width: 200 * uScale
                    horizontalAlignment: TextInput.AlignHCenter
                    font.pixelSize: Math.max(1, 17 * uScale)
                    selectByMouse: true
                    onAccepted: dialog.connectDevice()
                }
            }
        }

        Row {
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.rightMargin: hRef * 40 / 1080
            anchors.bottomMargin: hRef * 50 / 1080
            spacing: 14 * uScale

            SimpleButtonRev3 {
                objectName: "cancelButton"
                originalState: "red"
                text: "Cancel"
                onClicked: dialog.close()
            }
            SimpleButtonRev3 {
                objectName: "continueButton"
                text: "Continue"
                onClicked: dialog.connectDevice()
            }
        }
    }
}
