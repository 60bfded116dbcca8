import QtQuick
import QtQuick.Shapes

// A copy symbol; a click puts the text of valueToCopy on the clipboard.
Item {
    id: root

    property var valueToCopy
    property color strokeColor: "black"
    property real strokeWidth: height / 12

    height: parent ? parent.height : 24
    width: height * 5 / 6

    Shape {
        id: symbol
        anchors.fill: parent
        scale: area.pressed ? 0.9 : 1
        readonly property real u: width / 5
        readonly property real v: height / 6
        ShapePath {
            strokeColor: root.strokeColor
            strokeWidth: root.strokeWidth
            fillColor: "transparent"
            capStyle: ShapePath.RoundCap
            joinStyle: ShapePath.RoundJoin
            startX: symbol.u * 1.5; startY: symbol.v * 4.5
            PathLine { x: symbol.u * 0.5; y: symbol.v * 4.5 }
            PathLine { x: symbol.u * 0.5; y: symbol.v * 0.5 }
            PathLine { x: symbol.u * 3.5; y: symbol.v * 0.5 }
            PathLine { x: symbol.u * 3.5; y: symbol.v * 1.5 }
        }
        ShapePath {
            strokeColor: root.strokeColor
            strokeWidth: root.strokeWidth
            fillColor: "transparent"
            capStyle: ShapePath.RoundCap
            joinStyle: ShapePath.RoundJoin
            startX: symbol.u * 1.5; startY: symbol.v * 1.5
            PathLine { x: symbol.u * 4.5; y: symbol.v * 1.5 }
            PathLine { x: symbol.u * 4.5; y: symbol.v * 5.5 }
            PathLine { x: symbol.u * 1.5; y: symbol.v * 5.5 }
            PathLine { x: symbol.u * 1.5; y: symbol.v * 1.5 }
        }
    }

    TextEdit {
        id: clipboardHelper
        visible: false
        textFormat: TextEdit.PlainText
    }

    MouseArea {
        id: area
        anchors.fill: parent
        onClicked: {
            clipboardHelper.text = String(root.valueToCopy)
            clipboardHelper.selectAll()
            clipboardHelper.copy()
        }
    }
}
