import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Material
import QtQuick.Templates as T
import "../OrvaneUI"
import "../OrvaneUI/OrvaneControls"
import "../../NotificationHandling/GUI"
import "TopBarRules.js" as Rules

// The top bar: the selected device and its links, the application switch, the notification bell
// and the back banner of every page but the home screen.
Rectangle {
    id: menu

    readonly property string homeSource: "qrc:/Qml/Forms/ModuleView.qml"
    readonly property bool onHome: viewStack.source === homeSource
    readonly property var device: orvFactory ? orvFactory.selectedDevice : null
    readonly property var updateRow: typeof HardwareUpdate !== "undefined" && HardwareUpdate
                                     ? HardwareUpdate.selectedDevice : null
    readonly property var logDevice: typeof LogDownloader !== "undefined" && LogDownloader
                                     ? LogDownloader.selectedDevice : null
    // Everything the texts and the Wi-Fi button depend on, in one plain object.
    readonly property var barState: ({
        hasDevice: device !== null,
        fallback: device !== null && device.isInFallback === true,
        downloadProgress: logDevice ? logDevice.currentDownloadProgress : 0,
        hasUpdateRow: updateRow !== null && updateRow !== undefined,
        updateState: updateRow ? updateRow.updateState : -1,
        updateProgress: updateRow ? updateRow.updateProgress : 0,
        wifiState: device && device.datalinkManager ? device.datalinkManager.wifiLinkState : 0,
        attempt: orvFactory ? orvFactory.connectionAttempt : false,
        catalogueMissing: typeof versionControl !== "undefined" && versionControl
                          ? versionControl.catalogueAvailable === false : false
    })
    readonly property var wifiButtonState: Rules.wifiButton(barState)
    readonly property alias notificationFrame: notificationFrame
    readonly property alias discoveryDialog: discoveryDialog

    color: "#F3F3F3"

    RowLayout {
        id: row
        anchors.fill: parent
        spacing: 20 * uScale

        Item {
            Layout.preferredWidth: (menu.onHome ? 20 : 100) * uScale
            Layout.fillHeight: true
        }

        Rectangle {
            id: devicePill
            objectName: "devicePill"
            Layout.preferredHeight: hRef * 39 / 1080
            Layout.minimumWidth: hRef * 520 / 1080
            Layout.maximumWidth: hRef * 760 / 1080
            Layout.fillWidth: true
            radius: height / 2
            color: "white"

            Item {
                id: deviceArea
                anchors.left: parent.left
                anchors.top: parent.top
                anchors.bottom: parent.bottom
                anchors.right: wifiButton.left

                // Clear of the pill's rounded end and of the Wi-Fi button.
                readonly property real textGap: devicePill.height / 2

                Text {
                    id: serialText
                    objectName: "serialText"
                    // Ends at the centre while the status fits after it; a long status pushes it
                    // left, so "Downloading: n%" never runs under the Wi-Fi button.
                    x: Math.max(deviceArea.textGap,
                                Math.min(deviceArea.width / 2,
                                         deviceArea.width - deviceArea.textGap - statusText.implicitWidth)
                                - width)
                    // An overlong serial number keeps at least half the room for the status.
                    width: Math.min(implicitWidth,
                                    deviceArea.width - 2 * deviceArea.textGap
                                    - Math.min(statusText.implicitWidth,
                                               (deviceArea.width - 2 * deviceArea.textGap) / 2))
                    elide: Text.ElideRight
                    anchors.verticalCenter: parent.verticalCenter
                    textFormat: Text.PlainText
                    text: menu.device ? menu.device.serialNumber + " - " : ""
                    font.family: "Raleway"
                    font.weight: Font.Light
                    font.pixelSize: Math.max(1, 21 * uScale)
                    visible: !attemptText.visible
                }

                Text {
                    id: statusText
                    objectName: "statusText"
                    anchors.left: serialText.right
                    anchors.verticalCenter: parent.verticalCenter
                    // What still does not fit is cut short rather than drawn under the button.
                    width: Math.max(0, Math.min(implicitWidth,
                                                deviceArea.width - deviceArea.textGap - x))
                    elide: Text.ElideRight
                    textFormat: Text.PlainText
                    text: menu.device ? Rules.statusText(menu.barState) : ""
                    color: menu.barState.fallback ? "#E31F40" : "black"
                    font.family: "Raleway"
                    font.weight: Font.Light
                    font.pixelSize: Math.max(1, 21 * uScale)
                    visible: !attemptText.visible
                }

                Text {
                    id: attemptText
                    objectName: "attemptText"
                    anchors.centerIn: parent
                    visible: orvFactory ? orvFactory.connectionAttempt : false
                    textFormat: Text.PlainText
                    text: "Attempting connection: "
                          + (orvFactory ? orvFactory.connectionAttemptAddress : "")
                    font.family: "Raleway"
                    font.weight: Font.Light
                    font.pixelSize: Math.max(1, 21 * uScale)
                    SequentialAnimation on opacity {
                        running: attemptText.visible
                        loops: Animation.Infinite
                        NumberAnimation { to: 1; duration: 1000 }
                        NumberAnimation { to: 0; duration: 1000 }
                    }
                }

                OrvToolTip {
                    objectName: "deviceToolTip"
                    buttonToolTip: Rules.tooltipText(menu.barState)
                    horizontalPosition: OrvToolTip.HPosition.Center
                }
            }

            SimpleButtonRev3 {
                id: wifiButton
                objectName: "wifiButton"
                anchors.right: parent.right
                anchors.rightMargin: 8.7 * uScale
                anchors.verticalCenter: parent.verticalCenter
                height: 24 * uScale
                width: 173 * uScale
                originalState: menu.wifiButtonState.scheme
                enabled: menu.wifiButtonState.enabled
                text: menu.wifiButtonState.text
                onClicked: {
                    switch (menu.wifiButtonState.action) {
                    case "disconnect":
                        menu.device.deletePelto()
                        break
                    case "abort":
                        orvFactory.cancelConnectionAttempt()
                        break
                    default:
                        discoveryDialog.open()
                    }
                }
                // A disabled button takes no hover; the tooltip sits in an area over it.
                Item {
                    anchors.fill: parent
                    OrvToolTip {
                        buttonToolTip: menu.wifiButtonState.tooltip
                        horizontalPosition: OrvToolTip.HPosition.Center
                    }
                }
            }
        }

        Item { Layout.minimumWidth: 100 * uScale; Layout.fillHeight: true }

        DeviceAppSwitch {
            id: appSwitch
            Layout.preferredHeight: hRef * 39 / 1080
            Layout.preferredWidth: stateWidth
        }

        Item { Layout.fillWidth: true; Layout.fillHeight: true }

        Item {
            visible: menu.device !== null
            Layout.preferredWidth: menu.height / 2
            Layout.preferredHeight: menu.height / 2
        }
        Separator_Vertical {
            Layout.preferredHeight: menu.height * 0.78
            Layout.preferredWidth: 2
            visible: menu.device !== null
        }
        Indicator_Wifi {
            Layout.preferredHeight: menu.height / 2
            Layout.preferredWidth: menu.height / 2
            visible: menu.device !== null
        }
        Image {
            objectName: "wifiLight"
            Layout.preferredHeight: menu.height / 3
            Layout.preferredWidth: menu.height / 3
            fillMode: Image.PreserveAspectFit
            source: Rules.linkLight(menu.barState.wifiState)
            visible: menu.device !== null
        }
        Separator_Vertical {
            Layout.preferredHeight: menu.height * 0.78
            Layout.preferredWidth: 2
            visible: menu.device !== null
        }
        Image {
            Layout.preferredHeight: menu.height / 6
            Layout.preferredWidth: menu.height / 3
            fillMode: Image.PreserveAspectFit
            rotation: 90
            source: "qrc:/Images/GUI/MainMenu/Usb.png"
            visible: menu.device !== null
        }
        Image {
            objectName: "usbLight"
            Layout.preferredHeight: menu.height / 3
            Layout.preferredWidth: menu.height / 3
            fillMode: Image.PreserveAspectFit
            source: Rules.linkLight(menu.device && menu.device.datalinkManager
                                    ? menu.device.datalinkManager.usbLinkState : 0)
            visible: menu.device !== null
        }
        Separator_Vertical {
            Layout.preferredHeight: menu.height * 0.78
            Layout.preferredWidth: 2
        }
        NotificationsIndicator {
            id: bell
            objectName: "bell"
            Layout.preferredHeight: menu.height
            Layout.preferredWidth: menu.height
            onPressed: {
                if (notificationFrame.opened)
                    notificationFrame.close()
                else
                    notificationFrame.open()
            }
        }
        Item { Layout.minimumWidth: menu.width * 215 / 1920; Layout.fillHeight: true }
        Item { visible: false } // user picture: not shown
    }

    Rectangle {
        id: backBanner
        objectName: "backBanner"
        color: "#E31F40"
        width: 107 * uScale
        height: 45 * uScale
        anchors.verticalCenter: parent.verticalCenter
        x: (menu.onHome ? -120 : -10) * uScale
        Behavior on x { NumberAnimation { duration: 200; easing.type: Easing.OutQuad } }

        Image {
            anchors.right: parent.right
            anchors.rightMargin: 10 * uScale
            anchors.verticalCenter: parent.verticalCenter
            height: parent.height * 0.7
            width: height
            fillMode: Image.PreserveAspectFit
            source: "qrc:/Images/GUI/MainMenu/BackLines.png"
        }

        MouseArea {
            anchors.fill: parent
            onClicked: viewStack.source = menu.homeSource
        }
    }

    NotificationFrame {
        id: notificationFrame
        y: menu.height
        x: bell.x - width / 2 + bell.width / 2.3
    }

    DiscoveryDialog {
        id: discoveryDialog
        parent: T.Overlay.overlay
        x: (parent ? parent.width - width : 0) / 2
        y: (parent ? parent.height - height : 0) / 2
    }
}
