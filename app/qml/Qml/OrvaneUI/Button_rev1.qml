import QtQuick

// A flat button on a mouse area, with an underlined label.
MouseArea {
    id: root

    property string text
    property color color: "#181344"
    property real radiusDiv: 10

    hoverEnabled: true
    state: "Normal"

    Rectangle {
        id: face
        objectName: "face"
        anchors.fill: parent
        radius: height / root.radiusDiv
        color: root.containsMouse ? "#505050" : "#EFEFEF"
        Behavior on color { ColorAnimation { duration: 150 } }
    }

    Text {
        id: label
        anchors.centerIn: parent
        text: root.text
        textFormat: Text.PlainText
        font.family: "Raleway"
        font.weight: Font.ExtraBold
        font.pixelSize: Math.max(1, 21 * uScale)
        color: root.color
        opacity: root.enabled ? 1 : 0.4
    }

    Rectangle {
        anchors.horizontalCenter: label.horizontalCenter
        y: label.y + label.height - 5 * uScale
        width: label.width * 2
        height: 1 * uScale
        color: root.color
        visible: root.text.length > 0
    }

    Image {
        id: bars
        objectName: "bars"
        anchors.fill: parent
        source: "qrc:/Images/GUI/Buttons/Button/ButtonBars.png"
        fillMode: Image.Tile
        visible: false
    }

    states: [
        State { name: "Normal"; PropertyChanges { target: bars; visible: false } },
        State { name: "Dashed"; PropertyChanges { target: bars; visible: true } },
        State { name: "Dashed2"; PropertyChanges { target: bars; visible: true } },
        State { name: "Dashed3"; PropertyChanges { target: bars; visible: true } }
    ]
}
