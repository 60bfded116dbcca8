import QtQuick
import "../OrvaneUI"

Rectangle {
    id: root

    readonly property alias searchQuery: field.text

    width: 270 * uScale
    height: 30 * uScale
    radius: height / 2
    color: "#F3F3F3"

    Text {
        id: label
        x: 15 + 10 * uScale
        anchors.verticalCenter: parent.verticalCenter
        text: qsTr("Search bar :")
        font.family: "Poppins"
        font.weight: Font.DemiBold
        font.bold: true
        font.pixelSize: Math.max(1, 10 * uScale)
    }

    Rectangle {
        id: pill
        anchors.right: parent.right
        anchors.rightMargin: 4 * uScale
        anchors.verticalCenter: parent.verticalCenter
        width: root.width - label.width - hRef * 35 / 1080
        height: root.height - hRef * 8 / 1080
        radius: height / 2
        color: "white"

        MinimalTextField {
            id: field
            objectName: "searchField"
            anchors.centerIn: parent
            width: pill.width - 20 * uScale
            height: pill.height
            topPadding: 0
            bottomPadding: 0
            placeholderText: ""
            color: "#1C75BC"
            font.family: "Poppins"
            font.weight: Font.Light
            font.italic: true
            font.pixelSize: Math.max(1, pill.height / 2)
        }
    }
}
