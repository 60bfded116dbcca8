import QtQuick

// A labelled control row: the caption sits right-aligned left of the centre line; the row's
// child control is placed by its user on the right half.
Rectangle {
    id: row

    property string controlText: "TestText"

    height: 23 * uScale
    radius: height / 2
    color: "#F3F3F3"

    Text {
        anchors.right: parent.horizontalCenter
        anchors.rightMargin: 6 * uScale
        anchors.verticalCenter: parent.verticalCenter
        width: parent.width / 2 - 12 * uScale
        horizontalAlignment: Text.AlignRight
        elide: Text.ElideLeft
        text: row.controlText
        textFormat: Text.PlainText
        font.family: "Poppins"
        font.weight: Font.DemiBold
        font.pixelSize: 10 * uScale
        color: "#191346"
    }
}
