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
    // >>> Hardware Setup: the selected Pelto of the settings screen
    QtObject {
        id: setupPelto
        property string serialNumber: "P0042137"
        property bool isInFallback: false
        property bool peltoMscState: false
        property var datalinkManager: fakeLinks
        property int appStatus: 2
        property bool appRunning: false
        property int extendedDeviceType: 12
        property string ipAddress: "192.168.4.1"
        function deletePelto() {}
        function toggleAppState() {}
        function setPeltoMscState(on) {}
    }
    // <<< Hardware Setup
    QtObject {
        id: orvFactory
        property var selectedDevice: null
        property bool connectionAttempt: false
        property string connectionAttemptAddress: ""
        property string insertedAddress: ""
        signal wifiConnectionEstablished
        function cancelConnectionAttempt() {}
        function insertNetworkOrvDevice(address) { insertedAddress = address }
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

        // >>> device updates
        // The "Device Updates" page opened from its tile: first with no device, then over a real
        // update list fed by the simulated Pelto, whose firmware is older than the newest in the
        // real catalogue.
        function test_5_deviceUpdates() {
            const tile = findChild(window.viewStack.currentPage, "tile_Device Updates")
            verify(tile)
            tryCompare(window.applicationMenu.discoveryDialog, "visible", false)
            mouseClick(tile, tile.width / 2, tile.height / 3)
            tryVerify(() => window.viewStack.currentPage !== null
                      && window.viewStack.currentPage.objectName === "deviceUpdatesPage")
            const page = window.viewStack.currentPage
            tryCompare(page, "status", Loader.Ready)
            const empty = findChild(page, "noDeviceText")
            verify(empty.visible)
            let shot = shoot("device-updates-empty")
            const middle = empty.mapToItem(window.contentItem, empty.width / 2, empty.height / 2)
            verify(count(shot, Math.round(middle.x - empty.width / 2), Math.round(middle.y - 10),
                         Math.round(empty.width), 20, "#222A32") > 50)

            verify(testUpdates.loadCatalogue(JSON.stringify({
                "Version": 1,
                "Devices": { "Pelto": { "LatestVersion": "2.0.0", "Versions": {
                    "1.0.0": { "PeltoOS": "1.3.0", "PeltoWireless": "1.0.0" },
                    "2.0.0": { "PeltoOS": "1.4.0", "PeltoWireless": "1.1.0" } } } },
                "Components": {} })))
            // The simulated Pelto runs outdated firmware and an application of its own.
            const list = testUpdates.makeList()
            page.updates = list
            verify(testUpdates.connectSimulatedPelto(list, [
                "--serial", "P0042137", "--state", "fw_version=1.3.0", "--state", "esp_version=1.0.0",
                "--state", "app_version=1.2.0", "--state", "app_name=LineFollower",
                "--heartbeat-ms", "200"]))
            tryVerify(() => list.deviceList.length === 1, 30000)
            orvFactory.selectedDevice = fakePelto
            const button = findChild(page, "updateButton")
            tryVerify(() => button.visible && button.text === "Update", 20000)
            compare(findChild(page, "progressText").text, "NEW UPDATE AVAILABLE")
            compare(findChild(page, "currentFirmware").text, "CURRENT FIRMWARE:  1.0.0")
            tryVerify(() => findChild(page, "componentLines").count === 4, 10000)
            shot = shoot("device-updates")
            // The frame keeps the window's background.
            verify(near(shot.pixel(3, shot.height - 4), "#CCCBCA", 2), describe(shot.pixel(3, shot.height - 4)))
            // The indicator is red: an update is offered.
            const indicator = findChild(page, "stateIndicator")
            const ibox = indicator.mapToItem(window.contentItem, 0, 0)
            const red = count(shot, Math.round(ibox.x), Math.round(ibox.y), Math.round(indicator.width),
                              Math.round(indicator.height), "#E31F40")
            verify(red > 100, "red pixels in the indicator: " + red)
            // The button's gradient ends in #1E8C9F at its right.
            const bbox = button.mapToItem(window.contentItem, button.width - 24, button.height / 2 - 4)
            const teal = count(shot, Math.round(bbox.x), Math.round(bbox.y), 12, 8, "#1E8C9F")
            verify(teal > 20, "button colour pixels: " + teal)
            // The component lines are written in #B4B4B5: their darkest pixels are that grey (the
            // thin light strokes never quite reach it), far from the dark texts above them.
            const lines = findChild(page, "componentLines")
            const first = lines.itemAt(0)
            const last = lines.itemAt(lines.count - 1)
            const top = first.mapToItem(window.contentItem, 0, 0)
            const bottom = last.mapToItem(window.contentItem, 0, last.height)
            let darkest = 255
            for (let y = Math.round(top.y); y < Math.round(bottom.y); ++y) {
                for (let x = Math.round(top.x); x < Math.round(top.x + first.width); ++x)
                    darkest = Math.min(darkest, Math.round(shot.pixel(x, y).r * 255))
            }
            verify(darkest >= 165 && darkest <= 200, "darkest pixel of the component lines: " + darkest)
            // A Torvik beside it: its row goes below the Pelto's; scrolled down to show it.
            const torvik = testUpdates.connectDevice(list, "T0000002", 1, 18)
            testUpdates.reportFirmware(torvik, true, "2.1.0", 0, 0, "1.1.0")
            const rows = findChild(page, "deviceRows")
            tryCompare(rows, "count", 2)
            const flick = findChild(page, "deviceFlick")
            tryVerify(() => flick.contentHeight > flick.height)
            // The rows are made again when the list changes: scroll once they have settled.
            waitForRendering(page)
            const second = rows.itemAt(1)
            // The second row's top at the top of the view (as far as the list scrolls), so its
            // title shows on a small screen too.
            flick.contentY = Math.min(flick.contentHeight - flick.height,
                                      second.mapToItem(flick.contentItem, 0, 0).y)
            waitForRendering(page)
            shot = shoot("device-updates-two-devices")
            const title = findChild(second, "cardTitle")
            compare(title.text, "Torvik")
            const tbox = title.mapToItem(window.contentItem, 0, 0)
            verify(tbox.y > window.applicationMenu.height && tbox.y + title.height < shot.height,
                   "the second row is scrolled into view: " + tbox.y)

            // No version catalogue at all: the up-to-date Torvik is not called up-to-date and
            // neither card names a firmware version; both say the catalogue was not reached.
            const missing = Qt.createQmlObject(
                        "import QtQml; QtObject { property bool catalogueAvailable: false }", root)
            page.catalogue = missing
            const secondText = findChild(second, "progressText")
            tryCompare(secondText, "text", "VERSION CATALOGUE COULD NOT BE REACHED")
            compare(findChild(second, "currentFirmware").text,
                    "CURRENT FIRMWARE:  Unknown (catalogue not reached)")
            waitForRendering(page)
            shot = shoot("device-updates-no-catalogue")
            const pbox = secondText.mapToItem(window.contentItem, 0, 0)
            verify(count(shot, Math.round(pbox.x), Math.round(pbox.y), Math.round(secondText.width),
                         Math.round(secondText.height), "#222A32") > 50)
            page.catalogue = versionControl
            missing.destroy()

            page.updates = HardwareUpdate
            orvFactory.selectedDevice = null
            testUpdates.clear()
            window.viewStack.source = window.viewStack.homeSource
            tryVerify(() => findChild(window.viewStack.currentPage, "tile_Device Updates") !== null)
        }
        // <<< device updates

        function test_4_ipDiscover() {
            const frame = window.applicationMenu.notificationFrame
            frame.close()
            tryCompare(frame, "visible", false)
            orvFactory.selectedDevice = null
            const dialog = window.applicationMenu.discoveryDialog
            dialog.open()
            tryCompare(dialog, "opened", true)
            compare(dialog.addressField.text, "192.168.192.2")
            // The address field has the keys from the start: Enter connects at once.
            tryVerify(() => dialog.addressField.activeFocus, 2000, "the address field has no focus")
            const shot = shoot("ip-discover")
            const centre = dialog.contentItem.mapToItem(window.contentItem, 30, dialog.height / 2)
            verify(near(shot.pixel(centre.x, centre.y), "#FFFFFF", 3), describe(shot.pixel(centre.x, centre.y)))
            orvFactory.insertedAddress = ""
            keyClick(Qt.Key_Return)
            tryCompare(orvFactory, "insertedAddress", "192.168.192.2")
            tryCompare(dialog, "visible", false)
        }

        // >>> Hardware Setup
        // The settings of a Pelto as the device answers them, written from the record layout.
        function setupRecordHex() {
            const bytes = new Array(404).fill(0)
            const put = (offset, text) => {
                for (let i = 0; i < text.length; ++i)
                    bytes[offset + i] = text.charCodeAt(i)
            }
            put(0, "Lab bench 7")
            put(32, "Nimbrel-Lab")
            put(64, "s3cret-pass")
            put(128, "Pelto-P0042137")
            put(160, "pelto-ap-pass")
            bytes[239] = 1
            const address = (offset, parts) => parts.forEach((p, i) => bytes[offset + i] = p)
            address(308, [192, 168, 10, 50])
            address(324, [255, 255, 255, 0])
            address(340, [192, 168, 10, 1])
            return bytes.map(b => (b < 16 ? "0" : "") + b.toString(16)).join("")
        }

        // Pixels close to the error border's #FF2D00 (its antialiased edge on the grey bar
        // included), and nothing of the greys, teal or ink around it.
        function strongRed(shot, x0, y0, w, h) {
            let n = 0
            for (let y = y0; y < y0 + h; ++y) {
                for (let x = x0; x < x0 + w; ++x) {
                    const c = shot.pixel(x, y)
                    if (c.r > 0.85 && c.g < 0.5 && c.b < 0.4)
                        ++n
                }
            }
            return n
        }

        function test_7_hardwareSetup() {
            hwSettingsFeed.attach()
            verify(hwSettingsFeed.answer(setupRecordHex(), "010100"))
            orvFactory.selectedDevice = setupPelto
            // A popup still closing would take the click.
            tryCompare(window.applicationMenu.discoveryDialog, "visible", false)
            tryCompare(window.applicationMenu.notificationFrame, "visible", false)
            const home = window.viewStack.currentPage
            const tile = findChild(home, "tile_Hardware Setup")
            verify(tile !== null)
            mouseClick(tile, tile.width / 2, tile.height / 3)
            tryVerify(() => window.viewStack.currentPage
                      && window.viewStack.currentPage.objectName === "HwSettingsPage", 10000)
            const page = window.viewStack.currentPage
            tryVerify(() => page.panel(0) !== null && page.panel(0).tabView.rowItem(15) !== null)
            const panel = page.panel(0)
            tryCompare(panel.devicePicture, "status", Image.Ready)
            let shot = shoot("hardware-setup")
            // A person clicks into a row's field and types: the field is small, but takes focus
            // and keys; deleting the key again leaves the row unchanged.
            const ssidField = panel.tabView.rowItem(6).field
            mouseClick(ssidField)
            verify(ssidField.activeFocus)
            keyClick(Qt.Key_End)
            keyClick("Q")
            compare(ssidField.text, "Nimbrel-LabQ")
            compare(panel.tabView.rowItem(6).setting.fieldState, 1)
            keyClick(Qt.Key_Backspace)
            compare(panel.tabView.rowItem(6).setting.fieldState, 0)

            // The panel's gradient starts at #E1E1E1 and the rows sit on a white area.
            const top = panel.mapToItem(window.contentItem, panel.width / 2, 1)
            verify(near(shot.pixel(top.x, top.y), "#E1E1E1", 3), describe(shot.pixel(top.x, top.y)))
            const white = panel.mapToItem(window.contentItem, 30, panel.height - 40)
            verify(near(shot.pixel(white.x, white.y), "#FFFFFF", 2), describe(shot.pixel(white.x, white.y)))
            // The row's pill is #F3F3F3 left of its right-aligned title.
            const ssid = panel.tabView.rowItem(6)
            const pill = ssid.mapToItem(window.contentItem, 20, ssid.height / 2)
            verify(near(shot.pixel(pill.x, pill.y), "#F3F3F3", 2), describe(shot.pixel(pill.x, pill.y)))
            // The title is drawn in #1D252F.
            const title = panel.titleText
            const tbox = title.mapToItem(window.contentItem, 0, 0)
            const ink = count(shot, Math.round(tbox.x), Math.round(tbox.y), Math.round(title.width),
                              Math.round(title.height), "#1D252F")
            verify(ink > 40, "title pixels: " + ink)

            // A password too short puts its row in error: a red border, and Apply stays off.
            const password = panel.tabView.rowItem(14)
            const before = password.mapToItem(window.contentItem, 0, 0)
            compare(strongRed(shot, Math.round(before.x), Math.round(before.y),
                              Math.round(password.width), Math.round(password.height)), 0)
            password.field.forceActiveFocus()
            password.field.selectAll()
            for (const ch of "abc")
                keyClick(ch)
            compare(password.setting.fieldState, 2)
            verify(!panel.tabView.applyButton.enabled)
            password.field.focus = false
            shot = shoot("hardware-setup-error")
            const pbox = password.mapToItem(window.contentItem, 0, 0)
            const red = strongRed(shot, Math.round(pbox.x), Math.round(pbox.y),
                                  Math.round(password.width), Math.round(password.height))
            verify(red > 200, "red border pixels: " + red)

            window.viewStack.source = window.viewStack.homeSource
            orvFactory.selectedDevice = null
            hwSettingsFeed.detach()
        }
        // <<< Hardware Setup
        // >>> toolchain list
        // The Global Settings page with three MATLAB releases; an install started there goes on
        // as a notification once the user leaves the page.
        function test_5_globalSettings() {
            const frame = window.applicationMenu.notificationFrame
            tryCompare(frame, "visible", false)
            // A closing dialog's overlay still takes clicks.
            tryCompare(window.applicationMenu.discoveryDialog, "visible", false)
            const tile = findChild(window.viewStack.currentPage, "tile_Global Settings")
            verify(tile !== null)
            mouseClick(tile, tile.width / 2, tile.height / 3)
            tryCompare(window.viewStack, "source", "qrc:/Qml/Settings/GlobalSettings.qml")
            const page = window.viewStack.currentPage
            tryVerify(() => findChild(page, "matlabRow_R2022a") !== null)
            compare(toolchainInstall.installedMatlabs.map(r => r.readableMatlabVersion),
                    ["R2020b", "R2021a", "R2022a"])
            const row = findChild(page, "matlabRow_R2021a")
            mouseClick(findChild(row, "installButton"))
            tryVerify(() => findChild(row, "messageBar").visible)
            const shot = shoot("globalSettings")
            const bar = findChild(row, "versionBar")
            const inBar = bar.mapToItem(window.contentItem, 60 * window.uScale, bar.height / 2)
            verify(near(shot.pixel(inBar.x, inBar.y), "#F3F3F3", 3),
                   describe(shot.pixel(inBar.x, inBar.y)))

            mouseClick(findChild(window.applicationMenu, "backBanner"))
            tryCompare(window.viewStack, "source", window.viewStack.homeSource)
            const installing = () => Notifications.notificationList.filter(
                                     n => n.title === "Installing toolchain in MATLAB R2021a")
            tryVerify(() => installing().length === 1)
            compare(installing()[0].message, "Downloading latest toolchain version.")
            frame.open()
            tryCompare(frame, "opened", true)
            shoot("globalSettings-notification")
            frame.close()
            tryCompare(frame, "visible", false)
        }
        // <<< toolchain list
    }
}
