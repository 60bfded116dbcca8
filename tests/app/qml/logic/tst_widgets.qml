import QtQuick
import QtTest
import "qrc:/Qml/OrvaneUI"
import "qrc:/Qml/OrvaneUI/OrvaneControls"
import "qrc:/Qml/Forms"

// The application's widgets: the behaviour their users rely on.
Item {
    id: root

    readonly property int hRef: 1080
    readonly property real uScale: 1

    width: 800
    height: 600

    Component { id: ringComponent; CircularProgressBar_rev1 { width: 80; height: 80 } }
    Component { id: headerComponent; FileHeaderBarItem { width: 120; height: 30 } }
    Component { id: toolButtonComponent; Toolbutton_rev1 { width: 80; height: 80 } }
    Component { id: terminalComponent; Terminal { width: 400; height: 200 } }
    Component { id: pillComponent; SimpleButtonRev3 { x: 300; y: 300 } }
    Component {
        id: tipComponent
        Rectangle {
            x: 100; y: 100; width: 120; height: 40
            property alias tip: tipArea
            OrvToolTip { id: tipArea }
        }
    }
    Component { id: spyComponent; SignalSpy {} }

    TestCase {
        name: "Widgets"
        when: windowShown

        function test_ringFinishesOnlyAtOne_data() {
            return [
                { tag: "just below", value: 0.9999, finished: 0 },
                { tag: "half", value: 0.5, finished: 0 },
                { tag: "one", value: 1.0, finished: 1 }
            ]
        }
        function test_ringFinishesOnlyAtOne(data) {
            const ring = createTemporaryObject(ringComponent, root)
            const spy = createTemporaryObject(spyComponent, root,
                                              { target: ring, signalName: "finished" })
            ring.progress = data.value
            compare(spy.count, data.finished)
        }

        function test_ringShowsFortyPercentWhileBusy() {
            const ring = createTemporaryObject(ringComponent, root, { progress: 0.9 })
            compare(ring.displayedValue, 0.9)
            ring.busy = true
            compare(ring.displayedValue, 0.4)
            tryVerify(() => ring.rotation !== 0 && ring.rotation !== 360)
        }

        function test_headerSortsDownThenAlternates() {
            const header = createTemporaryObject(headerComponent, root, { labelName: "Size" })
            const spy = createTemporaryObject(spyComponent, root,
                                              { target: header, signalName: "sort" })
            compare(header.state, "inactiveSortable")
            const expected = ["down", "up", "down"]
            for (let i = 0; i < expected.length; ++i) {
                mouseClick(header)
                compare(header.state, expected[i])
                compare(spy.signalArguments[i][0], "Size")
                compare(spy.signalArguments[i][1], expected[i])
            }
            header.state = "nonSortable"
            mouseClick(header)
            compare(spy.count, 3)
        }

        function test_disabledToolButtonStaysSilent_data() {
            return [{ tag: "enabled", enabled: true, clicks: 1 },
                    { tag: "disabled", enabled: false, clicks: 0 }]
        }
        function test_disabledToolButtonStaysSilent(data) {
            const button = createTemporaryObject(toolButtonComponent, root,
                                                 { enabled: data.enabled })
            const spy = createTemporaryObject(spyComponent, root,
                                              { target: button, signalName: "clicked" })
            mouseClick(button)
            compare(spy.count, data.clicks)
        }

        function test_toolTipOnlyWithText_data() {
            return [{ tag: "empty", text: "", shown: false },
                    { tag: "text", text: "Connect a Pelto", shown: true }]
        }
        function test_toolTipOnlyWithText(data) {
            const holder = createTemporaryObject(tipComponent, root)
            holder.tip.buttonToolTip = data.text
            mouseMove(holder, 10, 10)
            // The tooltip waits a second before it shows.
            wait(1300)
            compare(holder.tip.shown, data.shown)
        }

        // Device messages carry their own characters: markup in them must show as typed.
        function test_terminalShowsDeviceTextAsTyped_data() {
            return [
                { tag: "bold tag", msg: "<b>boot</b> done" },
                { tag: "ampersand", msg: "a & b &amp; c" },
                { tag: "less than", msg: "x < 3 && y > 2" },
                { tag: "span injection", msg: "</span><span style=\"color:#0000ff\">blue" }
            ]
        }
        function test_terminalShowsDeviceTextAsTyped(data) {
            const terminal = createTemporaryObject(terminalComponent, root)
            const area = findChild(terminal, "terminalText")
            terminal.appendMsg(data.msg)
            terminal.appendWarning("second")
            terminal.appendError(data.msg)
            const shown = area.getText(0, area.length).split("\u2029").filter(l => l !== "")
            compare(shown, [data.msg, "second", data.msg])
            // The colours stay those of the kind of message, whatever the text says.
            verify(area.text.indexOf("#0000ff") < 0 || area.text.indexOf("&lt;/span&gt;") >= 0)
        }

        function test_pillColoursByScheme_data() {
            return [
                { tag: "green", scheme: "green", first: "#84c1b5", second: "#1e8c9f" },
                { tag: "black", scheme: "black", first: "#676868", second: "#222a32" },
                { tag: "red", scheme: "red", first: "#c42753", second: "#dc2145" }
            ]
        }
        function test_pillColoursByScheme(data) {
            const pill = createTemporaryObject(pillComponent, root, { originalState: data.scheme })
            const first = findChild(pill, "firstStop")
            const second = findChild(pill, "secondStop")
            tryVerify(() => Qt.colorEqual(first.color, data.first))
            tryVerify(() => Qt.colorEqual(second.color, data.second))
            mouseMove(pill, pill.width / 2, pill.height / 2)
            tryCompare(pill, "state", "hovered")
            tryVerify(() => Qt.colorEqual(first.color, "#88c0b9"))
            tryVerify(() => Qt.colorEqual(second.color, "#88c0b9"))
            tryCompare(first, "position", 0.6)
            mouseMove(root, 1, 1)
            tryCompare(pill, "state", data.scheme)
            tryVerify(() => Qt.colorEqual(first.color, data.first))
        }
    }
}
