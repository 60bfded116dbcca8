import QtQuick

// The settings bar every settings row sits in: a pill with the title on the left, right-aligned
// before a thin separator, and the row's control after it. The controls of all bars start at the
// same place, so the values of a page line up whatever their width. Other settings pages use it
// too.
// uScale defaults to the main window's scale (taken from hRef, which every page reaches) so the
// bar also works where no uScale is in reach; a page may set it.
Rectangle {
    id: bar

    required property string title
    required property real controlWidth
    required property Component controlObject
    property real uScale: typeof hRef !== "undefined" ? hRef / 1080.01 : 1
    readonly property alias control: controlLoader.item
    readonly property alias titleItem: titleText

    width: 164 * uScale + controlWidth
    height: 28 * uScale
    radius: height / 2
    color: "#F3F3F3"
    border.color: "transparent"

    Text {
        id: titleText
        objectName: "containerTitle"
        width: Math.max(163 * bar.uScale, implicitWidth)
        anchors.right: separator.left
        anchors.rightMargin: 16.2 * bar.uScale
        anchors.verticalCenter: parent.verticalCenter
        horizontalAlignment: Text.AlignRight
        textFormat: Text.PlainText
        text: bar.title
        font.family: "Poppins"
        font.weight: Font.DemiBold
        font.pixelSize: 11 * bar.uScale
        color: "#1D252F"
    }
    Rectangle {
        id: separator
        x: (163 + 16.2) * bar.uScale
        width: 1 * bar.uScale
        height: parent.height * 0.6
        anchors.verticalCenter: parent.verticalCenter
        color: "#D6D6D6"
    }
    Loader {
        id: controlLoader
        x: separator.x + separator.width + 8 * bar.uScale
        anchors.verticalCenter: parent.verticalCenter
        sourceComponent: bar.controlObject
    }
}
