import QtQuick
import QtTest
import "qrc:/StagingTools/HardwareSettings/GUI"

// The Hardware Setup page over the real settings back end and a simulated Pelto on loopback: the
// page shows the record the device holds, and Apply makes the device store exactly the record
// the independent fixture writer (Python's struct) makes from the same edit.
Item {
    id: root

    readonly property int hRef: 1080
    readonly property real uScale: 1
    readonly property real frameBorderWidth: 9

    width: 1200
    height: 1000

    QtObject {
        id: factory
        property var selectedDevice: null
    }
    Component {
        id: pageComponent
        HwSettings {}
    }

    TestCase {
        name: "HardwareSetupOnDevice"
        when: windowShown

        property var page: null
        readonly property var fields: ["name=Lab bench 7", "sta_ssid=Nimbrel-Lab",
            "sta_password=s3cret-pass", "ap_ssid=Pelto-P0042137", "ap_password=pelto-ap-pass",
            "hidden=1", "static_ip=192.168.10.50", "static_mask=255.255.255.0",
            "gateway=192.168.10.1"]

        function row(index) {
            const panel = page ? page.panel(0) : null
            return panel ? panel.tabView.rowItem(index) : null
        }

        function cleanupTestCase() {
            if (page)
                page.destroy()
            page = null
            factory.selectedDevice = null
            wait(0)
            hwSettingsFeed.disconnectSimulatedPelto()
        }

        function test_editAppliedToDevice() {
            // The device's record, and a copy the expected result is made from.
            const deviceFile = hwSettingsFeed.tempPath("device-wifi.bin")
            const original = hwSettingsFeed.tempPath("original-wifi.bin")
            const expected = hwSettingsFeed.tempPath("expected-wifi.bin")
            for (const file of [deviceFile, original])
                verify(hwSettingsFeed.recordFixture(["write", file, "--seed", "7"].concat(fields)))
            compare(hwSettingsFeed.fileHex(deviceFile), hwSettingsFeed.fileHex(original))

            verify(hwSettingsFeed.connectSimulatedPelto(["--serial", "P0042137", "--wifi-settings",
                                                         deviceFile, "--heartbeat-ms", "200"]))
            tryVerify(() => hwSettingsFeed.simulatedPelto() !== null, 30000)
            factory.selectedDevice = hwSettingsFeed.simulatedPelto()
            page = pageComponent.createObject(root, { factory: factory, width: root.width,
                                                      height: root.height })
            tryVerify(() => row(15) !== null, 20000)
            compare(page.panel(0).titleText.text, "Selected serial number: P0042137")
            compare(row(6).field.text, "Nimbrel-Lab")
            compare(row(8).field.text, "192.168.10.50")
            compare(row(15).toggle.checked, true)

            verify(hwSettingsFeed.recordFixture(["edit", original, expected, "sta_ssid=Lab-2"]))
            const want = hwSettingsFeed.fileHex(expected)
            verify(want !== hwSettingsFeed.fileHex(original))

            // The user renames the station network and applies. The device's answers to the
            // queries of the connection and of the page may still be arriving, and each rebuilds
            // the rows (and drops an edit in progress): edit again until the device has it.
            tryVerify(() => {
                if (hwSettingsFeed.fileHex(deviceFile) === want)
                    return true
                const ssid = row(6)
                if (ssid && ssid.setting.fieldState === 0 && ssid.field.text !== "Lab-2") {
                    ssid.field.forceActiveFocus()
                    ssid.field.selectAll()
                    for (const ch of "Lab-2")
                        keyClick(ch)
                    const apply = page.panel(0).tabView.applyButton
                    if (apply.enabled)
                        mouseClick(apply)
                }
                return false
            }, 20000, "the device's record after Apply")
            // The device's answer to the query after Apply rebuilds the rows from its record.
            tryVerify(() => row(6) !== null && row(6).field.text === "Lab-2", 20000)
            compare(row(6).setting.fieldState, 0)
        }
    }
}
