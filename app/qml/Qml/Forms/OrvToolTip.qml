import QtQuick
import QtQuick.Controls.Material

// Shows a tooltip while the mouse rests over its parent; takes no clicks.
MouseArea {
    id: root

    enum HPosition { OuterLeft, InnerLeft, Center, InnerRight, OuterRight }
    enum VPosition { Below, Center, Above }

    property string buttonToolTip
    property int horizontalPosition: OrvToolTip.HPosition.OuterRight
    property int verticalPosition: OrvToolTip.VPosition.Below
    readonly property bool shown: tip.visible

    anchors.fill: parent
    hoverEnabled: true
    acceptedButtons: Qt.NoButton
    propagateComposedEvents: true

    ToolTip {
        id: tip
        objectName: "tip"
        delay: 1000
        visible: root.containsMouse && root.buttonToolTip.length > 0
        padding: 2.5 * uScale
        x: {
            switch (root.horizontalPosition) {
            case OrvToolTip.HPosition.OuterLeft: return -width
            case OrvToolTip.HPosition.InnerLeft: return 0
            case OrvToolTip.HPosition.Center: return (root.width - width) / 2
            case OrvToolTip.HPosition.InnerRight: return root.width - width
            default: return root.width
            }
        }
        y: {
            switch (root.verticalPosition) {
            case OrvToolTip.VPosition.Center: return -height / 2
            case OrvToolTip.VPosition.Above: return -height
            default: return root.height
            }
        }
        contentItem: Text {
            text: root.buttonToolTip
            textFormat: Text.PlainText
            font.family: "Poppins"
            font.bold: true
            font.italic: true
            font.pixelSize: Math.max(1, 11 * uScale)
            color: "#B4B4B5"
        }
        background: Item {
            Pane {
                anchors.centerIn: parent
                width: parent.width - 7 * uScale
                height: parent.height - 7 * uScale
                Material.theme: Material.Light
                Material.elevation: 6
            }
            Rectangle {
                anchors.fill: parent
                radius: 9 * uScale
                border.width: 2
                border.color: "#E6E6E6"
                color: "white"
            }
        }
    }
}
