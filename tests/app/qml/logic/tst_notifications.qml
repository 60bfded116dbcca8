import QtQuick
import QtTest
import com.orvane 1.0
import "qrc:/Qml"
import "qrc:/NotificationHandling/GUI"

// The bell and the notification list against the real notification hub.
Item {
    id: root

    readonly property int hRef: 1080
    readonly property real uScale: 1
    readonly property Item applicationMenu: bar

    width: 1200
    height: 1000

    Rectangle { id: bar; width: parent.width; height: 83; color: "#F3F3F3" }
    OrvLoader { id: viewStack; y: 83; width: parent.width; height: parent.height - 83 }

    NotificationsIndicator {
        id: bell
        x: 800
        width: 83
        height: 83
        onPressed: frame.opened ? frame.close() : frame.open()
    }
    NotificationFrame { id: frame; x: 300; y: 83 }

    TestCase {
        name: "Notifications"
        when: windowShown

        function rows() {
            const list = findChild(frame.contentItem, "notificationListView")
            const found = []
            for (let i = 0; i < list.contentItem.children.length; ++i) {
                const child = list.contentItem.children[i]
                if (child.note !== undefined)
                    found.push(child)
            }
            return found.sort((a, b) => a.y - b.y)
        }

        function openFrame() {
            frame.open()
            tryCompare(frame, "opened", true)
        }

        function init() {
            Notifications.clearNotifications()
            frame.close()
            tryCompare(frame, "visible", false)
        }

        function test_bellCountsNotifications() {
            const count = findChild(bell, "bellCount")
            const image = findChild(bell, "bellImage")
            verify(!count.visible)
            compare(image.source, "qrc:/Images/GUI/Notifications/Notification_zero.png")
            testNotifications.push(3, AbstractNotification.NimbrelLab, "Title", "Message", "here")
            verify(count.visible)
            compare(count.text, "1")
            compare(image.source, "qrc:/Images/GUI/Notifications/Notification_nonzero.png")
            mouseClick(bell)
            tryCompare(frame, "opened", true)
            mouseClick(bell)
            tryCompare(frame, "visible", false)
        }

        // The most severe levels look like errors, the rest like warnings.
        function test_levelStrip_data() {
            return [
                { tag: "None", level: 0, error: false },
                { tag: "CriticalError", level: 1, error: true },
                { tag: "Error", level: 2, error: true },
                { tag: "Warning", level: 3, error: false },
                { tag: "Info", level: 4, error: false }
            ]
        }
        function test_levelStrip(data) {
            testNotifications.push(data.level, AbstractNotification.NimbrelLab, "T", "M", "o")
            openFrame()
            tryCompare(rows(), "length", 1)
            const strip = findChild(rows()[0], "levelStrip")
            verify(Qt.colorEqual(strip.color, data.error ? "#F1DEE2" : "#F2EADF"))
            compare(findChild(strip, "levelImage").source,
                    data.error ? "qrc:/Images/GUI/Notifications/app_error.png"
                               : "qrc:/Images/GUI/Notifications/app_warning.png")
        }

        function test_originLineAndPlainText_data() {
            return [
                { tag: "device", source: AbstractNotification.Device, origin: "P0000042",
                  line: "Pelto | S/N:P0000042" },
                { tag: "program", source: AbstractNotification.NimbrelLab, origin: "Updater",
                  line: "Nimbrel Lab | Updater" },
                { tag: "markup from a device", source: AbstractNotification.Device,
                  origin: "<b>P1</b>", line: "Pelto | S/N:<b>P1</b>" }
            ]
        }
        function test_originLineAndPlainText(data) {
            testNotifications.push(3, data.source, "<i>title</i>", "a <b>b</b> & c", data.origin)
            openFrame()
            tryCompare(rows(), "length", 1)
            const row = rows()[0]
            compare(findChild(row, "originText").text, data.line)
            // Texts from devices are shown as typed.
            for (const name of ["originText", "titleText", "messageText"])
                compare(findChild(row, name).textFormat, Text.PlainText)
            compare(findChild(row, "messageText").text, "a <b>b</b> & c")
        }

        function test_moreLessAndClear() {
            testNotifications.push(3, AbstractNotification.NimbrelLab, "First", "one two three "
                                   .repeat(30), "o")
            testNotifications.push(3, AbstractNotification.NimbrelLab, "Second", "M", "o")
            openFrame()
            tryCompare(rows(), "length", 2)
            const first = rows()[0]
            const collapsed = first.height
            compare(findChild(first, "moreLessText").text, "MORE")
            mouseClick(findChild(first, "moreLessArea"))
            tryCompare(first, "state", "expanded")
            compare(findChild(first, "moreLessText").text, "LESS")
            tryVerify(() => first.height > collapsed + 60)
            mouseClick(findChild(first, "moreLessArea"))
            tryCompare(first, "state", "collapsed")
            // CLEAR removes that row only.
            mouseClick(findChild(rows()[1], "clearArea"))
            tryCompare(Notifications, "notificationCount", 1)
            tryCompare(rows(), "length", 1)
            compare(findChild(rows()[0], "titleText").text, "First")
            mouseClick(findChild(frame.contentItem, "clearAllButton"))
            tryCompare(Notifications, "notificationCount", 0)
            verify(!findChild(bell, "bellCount").visible)
        }

        function test_buttonAndProgress() {
            const note = testNotifications.pushProgressButton("Flash", "Cancel")
            openFrame()
            tryCompare(rows(), "length", 1)
            const button = findChild(rows()[0], "notificationButton")
            verify(button.visible)
            compare(button.text, "Cancel")
            const bar = findChild(rows()[0], "notificationProgress")
            verify(!bar.visible)
            note.enableProgress(true)
            note.updateProgress(0.25)
            tryVerify(() => bar.visible && Math.abs(bar.value - 0.25) < 1e-6)
        }

        function test_modalOpensOnlyWhenNew() {
            testNotifications.pushModal(2, "Modal", "M")
            tryCompare(frame, "opened", true)
            frame.close()
            tryCompare(frame, "visible", false)
            // Any later change of the list leaves the old modal notification where it is.
            testNotifications.push(3, AbstractNotification.NimbrelLab, "Other", "M", "o")
            wait(100)
            verify(!frame.visible)
            testNotifications.pushModal(2, "Second modal", "M")
            tryCompare(frame, "opened", true)
        }

        function test_closesOnlyOnEscapeOrItsButton() {
            openFrame()
            mouseClick(root, 50, 900)
            wait(50)
            verify(frame.opened)
            keyClick(Qt.Key_Escape)
            tryCompare(frame, "visible", false)
            openFrame()
            mouseClick(findChild(frame.contentItem, "closeButton"))
            tryCompare(frame, "visible", false)
        }

        // A row grows with what it holds: every shown part (button, progress bar, message) lies
        // fully inside the row, collapsed and expanded.
        function test_rowHoldsItsContent_data() {
            return [
                { tag: "text", button: false, progress: false, expand: false },
                { tag: "button", button: true, progress: false, expand: false },
                { tag: "button and progress", button: true, progress: true, expand: false },
                { tag: "button and progress, expanded", button: true, progress: true, expand: true },
                { tag: "long text, expanded", button: false, progress: false, expand: true }
            ]
        }
        function test_rowHoldsItsContent(data) {
            const longText = "The device refused the image; it is kept for the next try. ".repeat(8)
            let note = null
            if (data.button) {
                note = testNotifications.pushProgressButton("Flashing application", "Cancel")
                if (data.progress) {
                    note.enableProgress(true)
                    note.updateProgress(0.62)
                }
            } else {
                testNotifications.push(3, AbstractNotification.NimbrelLab, "Title", longText, "o")
            }
            openFrame()
            tryCompare(rows(), "length", 1)
            const row = rows()[0]
            if (data.expand) {
                mouseClick(findChild(row, "moreLessArea"))
                tryCompare(row, "state", "expanded")
            }
            const parts = ["titleText", "timeText", "originText", "messageText"]
            if (data.button)
                parts.push("notificationButton")
            if (data.progress)
                parts.push("notificationProgress")
            // The height animation has to end before the sizes can be compared.
            wait(300)
            for (const name of parts) {
                const part = findChild(row, name)
                verify(part.visible, name)
                const box = part.mapToItem(row, 0, 0)
                verify(box.y >= 0, name)
                verify(box.y + part.height <= row.height + 0.5,
                       name + " ends at " + (box.y + part.height) + ", row height " + row.height)
            }
            // The message shows every line it may show when expanded.
            if (data.expand && !data.button)
                verify(findChild(row, "messageText").lineCount > 1)
        }
    }
}
