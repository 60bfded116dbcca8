import QtQuick
import orvane.Branding

// The check mark of a table row's check box: a dot that pulses on every change of state.
Item {
    id: indicator

    property Item control
    property int checkState: control ? control.checkState : Qt.Unchecked

    implicitWidth: 18
    implicitHeight: 18

    Rectangle {
        id: dot
        objectName: "dot"
        anchors.centerIn: parent
        width: indicator.width * 0.8
        height: indicator.height * 0.8
        radius: width / 2
        color: OrvaneColors.accentColor
        visible: indicator.checkState !== Qt.Unchecked
        scale: indicator.checkState === Qt.PartiallyChecked ? 0 : 1

        Behavior on scale { NumberAnimation { duration: 100 } }
    }

    states: [
        State { name: "checked"; when: indicator.checkState === Qt.Checked },
        State { name: "partiallychecked"; when: indicator.checkState === Qt.PartiallyChecked },
        State { name: "unchecked"; when: indicator.checkState === Qt.Unchecked }
    ]

    transitions: Transition {
        SequentialAnimation {
            NumberAnimation {
                target: indicator
                property: "scale"
                to: 1 - 2 / indicator.width
                duration: 120
            }
            NumberAnimation {
                target: indicator
                property: "scale"
                to: 1
                duration: 120
            }
        }
    }
}
