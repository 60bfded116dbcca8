import QtQuick
import QtTest
import orvane.Branding
import orvane.Controls
import orvane.RobotCommunication

Item {
    id: root
    width: 1000
    height: 700

    Component { id: statusComponent; ConnectionStatus {} }
    Component { id: entryComponent; DeviceListEntry { width: 400; serial: "PEL-1"; servicename: "pelto" } }
    Component {
        id: popupComponent
        DeviceListPopup {
            width: 600
            title: "Devices"
            model: ["<b>PEL-0001</b>", "PEL-0002"]
            delegate: DeviceListEntry {
                required property string modelData
                serial: modelData
                servicename: "_ssh._tcp <i>svc</i>"
            }
        }
    }
    TextMetrics { id: metrics }

    TestCase {
        name: "ConnectionStatus"
        when: windowShown

        function test_defaultsAndStatusText() {
            const banner = createTemporaryObject(statusComponent, root)
            compare(banner.statusText, "Select Device... <b>- Not Connected</b>")
            compare(banner.Accessible.name, "Connection status")
            const text = findChild(banner, "statustext")
            compare(text.font.pixelSize, 35)
            compare(banner.contentItem.implicitHeight, 35)
        }

        // Device names and states come from the device: markup in them is shown as text.
        function test_deviceTextIsNotMarkup_data() {
            return [{ tag: "device", device: "<i>evil</i>", status: "Connected" },
                    { tag: "status", device: "PEL", status: "<font size='20'>big</font>" }]
        }

        function test_deviceTextIsNotMarkup(data) {
            const banner = createTemporaryObject(statusComponent, root,
                                                 { device: data.device, status: data.status })
            const plain = createTemporaryObject(statusComponent, root,
                                                { device: data.device.replace(/<[^>]*>/g, ""),
                                                  status: data.status.replace(/<[^>]*>/g, "") })
            // The tags take room as characters: wider than the same text without them.
            verify(findChild(banner, "statustext").contentWidth
                   > findChild(plain, "statustext").contentWidth + 20)
        }

        function test_stopsFollowThePaddings() {
            const banner = createTemporaryObject(statusComponent, root)
            banner.width = 400
            banner.height = 60
            const underlay = findChild(banner, "connectionStatusUnderlay")
            compare(underlay.gradient.stops[1].position, 0)
            banner.leftPadding = 40
            banner.rightPadding = 40
            compare(underlay.gradient.stops[1].position, 0.1)
            compare(underlay.gradient.stops[2].position, 0.9)
            compare(findChild(banner, "dropDownIndicator").height, 14)
        }
    }

    TestCase {
        name: "DeviceList"
        when: windowShown

        function test_entryEmitsConnect() {
            const entry = createTemporaryObject(entryComponent, root)
            let connects = 0
            entry.connect.connect(() => ++connects)
            mouseClick(findChild(entry, "connectButton"))
            compare(connects, 1)
            compare(findChild(entry, "serialColumn").width, 100)
        }

        function test_popupTextsArePlain() {
            const popup = createTemporaryObject(popupComponent, root)
            popup.open()
            tryCompare(popup, "opened", true)
            const list = findChild(popup, "deviceList")
            tryVerify(() => list.itemAtIndex(0) !== null)
            const row = list.itemAtIndex(0)
            const serial = findChild(row, "serialColumn")
            metrics.font = serial.font
            metrics.text = "<b>PEL-0001</b>"
            fuzzyCompare(serial.implicitWidth - 20, metrics.advanceWidth, 2)
            const name = findChild(row, "Name")
            metrics.font = name.font
            metrics.text = "_ssh._tcp <i>svc</i>"
            fuzzyCompare(name.implicitWidth, metrics.advanceWidth, 2)
        }

        function test_connectOtherDevice() {
            const popup = createTemporaryObject(popupComponent, root)
            popup.open()
            tryCompare(popup, "opened", true)
            const addresses = []
            popup.connectOtherRobot.connect(address => addresses.push(address))
            mouseClick(findChild(popup, "otherDeviceButton"))
            const dialog = findChild(popup, "deviceConnectDialog")
            tryCompare(dialog, "opened", true)
            compare(dialog.standardButton(Dialog.Ok).text, "Connect")
            const field = findChild(dialog, "ipConnectField")
            field.text = "  10.0.0.7 "
            mouseClick(dialog.standardButton(Dialog.Cancel))
            compare(addresses.length, 0)
            tryCompare(dialog, "visible", false)
            mouseClick(findChild(popup, "otherDeviceButton"))
            tryCompare(dialog, "opened", true)
            compare(field.text, "  10.0.0.7 ")
            mouseClick(dialog.standardButton(Dialog.Ok))
            compare(addresses, ["  10.0.0.7 "])
            verify(popup.opened)
        }

        function test_disconnectFollowsTheActiveConnection() {
            const popup = createTemporaryObject(popupComponent, root)
            popup.open()
            tryCompare(popup, "opened", true)
            const button = findChild(popup, "disconnectButton")
            compare(button.enabled, false)
            let connected = null
            RobotManager.connect(rosbridge.url).then(() => connected = true,
                                                     () => connected = false)
            tryCompare(button, "enabled", true)
            tryVerify(() => connected === true)
            compare(rosbridge.clientCount(), 1)
            mouseClick(button)
            // The robot's row goes once its socket has closed; the button follows.
            tryCompare(button, "enabled", false)
            compare(RobotManager.size, 0)
            tryVerify(() => rosbridge.clientCount() === 0)
            verify(popup.opened)
        }

        function test_titleStripCloses() {
            const popup = createTemporaryObject(popupComponent, root)
            popup.open()
            tryCompare(popup, "opened", true)
            mouseClick(findChild(popup, "titleStrip"))
            tryCompare(popup, "visible", false)
        }
    }
}
