import QtQuick
import QtQuick.Templates as T
import QtQuick.Controls.Material.impl

T.Switch {
    id: control

    property bool backgroundAvailable: true

    width: 200 * uScale
    height: 50 * uScale
    implicitWidth: 200 * uScale
    implicitHeight: 50 * uScale
    padding: 0
    hoverEnabled: true

    indicator: Rectangle {
        width: control.width
        height: control.height
        radius: height / 2
        clip: true
        color: control.backgroundAvailable ? "#E5E5E5" : "transparent"

        Rectangle {
            id: housing
            anchors.centerIn: parent
            width: control.height * 23 / 26
            height: control.height / 2
            radius: height / 2
            rotation: 0
            layer.enabled: true
            layer.effect: ElevationEffect { elevation: control.hovered ? 3 : 2 }
            gradient: Gradient {
                orientation: Gradient.Horizontal
                GradientStop { position: 0; color: "#C1C2C3" }
                GradientStop { position: 1; color: "#353940" }
            }

            Rectangle {
                objectName: "ball"
                width: housing.height
                height: width
                radius: width / 2
                x: control.checked ? housing.width - width : 0
                color: control.checked ? "#3DB199" : "#B4B4B5"
                Behavior on x { NumberAnimation { duration: 200; easing.type: Easing.OutQuint } }
                Behavior on color { ColorAnimation { duration: 200 } }
            }

            Rectangle {
                anchors.fill: parent
                radius: parent.radius
                color: "white"
                opacity: control.enabled ? 0 : 0.5
                Behavior on opacity { NumberAnimation { duration: 150 } }
            }
        }
    }
    contentItem: null
    background: null
}
