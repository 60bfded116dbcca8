import QtQuick
import QtQuick.Templates as T
import Qt5Compat.GraphicalEffects

T.ProgressBar {
    id: control

    value: 0.5
    padding: 2
    implicitWidth: 200
    implicitHeight: 6

    background: null
    contentItem: Item {
        implicitHeight: 6

        Rectangle {
            objectName: "track"
            width: parent.width
            height: parent.height * 1.8
            y: (parent.height - height) / 2 + 0.5
            radius: height / 2
            color: "#e6e6e6"
        }

        Item {
            id: fillClip
            width: parent.width * control.visualPosition
            height: parent.height * 2
            y: (parent.height - height) / 2
            clip: true
            Rectangle {
                width: control.availableWidth
                height: parent.height
                radius: height / 2
                gradient: Gradient {
                    orientation: Gradient.Horizontal
                    GradientStop { position: 0; color: "#21409A" }
                    GradientStop { position: 1; color: "#3DB199" }
                }
            }
        }

        Rectangle {
            x: fillClip.width - width / 2
            anchors.verticalCenter: parent.verticalCenter
            width: 1
            height: parent.height * 2.4
            color: "white"
        }

        Rectangle {
            id: knob
            x: fillClip.width - width / 2
            anchors.verticalCenter: parent.verticalCenter
            width: parent.height * 2.2
            height: width
            radius: width / 2
            color: "white"
            Rectangle {
                anchors.centerIn: parent
                width: parent.width * 0.7
                height: width
                radius: width / 2
                color: "#3DB199"
            }
        }

        Text {
            objectName: "percent"
            x: knob.x + knob.width
            y: knob.y - height
            text: (control.value * 100).toFixed(0) + "%"
            font.pixelSize: Math.max(8, parent.height * 1.6)
            color: "#3C454D"
        }
    }
}
