import QtQuick

// A text button drawn as a white rounded rectangle.
Item {
    id: root

    property string text
    property color color: "black"
    property real radiusDiv: 8
    property bool toggle: false
    property real defaultOpacity: 0.5

    signal onClicked

    width: hRef * 267 / 1080
    height: hRef * 94 / 1080

    Rectangle {
        objectName: "face"
        anchors.fill: parent
        radius: height / root.radiusDiv
        color: "white"
        opacity: area.containsMouse ? root.defaultOpacity - 0.2 : root.defaultOpacity
        Behavior on opacity { NumberAnimation { duration: 150 } }
    }

    Text {
        id: label
        anchors.centerIn: parent
        text: root.text
        textFormat: Text.PlainText
        color: root.color
        font.family: "Raleway"
        font.weight: Font.ExtraBold
        font.pixelSize: Math.max(1, root.height / 2.5)
    }

    Rectangle {
        anchors.horizontalCenter: label.horizontalCenter
        anchors.top: label.bottom
        width: label.width * 1.2
        height: 1
        color: root.color
        visible: area.pressed
    }

    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: root.onClicked()
    }
}
