import QtQuick
import QtQuick.Controls.Material

// A dark log of coloured lines. Messages come from devices: they are escaped before they are
// wrapped in their colour, so markup in them shows as typed.
Rectangle {
    id: root

    readonly property alias text: area.text

    function escaped(msg) {
        return String(msg).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
                          .replace(/"/g, "&quot;").replace(/\n/g, "<br>")
    }

    function append(msg, colour) {
        area.append("<span style=\"color:" + colour + "\">" + escaped(msg) + "</span>")
    }

    function appendMsg(msg) { append(msg, "#80ff00") }
    function appendWarning(msg) { append(msg, "#ffff00") }
    function appendError(msg) { append(msg, "#ff0000") }

    color: "#303030"

    ScrollView {
        anchors.fill: parent
        TextArea {
            id: area
            objectName: "terminalText"
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            textFormat: TextEdit.RichText
            color: "#80ff00"
            background: null
        }
    }
}
