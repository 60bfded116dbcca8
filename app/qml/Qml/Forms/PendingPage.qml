import QtQuick

// Stands in for a tool whose page is not part of this build.
Rectangle {
    id: page

    property string title

    color: "#FFFFFF"

    Column {
        anchors.centerIn: parent
        spacing: 18 * uScale

        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            objectName: "pendingTitle"
            text: page.title
            textFormat: Text.PlainText
            font.family: "Raleway"
            font.weight: Font.Light
            font.pixelSize: Math.max(1, 40 * uScale)
            color: "#1D252F"
        }
        Rectangle {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 300 * uScale
            height: Math.max(1, 0.8 * uScale)
            color: "#3DB199"
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("This tool arrives with a later update.")
            font.family: "Poppins"
            font.weight: Font.Light
            font.pixelSize: Math.max(1, 18 * uScale)
            color: "#B4B4B5"
        }
    }
}
