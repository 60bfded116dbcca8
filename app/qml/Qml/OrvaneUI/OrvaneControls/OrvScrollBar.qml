import QtQuick
import QtQuick.Templates as T

T.ScrollBar {
    id: control

    size: 0.3
    position: 0.2
    active: true
    orientation: Qt.Vertical
    implicitWidth: 15 * uScale
    implicitHeight: Math.max(implicitBackgroundHeight, implicitContentHeight)

    contentItem: Item {
        implicitWidth: 10 * uScale
        implicitHeight: 6 * uScale
        Rectangle {
            objectName: "handle"
            anchors.centerIn: parent
            width: 10 * uScale
            height: parent.height
            radius: width / 2
            color: "#3DB199"
            Behavior on height { NumberAnimation { duration: 100 } }
        }
    }

    background: Rectangle {
        implicitWidth: 15 * uScale
        color: "#F3F3F3"
        radius: width / 2
        Rectangle {
            anchors.horizontalCenter: parent.horizontalCenter
            y: parent.radius
            width: 1.2 * uScale
            height: Math.max(0, parent.height - 2 * parent.radius)
            color: "#3DB199"
        }
    }
}
