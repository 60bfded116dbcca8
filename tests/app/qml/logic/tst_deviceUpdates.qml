import QtQuick
import QtTest
import "qrc:/StagingTools/HardwareUpdate/GUI"
import "qrc:/StagingTools/HardwareUpdate/GUI/UpdateRules.js" as Rules

// The "Device Updates" page: its cards by board variant, what a card shows in each update state,
// what its button does, and the page over real update lists fed by real Pelto objects and the
// real version catalogue.
Item {
    id: root

    readonly property int hRef: 1080
    readonly property real uScale: 1
    // The window's system tray, as pages reach it.
    property QtObject sysTray: QtObject {
        property var messages: []
        function showMessage(title, text) { messages = messages.concat([title + " | " + text]) }
    }

    width: 1800
    height: 1000

    Component {
        id: pageComponent
        HardwareUpdates { width: root.width; height: root.height }
    }
    // An update row as the page reads it.
    Component {
        id: rowComponent
        QtObject {
            property int extendedDeviceType: 0
            property int updateState: 0
            property bool updateAvailable: false
            property real updateProgress: -1
            property string progressText: "Device up-to-date"
            property string currentFwVersion: "2.0.0"
            property string latestFwVersion: "2.0.0"
            property var componentVersions: ({})
            property int starts: 0
            function startUpdate() { ++starts }
        }
    }
    Component {
        id: listComponent
        QtObject {
            property var deviceList: []
            property var visibility: []
            function setVisibility(visible) { visibility = visibility.concat([visible]) }
        }
    }
    // The version catalogue as the cards read it.
    Component {
        id: catalogueComponent
        QtObject {
            property bool catalogueAvailable: true
        }
    }
    Component {
        id: factoryComponent
        QtObject {
            property var selectedDevice: null
        }
    }
    Component {
        id: deviceComponent
        QtObject {
            property bool appRunning: false
            property var uploaded: []
            function tempUploadFirmware(url) { uploaded = uploaded.concat([String(url)]) }
        }
    }
    // The binary library knows its binaries by the bytes of their build ids.
    QtObject {
        id: binaries
        function getBinaryNameByBuildID(id) {
            const hex = id instanceof ArrayBuffer
                    ? Array.from(new Uint8Array(id)).map(b => b.toString(16).padStart(2, "0")).join("")
                    : ""
            return hex === "4f2a" ? "Blinky" : hex === "5ea1ed0bff008001" ? "LineFollower" : ""
        }
    }

    TestCase {
        name: "DeviceUpdates"
        when: windowShown

        property bool catalogueLoaded: false

        // A page over one row; `device` is the factory's selected device (null: none).
        function pageWith(rows, device, catalogueAvailable) {
            const factory = createTemporaryObject(factoryComponent, root, { selectedDevice: device })
            const list = Array.isArray(rows)
                    ? createTemporaryObject(listComponent, root, { deviceList: rows }) : rows
            const catalogue = createTemporaryObject(catalogueComponent, root, {
                catalogueAvailable: catalogueAvailable === undefined ? true : catalogueAvailable })
            const page = createTemporaryObject(pageComponent, root,
                                               { updates: list, factory: factory, binaries: binaries,
                                                 catalogue: catalogue })
            verify(page)
            tryCompare(page, "status", Loader.Ready)
            return page
        }
        function row(values) {
            return createTemporaryObject(rowComponent, root, values)
        }
        function idleDevice() {
            return createTemporaryObject(deviceComponent, root)
        }
        function shown(item) {
            for (let it = item; it; it = it.parent) {
                if (!it.visible)
                    return false
            }
            return true
        }
        function card(page) {
            const found = findChild(page, "card_Pelto")
            verify(found, "the device's card")
            return found
        }
        function part(page, name) {
            const found = findChild(card(page), name)
            verify(found, name)
            return found
        }

        function cleanup() {
            testUpdates.clear()
        }

        function test_cards_data() {
            const base = "qrc:/Images/GUI/Hardware Updates/ProductImages/"
            return [
                { tag: "Pelto", type: 0, cards: "Pelto,Tarnel,Tarnel,Tarnel,Tarnel", name: "Pelto",
                  image: base + "Pelto.png" },
                { tag: "Industrial", type: 10, cards: "Pelto,Tarnel,Tarnel,Tarnel,Tarnel", name: "Pelto",
                  image: base + "Pelto.png" },
                { tag: "Torvik", type: 13, cards: "Pelto", name: "Torvik", image: "qrc:/Images/Torvik.png" },
                { tag: "Torvik 1.2", type: 19, cards: "Pelto", name: "Torvik", image: "qrc:/Images/Torvik.png" },
                { tag: "Torvik 1.2.1", type: 20, cards: "Pelto", name: "Torvik", image: "qrc:/Images/Torvik.png" },
                { tag: "Torvik 1.3", type: 18, cards: "Pelto", name: "Torvik", image: "qrc:/Images/Torvik_1.3.png" },
                { tag: "Torvik 1.4", type: 21, cards: "Pelto", name: "Torvik", image: "qrc:/Images/Torvik_1.4.png" },
                { tag: "Torvik 1.5", type: 23, cards: "Pelto", name: "Torvik", image: "qrc:/Images/Torvik_1.5.png" },
                { tag: "Sorvyn", type: 16, cards: "Pelto", name: "Sorvyn", image: "qrc:/Images/Sorvyn.png" },
                { tag: "Quintar", type: 22, cards: "Pelto", name: "Quintar", image: "qrc:/Images/Quintar.png" },
            ]
        }
        // The pictures are real resources: a card never shows an empty frame.
        function test_cards(data) {
            const cards = Rules.cardsFor(data.type)
            compare(cards.map(c => c.type).join(","), data.cards)
            compare(cards[0].typeName, data.name)
            compare(cards[0].image, data.image)
            const page = pageWith([row({ extendedDeviceType: data.type })], null)
            compare(part(page, "cardTitle").text, data.name)
            tryCompare(part(page, "productImage"), "status", Image.Ready)
            if (cards.length > 1) {
                const slots = findChild(page, "deviceRows").itemAt(0).children
                let faded = 0
                for (let i = 0; i < slots.length; ++i)
                    faded += slots[i].objectName === "card_Tarnel" && slots[i].opacity === 0.2 ? 1 : 0
                compare(faded, 4)
            }
        }

        function test_componentLines_data() {
            return [
                { tag: "named build", versions: { "Application": "1.2.0", "Application ID": "4f2a",
                                                  "PeltoOS": "1.4.0", "PeltoWireless": "1.1.0" },
                  lines: ["Application Version: 1.2.0", "Application Name: Blinky",
                          "Fendral Version: 1.4.0", "ESP FW Version: 1.1.0"] },
                { tag: "unknown build", versions: { "Application ID": "99" },
                  lines: ["Application Name: Not Available: could not match installed app with locally available apps"] },
                { tag: "Torvik and a name", versions: { "Application Name": "<b>Blinky</b>", "TorvikOS": "3.0.1" },
                  lines: ["Application Name: <b>Blinky</b>", "Fendral Version: 3.0.1"] },
            ]
        }
        // Texts from the device are shown as typed, never as markup.
        function test_componentLines(data) {
            const page = pageWith([row({ componentVersions: data.versions })], null)
            const lines = findChild(card(page), "componentLines")
            compare(lines.count, data.lines.length)
            for (let i = 0; i < lines.count; ++i) {
                const line = lines.itemAt(i)
                compare(line.children[0].text + " " + line.children[1].text, data.lines[i])
                compare(line.children[1].textFormat, Text.PlainText)
                verify(line.children[1].font.italic)
                compare(String(line.children[1].color), "#b4b4b5")
            }
        }

        function test_cardPerState_data() {
            return [
                { tag: "0 up to date", state: 0, available: false, device: "idle", button: false,
                  text: "Reflash", red: false, error: false, stop: false },
                { tag: "1 update", state: 1, available: true, device: "idle", button: true,
                  text: "Update", red: true, error: false, stop: false },
                { tag: "1 app running", state: 1, available: true, device: "running", button: false,
                  text: "Update", red: true, error: false, stop: true },
                { tag: "1 nothing selected", state: 1, available: true, device: "none", button: false,
                  text: "Update", red: true, error: false, stop: false },
                { tag: "2 restart after upload", state: 2, available: false, device: "idle",
                  button: false, text: "Reflash", red: false, error: false, stop: false },
                { tag: "3 downloading", state: 3, available: true, device: "idle", button: false,
                  text: "Update", red: true, error: false, stop: false },
                { tag: "4 uploading", state: 4, available: true, device: "running", button: false,
                  text: "Update", red: true, error: false, stop: false },
                { tag: "5 verifying", state: 5, available: false, device: "idle", button: false,
                  text: "Reflash", red: false, error: false, stop: false },
                { tag: "6 failed", state: 6, available: false, device: "idle", button: true,
                  text: "Reflash", red: false, error: true, stop: false },
                { tag: "6 failed, app running", state: 6, available: true, device: "running",
                  button: false, text: "Update", red: true, error: true, stop: true },
                { tag: "7 restarting", state: 7, available: false, device: "idle", button: false,
                  text: "Reflash", red: false, error: false, stop: false },
            ]
        }
        function test_cardPerState(data) {
            let device = null
            if (data.device !== "none")
                device = createTemporaryObject(deviceComponent, root,
                                               { appRunning: data.device === "running" })
            const page = pageWith([row({ updateState: data.state, updateAvailable: data.available })],
                                  device)
            const button = part(page, "updateButton")
            compare(shown(button), data.button)
            compare(button.text, data.text)
            compare(shown(part(page, "errorText")), data.error)
            compare(shown(part(page, "stopHint")), data.stop)
            const indicator = part(page, "stateIndicator")
            verify(shown(indicator))
            verify(String(indicator.source).endsWith(data.red ? "IndicatorRed.png" : "IndicatorGreen.png"))
        }

        function test_progress_data() {
            return [
                { tag: "never set", progress: 0, text: false, ring: false },
                { tag: "none", progress: -1, text: true, ring: false },
                { tag: "three quarters", progress: 0.75, text: true, ring: true },
            ]
        }
        function test_progress(data) {
            const page = pageWith([row({ updateProgress: data.progress, progressText: "Verifying firmware" })],
                                  null)
            compare(shown(part(page, "progressText")), data.text)
            compare(part(page, "progressText").text, "VERIFYING FIRMWARE")
            compare(shown(part(page, "progressRing")), data.ring)
            compare(shown(part(page, "stateIndicator")), !data.ring)
            if (data.ring)
                compare(part(page, "progressRing").progress, data.progress)
        }

        // Without any version catalogue the card claims neither a version nor an up-to-date
        // device: it says the catalogue could not be reached, and says so no longer once it is.
        function test_noCatalogue() {
            const page = pageWith([row({ updateState: Rules.NoUpdateAvailable,
                                         progressText: "Device up-to-date",
                                         currentFwVersion: "Unknown version" })], idleDevice(), false)
            compare(part(page, "progressText").text, "VERSION CATALOGUE COULD NOT BE REACHED")
            compare(part(page, "currentFirmware").text,
                    "CURRENT FIRMWARE:  Unknown (catalogue not reached)")
            page.catalogue.catalogueAvailable = true
            compare(part(page, "progressText").text, "DEVICE UP-TO-DATE")
            compare(part(page, "currentFirmware").text, "CURRENT FIRMWARE:  Unknown version")
        }

        function test_buttonStartsTheUpdate() {
            const entry = row({ updateState: Rules.UpdateAvailable, updateAvailable: true })
            const page = pageWith([entry], idleDevice())
            const button = part(page, "updateButton")
            waitForRendering(page)
            mouseClick(button)
            compare(entry.starts, 1)
        }

        // The rows hear whether the page shows them: on loading and on every change.
        function test_visibilityReachesTheList() {
            const list = createTemporaryObject(listComponent, root, { deviceList: [] })
            const page = pageWith(list, null)
            compare(list.visibility, [true])
            page.visible = false
            page.visible = true
            compare(list.visibility, [true, false, true])
        }

        // Halvex devices get no row: the page says no device is connected.
        function test_noDevice() {
            const list = testUpdates.makeList()
            testUpdates.connectDevice(list, "H0001", 2, 0)
            compare(list.deviceList.length, 0)
            const page = pageWith(list, null)
            verify(shown(findChild(page, "noDeviceText")))
            testUpdates.connectDevice(list, "P0001", 1, 0)
            tryVerify(() => !shown(findChild(page, "noDeviceText")))
        }

        function test_realRow_data() {
            return [
                { tag: "both outdated", osVerified: true, os: "1.3.0", boot: 0, left: 0, wireless: "1.0.0",
                  text: "NEW UPDATE AVAILABLE", current: "1.0.0", red: true, button: "Update", ring: 0 },
                { tag: "wireless outdated", osVerified: true, os: "1.4.0", boot: 0, left: 0, wireless: "1.0.0",
                  text: "NEW UPDATE AVAILABLE", current: "Unknown version", red: true, button: "Update", ring: 0 },
                { tag: "latest", osVerified: true, os: "1.4.0", boot: 0, left: 0, wireless: "1.1.0",
                  text: "DEVICE UP-TO-DATE", current: "2.0.0", red: false, button: "", ring: 0 },
                { tag: "newer than the catalogue", osVerified: true, os: "1.5.0", boot: 0, left: 0,
                  wireless: "1.1.0", text: "DEVICE UP-TO-DATE", current: "Unknown version", red: false,
                  button: "", ring: 0 },
                { tag: "verifying", osVerified: false, os: "1.3.0", boot: 20, left: 5, wireless: "1.0.0",
                  text: "VERIFYING FIRMWARE", current: "", red: false, button: "", ring: 0.75 },
            ]
        }
        // A real Pelto reports its versions to a real update row; the catalogue says what is new.
        function loadCatalogue() {
            if (catalogueLoaded)
                return
            verify(testUpdates.loadCatalogue(JSON.stringify({
                "Version": 1,
                "Devices": { "Pelto": { "LatestVersion": "2.0.0", "Versions": {
                    "1.0.0": { "PeltoOS": "1.3.0", "PeltoWireless": "1.0.0" },
                    "2.0.0": { "PeltoOS": "1.4.0", "PeltoWireless": "1.1.0" } } } },
                "Components": {} })))
            catalogueLoaded = true
        }

        function test_realRow(data) {
            loadCatalogue()
            const list = testUpdates.makeList()
            const pelto = testUpdates.connectDevice(list, "P0042137", 1, 0)
            const page = pageWith(list, idleDevice())
            testUpdates.reportFirmware(pelto, data.osVerified, data.os, data.boot, data.left, data.wireless)
            tryCompare(part(page, "progressText"), "text", data.text)
            if (data.current !== "")
                compare(part(page, "currentFirmware").text, "CURRENT FIRMWARE:  " + data.current)
            compare(shown(part(page, "progressRing")), data.ring > 0)
            if (data.ring > 0) {
                compare(part(page, "progressRing").progress, data.ring)
            } else {
                verify(String(part(page, "stateIndicator").source)
                       .endsWith(data.red ? "IndicatorRed.png" : "IndicatorGreen.png"))
                compare(part(page, "latestVersionTip").buttonToolTip, "Latest firmware version:  2.0.0")
            }
            const button = part(page, "updateButton")
            compare(shown(button), data.button !== "")
            if (data.button !== "")
                compare(button.text, data.button)
        }

        // The build id a Pelto reports is raw bytes, most of them no valid UTF-8: the card still
        // finds the binary the library knows by those bytes.
        function test_applicationOfTheDevice() {
            const list = testUpdates.makeList()
            const pelto = testUpdates.connectDevice(list, "P0042137", 1, 0)
            const page = pageWith(list, null)
            testUpdates.reportApplication(pelto, "1.2.0", "5ea1ed0bff008001")
            const lines = findChild(card(page), "componentLines")
            tryCompare(lines, "count", 2)
            compare(lines.itemAt(0).children[0].text + " " + lines.itemAt(0).children[1].text,
                    "Application Version: 1.2.0")
            compare(lines.itemAt(1).children[0].text + " " + lines.itemAt(1).children[1].text,
                    "Application Name: LineFollower")
        }

        // "Update" on the card of the simulated Pelto starts the row's update: the row asks the
        // storage for the firmware, which is out of reach here, reports the failure and offers the
        // update again.
        function test_updateButtonWithTheSimulatedPelto() {
            loadCatalogue()
            const list = testUpdates.makeList()
            const page = pageWith(list, idleDevice())
            verify(testUpdates.connectSimulatedPelto(list, [
                "--state", "fw_version=1.3.0", "--state", "esp_version=1.0.0", "--heartbeat-ms", "200"]))
            tryVerify(() => list.deviceList.length === 1, 30000)
            const button = part(page, "updateButton")
            tryVerify(() => shown(button), 20000)
            compare(button.text, "Update")
            function failures() {
                return Notifications.notificationList.filter(n => n.origin === "Device updater"
                        && n.title === "Firmware update failed"
                        && n.message === "Firmware file could not be download").length
            }
            const before = failures()
            waitForRendering(page)
            mouseClick(button)
            tryVerify(() => failures() === before + 1, 30000)
            tryCompare(part(page, "progressText"), "text", "NEW UPDATE AVAILABLE")
            verify(shown(button))
        }

        // Two devices: each gets a row of its own, one under the other.
        function test_rowsDoNotOverlap() {
            const list = testUpdates.makeList()
            const pelto = testUpdates.connectDevice(list, "P0000001", 1, 0)
            testUpdates.connectDevice(list, "T0000002", 1, 18)
            const page = pageWith(list, idleDevice())
            // The first card with all it can show: an offered update, its versions and an
            // application the library does not know.
            testUpdates.reportFirmware(pelto, true, "1.3.0", 0, 0, "1.0.0")
            testUpdates.reportApplication(pelto, "1.2.0-rc.1+build.20260112", "77")
            const rows = findChild(page, "deviceRows")
            compare(rows.count, 2)
            const first = rows.itemAt(0)
            const second = rows.itemAt(1)
            const button = findChild(first, "updateButton")
            tryVerify(() => shown(button))
            // The card lays out its texts and the button below them.
            tryVerify(() => button.y > 0)
            const buttonBottom = button.mapToItem(second.parent, 0, button.height).y
            verify(second.y >= first.y + first.height,
                   "second row at " + second.y + ", first ends at " + (first.y + first.height))
            // The first row holds its whole card, so nothing of it reaches into the second.
            verify(buttonBottom <= first.y + first.height,
                   "the first card's button ends at " + buttonBottom + ", its row at "
                   + (first.y + first.height))
            compare(findChild(second, "cardTitle").text, "Torvik")
            verify(String(findChild(second, "productImage").source).endsWith("Torvik_1.3.png"))
        }

        function test_customFirmwareShortcut() {
            const device = createTemporaryObject(deviceComponent, root, { appRunning: true })
            const page = pageWith([row({})], device)
            page.forceActiveFocus()
            sysTray.messages = []
            keyClick(Qt.Key_Backspace, Qt.ControlModifier | Qt.ShiftModifier | Qt.AltModifier)
            compare(sysTray.messages, ["Custom firmware utility | Please stop the application on your pelto before flashing custom firmware"])
            verify(!page.firmwareDialog.active)
            // Without a selected device there is nothing to flash.
            page.factory.selectedDevice = null
            keyClick(Qt.Key_Backspace, Qt.ControlModifier | Qt.ShiftModifier | Qt.AltModifier)
            compare(sysTray.messages.length, 1)
            verify(!page.firmwareDialog.active)
            // An idle device: the file dialog of the custom firmware.
            device.appRunning = false
            page.factory.selectedDevice = device
            keyClick(Qt.Key_Backspace, Qt.ControlModifier | Qt.ShiftModifier | Qt.AltModifier)
            verify(page.firmwareDialog.active)
            const dialog = page.firmwareDialog.item
            tryCompare(dialog, "visible", true)
            dialog.close()
            // The chosen file goes to the selected device; the dialog starts in its folder next time.
            // (Any existing file will do: "All files" are offered too.)
            const chosen = String(Qt.resolvedUrl("tst_deviceUpdates.qml"))
            dialog.selectedFile = chosen
            dialog.accepted()
            compare(device.uploaded, [chosen])
            compare(String(dialog.currentFolder), chosen.substring(0, chosen.lastIndexOf("/")))
            compare(dialog.title, "Choose custom firmware")
            compare(dialog.acceptLabel, "Flash Firmware")
            compare(dialog.nameFilters, ["Nimbrel Lab files(*.fwb *.feb)", "All files (*)"])
        }
    }
}
