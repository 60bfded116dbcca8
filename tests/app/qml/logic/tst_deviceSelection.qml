import QtQuick
import QtTest
import "qrc:/Qml/Forms"

// The IP Discover dialog against the real device factory, whose link maker records the addresses
// it is asked for and dials loopback only. The "Direct" address is looked at, never connected to.
Item {
    id: root

    readonly property int hRef: 1080
    readonly property real uScale: 1

    width: 1000
    height: 700

    Component { id: dialogComponent; DiscoveryDialog {} }
    Component { id: spyComponent; SignalSpy {} }

    TestCase {
        name: "DeviceSelection"
        when: windowShown

        function openDialog() {
            const dialog = createTemporaryObject(dialogComponent, root)
            dialog.open()
            tryCompare(dialog, "opened", true)
            return dialog
        }

        function init() {
            testRecorder.clear()
        }
        function cleanup() {
            orvFactory.cancelConnectionAttempt()
        }

        // Runs first (alphabetical order): nothing was stored yet.
        function test_a_firstOpenOffersTheDirectAddress() {
            const dialog = openDialog()
            compare(dialog.addressField.text, "192.168.192.2")
            dialog.addressField.text = ""
            mouseClick(findChild(dialog.contentItem, "directButton"))
            compare(dialog.addressField.text, "192.168.192.2")
            mouseClick(findChild(dialog.contentItem, "cancelButton"))
            tryCompare(dialog, "visible", false)
            compare(testRecorder.linkRequests, [])
        }

        function test_b_continueConnectsAndRemembers() {
            const dialog = dialogComponent.createObject(root)
            dialog.open()
            tryCompare(dialog, "opened", true)
            dialog.addressField.text = "127.0.0.78"
            mouseClick(findChild(dialog.contentItem, "continueButton"))
            tryCompare(dialog, "visible", false)
            compare(testRecorder.linkRequests, ["127.0.0.78"])
            tryCompare(orvFactory, "connectionAttemptAddress", "127.0.0.78")
            orvFactory.cancelConnectionAttempt()
            // The next dialog, as after a restart, starts from the address last used.
            // The settings are written a moment later; a new dialog reads them.
            tryVerify(() => {
                const probe = dialogComponent.createObject(root)
                const text = probe.addressField.text
                probe.destroy()
                return text === "127.0.0.78"
            })
            dialog.destroy()
        }

        function test_c_enterConnects_data() {
            return [
                { tag: "loopback", address: "127.0.0.79", requests: ["127.0.0.79"] },
                // The factory starts nothing for text that is not an address.
                { tag: "not an address", address: "pelto.local!", requests: [] }
            ]
        }
        function test_c_enterConnects(data) {
            const dialog = openDialog()
            dialog.addressField.text = data.address
            dialog.addressField.forceActiveFocus()
            keyClick(Qt.Key_Return)
            tryCompare(dialog, "visible", false)
            compare(testRecorder.linkRequests, data.requests)
        }

        function test_d_establishedConnectionClosesTheDialog() {
            const dialog = openDialog()
            orvFactory.wifiConnectionEstablished()
            tryCompare(dialog, "visible", false)
        }
    }
}
