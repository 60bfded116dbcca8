import QtQuick

// A cell that shows text. The text may come from a device or the network: it is shown as
// plain text, never interpreted as markup.
TableColumn {
    id: entry

    property alias text: entryText.text
    property alias horizontalAlignment: entryText.horizontalAlignment

    Accessible.role: Accessible.StaticText
    Accessible.name: entryText.text

    Text {
        id: entryText
        objectName: "entryText"
        anchors.fill: parent
        leftPadding: entry.height / 2
        rightPadding: entry.height / 2
        textFormat: Text.PlainText
        elide: Text.ElideRight
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
}
