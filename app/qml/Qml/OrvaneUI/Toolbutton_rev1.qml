import QtQuick

// A rectangle used as a tool button: icon above a small label.
Rectangle {
    id: root

    property bool enabled: true
    property url iconSource
    property string text
    property real iconRotation: 0

    signal clicked

    color: !root.enabled ? "lightgrey" : area.containsMouse ? "grey" : "#00E6E6E6"
    border.width: area.pressed && root.enabled ? 1 * uScale : 0
    border.color: "white"
    Behavior on color { ColorAnimation { duration: 150 } }

    Image {
        id: icon
        width: root.width * 24 / 80
        height: width
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: hRef * 39 / 1080
        source: root.iconSource
        rotation: root.iconRotation
        fillMode: Image.PreserveAspectFit
    }

    Text {
        anchors.top: icon.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        text: root.text
        textFormat: Text.PlainText
        font.family: "Raleway"
        font.bold: true
        font.pixelSize: Math.max(1, hRef * 8 / 1080)
        color: area.containsMouse && root.enabled ? "white" : "black"
    }

    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: {
            if (root.enabled)
                root.clicked()
        }
    }
}
