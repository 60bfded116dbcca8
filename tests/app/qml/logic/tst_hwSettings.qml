import QtQuick
import QtTest
import "qrc:/StagingTools/HardwareSettings/GUI"

// The Hardware Setup page against the real settings framework and the Pelto's Wi-Fi settings back
// end, which the test feeds with device answers (hwSettingsFeed). The records are written here
// from the record layout, not by the code under test.
Item {
    id: root

    readonly property int hRef: 1080
    readonly property real uScale: 1
    readonly property real frameBorderWidth: 9

    width: 1200
    height: 1000

    QtObject {
        id: fakeDevice
        property string serialNumber: "P0042137"
        property int extendedDeviceType: 12
        property string ipAddress: "192.168.4.1"
        property bool peltoMscState: false
        property var mscCalls: []
        function setPeltoMscState(on) {
            mscCalls.push(on)
        }
    }
    QtObject {
        id: fakeFactory
        property var selectedDevice: fakeDevice
    }

    Component {
        id: pageComponent
        HwSettings {}
    }
    Component {
        id: textComponent
        Text {}
    }

    TestCase {
        id: testCase
        name: "HardwareSetup"
        when: windowShown

        property var page: null

        // ---- the device's records, written from the layout -------------------------------
        readonly property var layout: ({ name: 0, stationSsid: 32, stationPassword: 64,
                                         apSsid: 128, apPassword: 160, hidden: 239,
                                         staticIp: 308, staticMask: 324, gateway: 340 })

        function putText(bytes, offset, text) {
            for (let i = 0; i < text.length; ++i)
                bytes[offset + i] = text.charCodeAt(i)
        }
        function putAddress(bytes, offset, dotted) {
            if (dotted === "")
                return
            const parts = dotted.split(".")
            for (let i = 0; i < 4; ++i)
                bytes[offset + i] = Number(parts[i])
        }
        function hex(bytes) {
            return bytes.map(b => (b < 16 ? "0" : "") + b.toString(16)).join("")
        }
        function record(values) {
            const v = Object.assign({ name: "Lab bench 7", stationSsid: "Nimbrel-Lab",
                                      stationPassword: "s3cret-pass", apSsid: "Pelto-P0042137",
                                      apPassword: "pelto-ap-pass", hidden: 1,
                                      staticIp: "192.168.10.50", staticMask: "255.255.255.0",
                                      gateway: "192.168.10.1" }, values || {})
            const bytes = new Array(404).fill(0)
            // Bytes the host does not interpret must come back as they were.
            bytes[230] = 0xA5
            bytes[300] = 0x5A
            bytes[403] = 0x7E
            for (const key of ["name", "stationSsid", "stationPassword", "apSsid", "apPassword"])
                putText(bytes, layout[key], v[key])
            bytes[layout.hidden] = v.hidden
            for (const key of ["staticIp", "staticMask", "gateway"])
                putAddress(bytes, layout[key], v[key])
            return bytes
        }
        // Wi-Fi enabled, access-point mode, station mode.
        readonly property string stateHex: "010100"

        // ---- the page ---------------------------------------------------------------------
        function panel() {
            return page.panel(0)
        }
        function row(index) {
            return panel().tabView.rowItem(index)
        }
        function typeInto(index, text) {
            const field = row(index).field
            field.forceActiveFocus()
            field.selectAll()
            keyClick(Qt.Key_Delete)
            for (const ch of text)
                keyClick(ch)
        }

        function init() {
            fakeDevice.serialNumber = "P0042137"
            fakeDevice.extendedDeviceType = 12
            fakeDevice.ipAddress = "192.168.4.1"
            fakeDevice.peltoMscState = false
            fakeDevice.mscCalls = []
            fakeFactory.selectedDevice = fakeDevice
            hwSettingsFeed.attach()
            hwSettingsFeed.clearCounts()
            page = pageComponent.createObject(root, { factory: fakeFactory,
                                                      width: root.width, height: root.height })
            verify(page !== null)
            verify(hwSettingsFeed.answer(hex(record()), stateHex))
            tryVerify(() => page.panel(0) !== null && row(15) !== null)
        }

        function cleanup() {
            if (page)
                page.destroy()
            page = null
            hwSettingsFeed.detach()
            wait(0)
        }

        function test_rowsShowTheRecord_data() {
            return [
                { tag: "general section", index: 0, kind: "HwSetting_SectionName", shown: false },
                { tag: "device name", index: 1, kind: "HwSetting_String", shown: false },
                { tag: "wifi section", index: 2, kind: "HwSetting_SectionName", shown: false },
                { tag: "wifi enabled", index: 3, kind: "HwSetting_Bool", shown: true,
                  title: "Wi-Fi enabled", checked: true },
                { tag: "station heading", index: 4, kind: "HwSetting_SubSectionName", shown: true,
                  heading: "Connect to access point mode (2.4 Ghz)" },
                { tag: "station enabled", index: 5, kind: "HwSetting_Bool", shown: true,
                  title: "Enabled", checked: false },
                { tag: "station ssid", index: 6, kind: "HwSetting_String", shown: true,
                  title: "SSID", text: "Nimbrel-Lab", masked: false },
                { tag: "station password", index: 7, kind: "HwSetting_String", shown: true,
                  title: "Password", text: "s3cret-pass", masked: true },
                { tag: "static ip", index: 8, kind: "HwSetting_IpAddress", shown: true,
                  title: "Static IP", text: "192.168.10.50" },
                { tag: "subnet mask", index: 9, kind: "HwSetting_IpAddress", shown: true,
                  title: "Static subnet mask", text: "255.255.255.0" },
                { tag: "gateway", index: 10, kind: "HwSetting_IpAddress", shown: true,
                  title: "Gateway", text: "192.168.10.1" },
                { tag: "access point heading", index: 11, kind: "HwSetting_SubSectionName",
                  shown: true, heading: "Access point mode" },
                { tag: "access point enabled", index: 12, kind: "HwSetting_Bool", shown: true,
                  title: "Enabled", checked: true },
                { tag: "access point ssid", index: 13, kind: "HwSetting_String", shown: true,
                  title: "SSID", text: "Pelto-P0042137", masked: false },
                { tag: "access point password", index: 14, kind: "HwSetting_String", shown: true,
                  title: "Password", text: "pelto-ap-pass", masked: true },
                { tag: "hidden ssid", index: 15, kind: "HwSetting_Bool", shown: true,
                  title: "Hidden SSID", checked: true }
            ]
        }
        function test_rowsShowTheRecord(data) {
            const item = row(data.index)
            compare(item.objectName, data.kind)
            compare(item.visible, data.shown)
            if (!data.shown) {
                compare(item.height, 0)
                return
            }
            verify(item.height > 0)
            if (data.title !== undefined)
                compare(item.titleItem.text, data.title)
            if (data.heading !== undefined)
                compare(findChild(item, "sectionText").text, data.heading)
            if (data.checked !== undefined)
                compare(item.toggle.checked, data.checked)
            if (data.text !== undefined)
                compare(item.field.text, data.text)
            if (data.masked !== undefined)
                compare(item.field.echoMode, data.masked ? TextInput.Password : TextInput.Normal)
        }

        function test_passwordShownOnlyWhileEdited() {
            const field = row(14).field
            compare(field.echoMode, TextInput.Password)
            compare(field.placeholderText, "Please enter a password")
            field.forceActiveFocus()
            compare(field.echoMode, TextInput.Normal)
            row(13).field.forceActiveFocus()
            compare(field.echoMode, TextInput.Password)
        }

        function test_editMarksRowAndTypingBackClearsIt() {
            const ssid = row(6)
            const apply = panel().tabView.applyButton
            verify(!apply.enabled)
            verify(Qt.colorEqual(ssid.border.color, "transparent"), String(ssid.border.color))
            typeInto(6, "Lab-2")
            compare(ssid.setting.fieldState, 1)
            verify(Qt.colorEqual(ssid.border.color, "#126be0"), String(ssid.border.color))
            verify(apply.enabled)
            typeInto(6, "Nimbrel-Lab")
            compare(ssid.setting.fieldState, 0)
            verify(Qt.colorEqual(ssid.border.color, "transparent"), String(ssid.border.color))
            verify(!apply.enabled)
        }

        // Apply stays off while any row is in error, whatever else changed.
        function test_applyDisabledWhileRowInError_data() {
            return [
                { tag: "short password", edits: [[14, "short"]], errors: [14], apply: false },
                { tag: "ssid changed, short password", edits: [[6, "Lab-2"], [14, "short"]],
                  errors: [14], apply: false },
                { tag: "ssid changed, long password", edits: [[6, "Lab-2"], [14, "long-enough"]],
                  errors: [], apply: true },
                { tag: "address out of range", edits: [[10, "192.168.10.256"]], errors: [10],
                  apply: false },
                { tag: "mask cleared, others set", edits: [[9, ""]], errors: [9], apply: false },
                { tag: "switch toggled, mask cleared", toggles: [15], edits: [[9, ""]],
                  errors: [9], apply: false },
                { tag: "all three addresses cleared", edits: [[8, ""], [9, ""], [10, ""]],
                  errors: [], apply: true },
                { tag: "switch toggled", toggles: [15], edits: [], errors: [], apply: true }
            ]
        }
        function test_applyDisabledWhileRowInError(data) {
            for (const index of data.toggles || [])
                mouseClick(row(index).toggle)
            for (const edit of data.edits)
                typeInto(edit[0], edit[1])
            for (let i = 3; i <= 15; ++i) {
                const item = row(i)
                if (!item.setting || item.objectName === "HwSetting_SubSectionName")
                    continue
                const inError = data.errors.indexOf(i) >= 0
                compare(item.setting.fieldState === 2, inError, "row " + i)
                if (inError && item.objectName !== "HwSetting_Bool")
                    verify(Qt.colorEqual(item.border.color, "#FF2D00"), "border of row " + i + " " + item.border.color)
            }
            const apply = panel().tabView.applyButton
            compare(apply.enabled, data.apply)
            // A disabled Apply sends nothing when pressed.
            mouseClick(apply)
            wait(50)
            compare(hwSettingsFeed.settingsWrites + hwSettingsFeed.stateWrites,
                    data.apply ? 1 : 0)
        }

        function test_applySendsTheEditedRecord() {
            typeInto(6, "Lab-2")
            typeInto(8, "10.0.0.9")
            mouseClick(row(15).toggle)
            mouseClick(panel().tabView.applyButton)
            tryCompare(hwSettingsFeed, "settingsWrites", 1)
            compare(hwSettingsFeed.lastSettingsHex,
                    hex(record({ stationSsid: "Lab-2", staticIp: "10.0.0.9", hidden: 0 })))
            compare(hwSettingsFeed.stateWrites, 0)
            // The device is asked for what it stored, and the rows settle.
            tryCompare(hwSettingsFeed, "settingsQueries", 1)
            tryCompare(row(6).setting, "fieldState", 0)
            verify(!panel().tabView.applyButton.enabled)
        }

        function test_refreshAsksAgainAndRevertsRows() {
            typeInto(6, "Lab-2")
            typeInto(14, "short")
            verify(!panel().tabView.applyButton.enabled)
            mouseClick(panel().tabView.refreshButton)
            tryCompare(hwSettingsFeed, "settingsQueries", 1)
            compare(hwSettingsFeed.stateQueries, 1)
            tryCompare(row(6).setting, "fieldState", 0)
            compare(row(14).setting.fieldState, 0)
            // The fields show the accepted texts again, not what was typed.
            compare(row(6).field.text, "Nimbrel-Lab")
            compare(row(14).field.text, "pelto-ap-pass")
            verify(Qt.colorEqual(row(6).border.color, "transparent"), String(row(6).border.color))
            // The device's answer rebuilds the rows from its record.
            verify(hwSettingsFeed.answer(hex(record({ stationSsid: "Office" })), stateHex))
            tryCompare(row(6).field, "text", "Office")
        }

        function test_localAddress_data() {
            return [
                { tag: "address", ip: "192.168.4.1", text: "192.168.4.1", copy: true },
                { tag: "empty", ip: "", text: "No assigned IP", copy: false },
                { tag: "blanks", ip: "   ", text: "No assigned IP", copy: false },
                { tag: "no device", device: false, text: "", copy: false }
            ]
        }
        function test_localAddress(data) {
            if (data.device === false)
                fakeFactory.selectedDevice = null
            else
                fakeDevice.ipAddress = data.ip
            const label = panel().localIpLabel
            compare(label.text, data.text)
            compare(label.copyButton.visible, data.copy)
        }

        function test_massStorageSwitchRestsAfterToggle() {
            const toggle = panel().massStorageSwitch
            verify(toggle.enabled)
            mouseClick(toggle)
            compare(fakeDevice.mscCalls, [true])
            fakeDevice.peltoMscState = true
            verify(!toggle.enabled)
            // Timers never fire early: 1.5 s in, the switch still rests.
            wait(1500)
            verify(!toggle.enabled)
            mouseClick(toggle)
            compare(fakeDevice.mscCalls, [true])
            tryVerify(() => toggle.enabled, 3000)
            mouseClick(toggle)
            compare(fakeDevice.mscCalls, [true, false])
        }

        // The device may not follow a toggle; once the switch is free it shows the device again.
        function test_massStorageSwitchFollowsDevice_data() {
            return [
                { tag: "device follows", follows: true, checked: true },
                { tag: "device stays out", follows: false, checked: false }
            ]
        }
        function test_massStorageSwitchFollowsDevice(data) {
            panel().massStorageLockMs = 200
            const toggle = panel().massStorageSwitch
            mouseClick(toggle)
            compare(fakeDevice.mscCalls, [true])
            if (data.follows)
                fakeDevice.peltoMscState = true
            tryVerify(() => toggle.enabled, 3000)
            compare(toggle.checked, data.checked)
            // The switch still follows the device afterwards.
            fakeDevice.peltoMscState = !data.checked
            compare(toggle.checked, !data.checked)
        }

        function test_massStorageSwitchNeedsDevice() {
            fakeFactory.selectedDevice = null
            verify(!panel().massStorageSwitch.enabled)
        }

        function test_devicePicture_data() {
            return [
                { tag: "Torvik", type: 13, source: "qrc:/Images/Torvik.png", width: 222 },
                { tag: "Torvik_v1_2", type: 19, source: "qrc:/Images/Torvik.png", width: 222 },
                { tag: "Torvik_v1_2_1", type: 20, source: "qrc:/Images/Torvik.png", width: 222 },
                { tag: "Torvik_v1_3", type: 18, source: "qrc:/Images/Torvik_1.3.png", width: 222 },
                { tag: "Torvik_v1_4", type: 21, source: "qrc:/Images/Torvik_1.4.png", width: 222 },
                { tag: "Torvik_v1_5", type: 23, source: "qrc:/Images/Torvik_1.5.png", width: 222 },
                { tag: "Sorvyn", type: 16, source: "qrc:/Images/Sorvyn.png", width: 222 },
                { tag: "PeltoDevboard", type: 12, source: "qrc:/Images/Pelto.png", width: 177 },
                { tag: "NoShield", type: 0, source: "qrc:/Images/Pelto.png", width: 177 },
                { tag: "Pelto_CES", type: 17, source: "qrc:/Images/Pelto.png", width: 177 },
                { tag: "ReadError", type: -1, source: "qrc:/Images/Pelto.png", width: 177 }
            ]
        }
        function test_devicePicture(data) {
            fakeDevice.extendedDeviceType = data.type
            const picture = panel().devicePicture
            compare(String(picture.source), data.source)
            compare(picture.width, data.width)
            // The picture is among the resources and shows.
            tryCompare(picture, "status", Image.Ready)
            // Aspect kept, right edge 62 from the picture column's right edge.
            fuzzyCompare(picture.height / picture.width,
                         picture.sourceSize.height / picture.sourceSize.width, 0.01)
            fuzzyCompare(picture.x + picture.width, 346 - 62, 0.5)
        }

        function test_serialNumberShownAsTyped() {
            fakeDevice.serialNumber = "<b>P1</b> &amp; x"
            const title = panel().titleText
            compare(title.text, "Selected serial number: <b>P1</b> &amp; x")
            const plain = textComponent.createObject(root, {
                text: title.text, textFormat: Text.PlainText, font: title.font })
            const rich = textComponent.createObject(root, {
                text: title.text, textFormat: Text.RichText, font: title.font })
            const plainWidth = plain.implicitWidth
            const richWidth = rich.implicitWidth
            plain.destroy()
            rich.destroy()
            // Premise: read as markup, the text would be visibly shorter.
            verify(richWidth < plainWidth - 10, richWidth + " vs " + plainWidth)
            fuzzyCompare(title.implicitWidth, plainWidth, 0.5)
        }

        function test_pageAsksDeviceWhenShown() {
            compare(hwSettingsFeed.visibility, [true])
            page.visible = false
            page.visible = true
            compare(hwSettingsFeed.visibility, [true, false, true])
        }

        function test_noPeltoNoPanel() {
            compare(page.panels.count, 1)
            hwSettingsFeed.detach()
            tryCompare(page.panels, "count", 0)
        }
    }
}
