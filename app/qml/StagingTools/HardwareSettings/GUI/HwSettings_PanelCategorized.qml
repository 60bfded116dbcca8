import QtQuick
import QtQuick.Controls.Material
import "../../../Qml/OrvaneUI"
import "../../../Qml/OrvaneUI/OrvaneControls"
import "HwSettingsRules.js" as Rules

// The panel of one settings tab: the selected device's serial number, its picture and Wi-Fi rows,
// the address it has now and the mass-storage switch. Device texts are shown as plain text.
Rectangle {
    id: panel

    property var tab: null
    property var device: null
    // Switching mass-storage mode in and out in quick succession made the device crash: after
    // each toggle the switch rests for this long.
    property int massStorageLockMs: 2000
    readonly property bool massStorageLocked: lockTimer.running
    readonly property var picture: Rules.devicePicture(device ? device.extendedDeviceType : -1)
    readonly property string localIpText: Rules.localIpText(!!device, device ? device.ipAddress : "")
    readonly property alias tabView: tabView
    readonly property alias titleText: title
    readonly property alias devicePicture: devicePicture
    readonly property var localIpLabel: localIpContainer.control
    readonly property var massStorageSwitch: massStorageContainer.control
    readonly property alias view: view

    objectName: "HwSettingsPanel"
    radius: 12 * uScale
    clip: true
    gradient: Gradient {
        GradientStop { position: 0; color: "#E1E1E1" }
        GradientStop { position: 1; color: "#C5C5C5" }
    }

    Timer {
        id: lockTimer
        interval: panel.massStorageLockMs
        // A device that did not follow the toggle must not be shown as if it had: once the switch
        // is free again it shows the device's state.
        onTriggered: {
            const toggle = panel.massStorageSwitch
            if (toggle)
                toggle.checked = Qt.binding(() => panel.device ? panel.device.peltoMscState : false)
        }
    }

    component Heading: Text {
        textFormat: Text.PlainText
        font.family: "Poppins"
        font.weight: Font.Bold
        font.pixelSize: 13 * uScale
        color: "#1D252F"
    }

    Text {
        id: title
        objectName: "panelTitle"
        anchors.horizontalCenter: parent.horizontalCenter
        y: 4.5 * uScale
        textFormat: Text.PlainText
        text: "Selected serial number: " + (panel.device ? panel.device.serialNumber : "")
        font.family: "Poppins"
        font.weight: Font.DemiBold
        font.pixelSize: 13 * uScale
        color: "#1D252F"
    }
    Rectangle {
        anchors.right: title.left
        anchors.rightMargin: 14 * uScale
        y: 14.2 * uScale
        width: 300 * uScale
        height: 0.8 * uScale
        color: "#1D252F"
    }
    Rectangle {
        anchors.left: title.right
        anchors.leftMargin: 14 * uScale
        y: 14.2 * uScale
        width: 300 * uScale
        height: 0.8 * uScale
        color: "#1D252F"
    }

    Rectangle {
        id: whiteArea
        objectName: "whiteArea"
        y: 27 * uScale
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width - 5 * uScale
        height: parent.height - 30 * uScale
        radius: 11 * uScale
        color: "#FFFFFF"

        Flickable {
            id: view
            anchors.centerIn: parent
            width: parent.width - 22 * uScale
            height: parent.height - 22 * uScale
            contentWidth: 919 * uScale
            contentHeight: 807.5 * uScale
            boundsBehavior: Flickable.StopAtBounds
            clip: true

            Column {
                width: view.contentWidth
                spacing: 2 * uScale

                Column {
                    spacing: 4 * uScale
                    Heading { text: "Wi-Fi Settings" }
                    Rectangle {
                        width: view.contentWidth * 3 / 4
                        height: 1 * uScale
                        color: "#B4B4B5"
                    }
                }

                Item {
                    width: parent.width
                    height: 480 * uScale

                    Item {
                        id: pictureColumn
                        width: 346 * uScale
                        height: parent.height
                        Image {
                            id: devicePicture
                            objectName: "devicePicture"
                            width: (panel.picture.wide ? 222 : 177) * uScale
                            height: sourceSize.width > 0
                                    ? width * sourceSize.height / sourceSize.width : width
                            x: parent.width - 62 * uScale - width
                            y: 56 * uScale
                            fillMode: Image.PreserveAspectFit
                            smooth: true
                            mipmap: true
                            source: panel.picture.source
                        }
                    }
                    // Placed so its rows line up with the rows below at 352.
                    HwSettingsTab {
                        id: tabView
                        x: (352 - 291) * uScale
                        width: parent.width - x
                        tab: panel.tab
                    }
                }

                Text {
                    x: 352 * uScale
                    textFormat: Text.PlainText
                    text: "Currently assigned local IP"
                    font.family: "Poppins"
                    font.weight: Font.DemiBold
                    font.pixelSize: 13 * uScale
                    color: "#1D252F"
                }
                Item { width: 1; height: 4 * uScale }
                HwSetting_BaseContainer {
                    id: localIpContainer
                    x: 352 * uScale
                    title: "Local IP"
                    controlWidth: 265 * uScale
                    controlObject: Component {
                        Item {
                            objectName: "localIp"
                            readonly property alias text: ipText.text
                            readonly property alias copyButton: copyButton
                            width: 240 * uScale
                            height: 16 * uScale
                            Text {
                                id: ipText
                                objectName: "localIpText"
                                anchors.verticalCenter: parent.verticalCenter
                                x: 2 * uScale
                                textFormat: Text.PlainText
                                text: panel.localIpText
                                font.family: "Raleway"
                                font.weight: Font.Light
                                font.pixelSize: 12 * uScale
                                color: "#1D252F"
                            }
                            CopyButton {
                                id: copyButton
                                objectName: "copyButton"
                                anchors.left: ipText.right
                                anchors.leftMargin: 10 * uScale
                                height: parent.height
                                visible: panel.localIpText !== ""
                                         && panel.localIpText !== "No assigned IP"
                                valueToCopy: panel.localIpText
                                strokeColor: "#1D252F"
                            }
                        }
                    }
                }

                Item {
                    width: parent.width
                    height: 57 * uScale
                    Heading {
                        y: 34 * uScale - height - 4 * uScale
                        text: "Other Settings"
                    }
                    Rectangle {
                        y: 34 * uScale
                        width: view.contentWidth * 3 / 4
                        height: 1 * uScale
                        color: "#B4B4B5"
                    }
                }

                HwSetting_BaseContainer {
                    id: massStorageContainer
                    x: 352 * uScale
                    title: "Toggle mass storage mode"
                    controlWidth: 120 * uScale
                    controlObject: Component {
                        OrvSwitch_rev1 {
                            objectName: "massStorageSwitch"
                            width: 80 * uScale
                            height: 26 * uScale
                            checked: panel.device ? panel.device.peltoMscState : false
                            enabled: !!panel.device && !panel.massStorageLocked
                            onToggled: {
                                lockTimer.restart()
                                if (panel.device)
                                    panel.device.setPeltoMscState(checked)
                            }
                        }
                    }
                }
            }
        }
    }
}
