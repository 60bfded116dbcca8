import QtQuick
import orvane.Branding

// The text cursor: solid while it moves, blinking at the platform's rate while the field has
// focus.
Rectangle {
    id: cursor

    width: 1
    color: OrvaneColors.cursorColor
    visible: parent.activeFocus && !parent.readOnly && parent.selectionStart === parent.selectionEnd

    Connections {
        target: cursor.parent
        function onCursorPositionChanged() {
            cursor.opacity = 1
            timer.restart()
        }
    }

    Timer {
        id: timer
        objectName: "blinkTimer"
        interval: Qt.styleHints.cursorFlashTime / 2
        running: cursor.parent.activeFocus && !cursor.parent.readOnly && interval !== 0
        repeat: true
        onTriggered: cursor.opacity = cursor.opacity === 0 ? 1 : 0
        onRunningChanged: cursor.opacity = 1
    }
}
