import QtQuick
import QtTest
import "qrc:/Qml/Forms/TopBarRules.js" as Rules

// The top bar's texts and its Wi-Fi button, as tables over the states a person meets.
TestCase {
    name: "TopBarRules"

    // A selected, USB-connected device and nothing else going on; rows change what they name.
    function bar(changes) {
        const s = { hasDevice: true, fallback: false, downloadProgress: 0, hasUpdateRow: false,
                    updateState: -1, updateProgress: 0, wifiState: 0, attempt: false }
        for (const key in changes)
            s[key] = changes[key]
        return s
    }

    function test_texts_data() {
        return [
            { tag: "no device", s: { hasDevice: false }, tip: "", status: "" },
            { tag: "device, nothing known", s: {}, tip: "", status: "" },
            { tag: "fallback", s: { fallback: true },
              tip: "Your device is in fallback mode, update the firmware to resolve this issue",
              status: "Fallback Mode" },
            // Fallback wins the status, the download wins the tooltip.
            { tag: "fallback with a download running", s: { fallback: true, downloadProgress: 0.426 },
              tip: "Downloading log file from device", status: "Fallback Mode" },
            { tag: "download", s: { downloadProgress: 0.426 },
              tip: "Downloading log file from device", status: "Downloading: 43%" },
            { tag: "download beats update row", s: { downloadProgress: 0.5, hasUpdateRow: true,
                                                      updateState: 4, updateProgress: 0.2 },
              tip: "Downloading log file from device", status: "Downloading: 50%" },
            { tag: "state 0", s: { hasUpdateRow: true, updateState: 0 },
              tip: "Device is up-to-date", status: "Connected" },
            // Without any catalogue nothing is known to be up-to-date.
            { tag: "state 0, no catalogue", s: { hasUpdateRow: true, updateState: 0,
                                                  catalogueMissing: true },
              tip: "The version catalogue could not be reached", status: "Connected" },
            { tag: "state 1", s: { hasUpdateRow: true, updateState: 1 },
              tip: "A firmware update is available for this device", status: "Connected" },
            { tag: "state 2", s: { hasUpdateRow: true, updateState: 2 },
              tip: "Device is restarting", status: "Restarting" },
            { tag: "state 3", s: { hasUpdateRow: true, updateState: 3, updateProgress: 0.3 },
              tip: "Device firmware is being updated", status: "Connected" },
            { tag: "state 4", s: { hasUpdateRow: true, updateState: 4, updateProgress: 0.255 },
              tip: "Device firmware is being updated", status: "Updating: 26%" },
            { tag: "state 5", s: { hasUpdateRow: true, updateState: 5, updateProgress: 1 },
              tip: "Device firmware is being verified", status: "Verifying: 100%" },
            { tag: "state 6", s: { hasUpdateRow: true, updateState: 6 },
              tip: "An error occurred during the last firmware update", status: "Connected" },
            { tag: "state 7", s: { hasUpdateRow: true, updateState: 7 },
              tip: "Device is restarting", status: "Restarting" },
            { tag: "unknown state", s: { hasUpdateRow: true, updateState: 9 },
              tip: "Device is connected", status: "Connected" }
        ]
    }
    function test_texts(data) {
        const s = bar(data.s)
        compare(Rules.tooltipText(s), data.tip)
        compare(Rules.statusText(s), data.status)
    }

    function test_wifiButton_data() {
        const usbOnly = "Simultaneous USB and Wi-Fi connections are currently not supported"
        const connect = "Connect a Pelto through Wi-Fi"
        return [
            { tag: "no device", s: { hasDevice: false }, text: "Add Wi-Fi Connection",
              scheme: "black", enabled: true, tip: connect, action: "discover" },
            { tag: "no device, attempt running", s: { hasDevice: false, attempt: true },
              text: "Abort attempt", scheme: "black", enabled: true, tip: connect,
              action: "abort" },
            { tag: "Wi-Fi connected", s: { wifiState: 2 }, text: "Disconnect Wi-Fi",
              scheme: "red", enabled: true, tip: connect, action: "disconnect" },
            { tag: "Wi-Fi connected, attempt running", s: { wifiState: 2, attempt: true },
              text: "Disconnect Wi-Fi", scheme: "red", enabled: true, tip: connect,
              action: "disconnect" },
            { tag: "USB only", s: { wifiState: 0 }, text: "Add Wi-Fi Connection",
              scheme: "black", enabled: false, tip: usbOnly, action: "discover" },
            { tag: "Wi-Fi link still being made", s: { wifiState: 1 },
              text: "Add Wi-Fi Connection", scheme: "black", enabled: false, tip: usbOnly,
              action: "discover" },
            { tag: "Wi-Fi link invalid", s: { wifiState: 3 }, text: "Add Wi-Fi Connection",
              scheme: "black", enabled: false, tip: usbOnly, action: "discover" }
        ]
    }
    function test_wifiButton(data) {
        const b = Rules.wifiButton(bar(data.s))
        compare(b.text, data.text)
        compare(b.scheme, data.scheme)
        compare(b.enabled, data.enabled)
        compare(b.tooltip, data.tip)
        compare(b.action, data.action)
    }
}
