import QtQuick

// Stand-in of the hardware settings bar until the settings pages provide it: the title before a
// separator, the control at the bar's right end.
Rectangle {
    id: bar

    required property string title
    required property int controlWidth
    required property Component controlObject
    property real uScale: 1

    width: 164 * uScale + controlWidth
    height: 28 * uScale
    radius: height / 2
    color: "#F3F3F3"

    Text {
        anchors.right: separator.left
        anchors.rightMargin: 12 * bar.uScale
        anchors.verticalCenter: parent.verticalCenter
        horizontalAlignment: Text.AlignRight
        text: bar.title
        font.family: "Poppins"
        font.weight: Font.DemiBold
        font.pixelSize: 11 * bar.uScale
        color: "#1D252F"
    }
    Rectangle {
        id: separator
        x: 150 * bar.uScale
        width: 1 * bar.uScale
        height: parent.height
        color: "#D6D6D6"
    }
    Loader {
        x: separator.x + 14 * bar.uScale
        anchors.verticalCenter: parent.verticalCenter
        height: parent.height
        width: bar.controlWidth
        sourceComponent: bar.controlObject
    }
}
