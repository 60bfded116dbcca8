import QtQuick
import QtTest

// The real main window drawn by a real scene graph: each screen is saved as a PNG in
// <build>/screens and checked at a few pixels. The factory here is a stand-in whose selected
// device the test chooses; the notification hub is the real one.
Item {
    id: root

    width: 200
    height: 200

    QtObject {
        id: fakeLinks
        property int wifiLinkState: 0
        property int usbLinkState: 2
    }
    QtObject {
        id: fakePelto
        property string serialNumber: "P0042137"
        property bool isInFallback: true
        property bool peltoMscState: false
        property var datalinkManager: fakeLinks
        property int appStatus: 2
        property bool appRunning: false
        function deletePelto() {}
        function toggleAppState() {}
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

    TestCase {
        name: "Screens"
        when: windowShown

        property var window: null

        function near(c, hex, tolerance) {
            const want = Qt.color(hex)
            return Math.abs(c.r - want.r) * 255 <= tolerance && Math.abs(c.g - want.g) * 255 <= tolerance
                    && Math.abs(c.b - want.b) * 255 <= tolerance
        }

        function describe(c) {
            return "rgb(" + Math.round(c.r * 255) + "," + Math.round(c.g * 255) + ","
                    + Math.round(c.b * 255) + ")"
        }

        // Pixels of the rectangle that are the colour itself or its blend with a light
        // background (the edges of thin glyph strokes).
        function count(shot, x0, y0, w, h, hex) {
            const want = Qt.color(hex)
            let n = 0
            for (let y = y0; y < y0 + h; ++y) {
                for (let x = x0; x < x0 + w; ++x) {
                    const c = shot.pixel(x, y)
                    // Blending with white moves every channel towards 1 by the same share.
                    const share = (c.r - want.r) / Math.max(1e-6, 1 - want.r)
                    if (share > 0.6 || share < -0.02)
                        continue
                    if (Math.abs(c.g - (want.g + share * (1 - want.g))) * 255 <= 8
                            && Math.abs(c.b - (want.b + share * (1 - want.b))) * 255 <= 8)
                        ++n
                }
            }
            return n
        }

        function shoot(name) {
            // Let animations (fades, elevation) settle before the picture is taken.
            wait(900)
            const shot = grabImage(window.contentItem)
            // The full-HD run keeps the plain names; other screen sizes add theirs.
            const size = window.Screen.width === 1920 && window.Screen.height === 1080
                    ? "" : "-" + window.Screen.width + "x" + window.Screen.height
            shot.save(screensFolder + "/" + name + size + ".png")
            return shot
        }

        function initTestCase() {
            const component = Qt.createComponent("qrc:/Qml/Main.qml")
            compare(component.status, Component.Ready, component.errorString())
            window = component.createObject(root)
            verify(window !== null)
            // Xvfb has no window manager to maximise the window: give it the screen.
            window.x = 0
            window.y = 0
            window.width = window.Screen.width
            window.height = window.Screen.height
            tryVerify(() => window.applicationMenu !== null, 10000)
            tryVerify(() => window.viewStack.currentPage !== null, 10000)
            tryVerify(() => findChild(window.viewStack.currentPage, "tile_Robot discovery") !== null
                      && findChild(window.viewStack.currentPage, "tile_Robot discovery").width > 0)
            waitForRendering(window.contentItem)
        }

        function cleanupTestCase() {
            if (!window)
                return
            // An item holding the keyboard focus must let go before its window goes (Qt 6.4).
            window.viewStack.focus = false
            window.close()
            window.destroy()
            wait(0)
        }

        function test_1_home() {
            const shot = shoot("home")
            // The window's frame shows the background.
            for (const p of [[3, 3], [3, shot.height - 4], [shot.width - 4, 200]])
                verify(near(shot.pixel(p[0], p[1]), "#CCCBCA", 2), describe(shot.pixel(p[0], p[1])))
            // The page area is white, the top bar #F3F3F3.
            verify(near(shot.pixel(shot.width / 2, shot.height - 20), "#FFFFFF", 2))
            const bar = window.applicationMenu
            const inBar = bar.mapToItem(window.contentItem, bar.width - 20, 4)
            verify(near(shot.pixel(inBar.x, inBar.y), "#F3F3F3", 2), describe(shot.pixel(inBar.x, inBar.y)))
        }

        function test_2_deviceInFallback() {
            orvFactory.selectedDevice = fakePelto
            const status = findChild(window.applicationMenu, "statusText")
            tryCompare(status, "text", "Fallback Mode")
            const shot = shoot("home-device-fallback")
            const box = status.mapToItem(window.contentItem, 0, 0)
            const red = count(shot, Math.round(box.x), Math.round(box.y), Math.round(status.width),
                              Math.round(status.height), "#E31F40")
            // Fewer pixels on a smaller screen: the text scales with the window's unit.
            verify(red > 20 * window.uScale * window.uScale, "red pixels in the status text: " + red)
            // The serial number before it is black.
            const serial = findChild(window.applicationMenu, "serialText")
            const sbox = serial.mapToItem(window.contentItem, 0, 0)
            compare(count(shot, Math.round(sbox.x), Math.round(sbox.y), Math.round(serial.width),
                          Math.round(serial.height), "#E31F40"), 0)
        }

        function test_3_notificationsOpen() {
            testNotifications.push(2, 0, "Log download failed",
                                   "The device closed the file before it was complete.",
                                   "P0042137")
            testNotifications.push(3, 1, "Firmware catalogue",
                                   "The catalogue of released versions could not be refreshed; "
                                   + "the copy from the last start is used.", "Version control")
            testNotifications.push(1, 0, "Device crashed", "Hard fault in task <ctrl> & restarted",
                                   "P0042137")
            const note = testNotifications.pushProgressButton("Flashing application", "Cancel")
            note.enableProgress(true)
            note.updateProgress(0.62)
            // While a flash runs its Cancel button is live.
            note.enableButton(true)
            const frame = window.applicationMenu.notificationFrame
            frame.open()
            tryCompare(frame, "opened", true)
            shoot("notifications-open")
        }

        function test_4_ipDiscover() {
            const frame = window.applicationMenu.notificationFrame
            frame.close()
            tryCompare(frame, "visible", false)
            orvFactory.selectedDevice = null
            const dialog = window.applicationMenu.discoveryDialog
            dialog.open()
            tryCompare(dialog, "opened", true)
            compare(dialog.addressField.text, "192.168.192.2")
            const shot = shoot("ip-discover")
            const centre = dialog.contentItem.mapToItem(window.contentItem, 30, dialog.height / 2)
            verify(near(shot.pixel(centre.x, centre.y), "#FFFFFF", 3), describe(shot.pixel(centre.x, centre.y)))
            dialog.close()
        }
    }
}
