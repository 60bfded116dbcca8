import QtQuick
import QtTest
import "qrc:/Qml"
import "qrc:/Qml/Forms"
import "qrc:/Qml/OrvaneUI"

// The top bar with a selected device: a small stand-in for the factory and its Pelto.
Item {
    id: root

    readonly property int hRef: 1080
    readonly property real uScale: 1
    readonly property real frameBorderWidth: 9

    width: 1600
    height: 300

    QtObject {
        id: fakeLinks
        property int wifiLinkState: 0
        property int usbLinkState: 2
    }
    QtObject {
        id: fakePelto
        property string serialNumber: "P1234567"
        property bool isInFallback: false
        property bool peltoMscState: false
        property var datalinkManager: fakeLinks
        property int appStatus: 255
        property bool appRunning: false
        property int deleteCalls: 0
        property int toggleCalls: 0
        function deletePelto() { deleteCalls++ }
        function toggleAppState() { toggleCalls++ }
    }
    QtObject {
        id: fakeDownload
        property real currentDownloadProgress: 0
    }
    QtObject {
        id: orvFactory
        property var selectedDevice: null
        property bool connectionAttempt: false
        property string connectionAttemptAddress: ""
        signal wifiConnectionEstablished
        function cancelConnectionAttempt() {}
        function insertNetworkOrvDevice(address) {}
    }

    OrvLoader { id: viewStack; visible: false }

    DeviceAppSwitch {
        id: appSwitch
        x: 100
        y: 200
        height: 39
    }

    ApplicationMenu {
        id: menu
        width: parent.width
        height: 83
    }

    TestCase {
        name: "TopBarDevice"
        when: windowShown

        function init() {
            fakePelto.isInFallback = false
            fakePelto.deleteCalls = 0
            fakePelto.toggleCalls = 0
            fakePelto.appStatus = 255
            fakePelto.appRunning = false
            fakeLinks.wifiLinkState = 0
            fakeDownload.currentDownloadProgress = 0
            LogDownloader.selectedDevice = fakeDownload
            orvFactory.selectedDevice = fakePelto
        }
        function cleanup() {
            LogDownloader.selectedDevice = null
            orvFactory.selectedDevice = null
        }

        function test_fallbackIsRedWhileTheDownloadKeepsTheTooltip() {
            const status = findChild(menu, "statusText")
            const serial = findChild(menu, "serialText")
            const tip = findChild(menu, "deviceToolTip")
            compare(serial.text, "P1234567 - ")
            fakePelto.isInFallback = true
            fakeDownload.currentDownloadProgress = 0.3
            compare(status.text, "Fallback Mode")
            verify(Qt.colorEqual(status.color, "#E31F40"))
            compare(tip.buttonToolTip, "Downloading log file from device")
            fakePelto.isInFallback = false
            compare(status.text, "Downloading: 30%")
            verify(Qt.colorEqual(status.color, "black"))
        }

        // The serial number and the status text share the pill with the Wi-Fi button: however
        // long they are, they end before the button and start inside the pill.
        function test_statusStaysClearOfTheWifiButton_data() {
            return [
                { tag: "short, wide bar", serial: "P1234567", progress: 0.17, wifi: 0, width: 1600 },
                { tag: "sim serial, connected, wide bar", serial: "PLT-SIM-0001", progress: 0.17, wifi: 2, width: 1600 },
                { tag: "sim serial, connected, narrow bar", serial: "PLT-SIM-0001", progress: 0.17, wifi: 2, width: 900 },
                { tag: "100%, narrow bar", serial: "PLT-SIM-0001", progress: 1, wifi: 2, width: 900 },
                { tag: "long serial, narrow bar", serial: "PLT-SIM-0001-LONGER-SERIAL", progress: 0.5, wifi: 2, width: 900 }
            ]
        }
        function test_statusStaysClearOfTheWifiButton(data) {
            menu.width = data.width
            fakePelto.serialNumber = data.serial
            fakeLinks.wifiLinkState = data.wifi
            fakeDownload.currentDownloadProgress = data.progress
            const pill = findChild(menu, "devicePill")
            const status = findChild(menu, "statusText")
            const serial = findChild(menu, "serialText")
            const button = findChild(menu, "wifiButton")
            verify(status.text.startsWith("Downloading: "), status.text)
            waitForRendering(menu)
            const statusEnd = status.mapToItem(pill, Math.min(status.width, status.contentWidth), 0).x
            const serialStart = serial.mapToItem(pill, 0, 0).x
            verify(statusEnd <= button.x - 4, "status ends at " + statusEnd + ", button starts at " + button.x)
            verify(serialStart >= pill.height / 2 - 1, "serial starts at " + serialStart)
            menu.width = Qt.binding(() => root.width)
            fakePelto.serialNumber = "P1234567"
        }

        function test_wifiButtonFollowsTheLinks() {
            const button = findChild(menu, "wifiButton")
            // USB only: no second link can be added.
            verify(!button.enabled)
            compare(button.originalState, "black")
            fakeLinks.wifiLinkState = 2
            verify(button.enabled)
            compare(button.text, "Disconnect Wi-Fi")
            compare(button.originalState, "red")
            mouseClick(button)
            compare(fakePelto.deleteCalls, 1)
        }

        function test_noDeviceOpensTheDiscoveryDialog() {
            orvFactory.selectedDevice = null
            const button = findChild(menu, "wifiButton")
            compare(findChild(menu, "serialText").text, "")
            verify(button.enabled)
            mouseClick(button)
            tryCompare(menu.discoveryDialog, "opened", true)
            menu.discoveryDialog.close()
            tryCompare(menu.discoveryDialog, "visible", false)
        }

        function test_appSwitchTogglesOnlyAfterAHold() {
            const area = findChild(appSwitch, "appSwitchArea")
            mouseClick(area)
            wait(200)
            compare(fakePelto.toggleCalls, 0)
            mousePress(area)
            tryCompare(fakePelto, "toggleCalls", 1, 4000)
            wait(300)
            mouseRelease(area)
            compare(fakePelto.toggleCalls, 1)
            compare(appSwitch.holdProgress, 0)
            mouseDoubleClickSequence(area)
            compare(fakePelto.toggleCalls, 2)
        }

        function test_appSwitchTexts_data() {
            return [
                { tag: "Crashed", status: 4, running: false, text: "Crashed",
                  tip: "The loaded application has crashed", picture: "Play" },
                { tag: "Running", status: 3, running: true, text: "Running",
                  tip: "The loaded application is being executed", picture: "Pause" },
                { tag: "NotLoaded", status: 0, running: false, text: "Not Loaded",
                  tip: "No application is loaded", picture: "Play" },
                { tag: "Unknown", status: 255, running: false, text: "Unknown",
                  tip: "The current application status is not known", picture: "Play" }
            ]
        }
        function test_appSwitchTexts(data) {
            fakePelto.appStatus = data.status
            fakePelto.appRunning = data.running
            compare(findChild(appSwitch, "appStatusText").text, data.text)
            compare(appSwitch.toolTipText, data.tip)
            compare(findChild(appSwitch, "appPicture").source,
                    "qrc:/Images/GUI/MainMenu/" + data.picture + ".png")
            orvFactory.selectedDevice = null
            compare(findChild(appSwitch, "appStatusText").text, "Unknown")
            compare(appSwitch.toolTipText, "")
        }
    }
}
