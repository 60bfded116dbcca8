import QtQuick
import Qt5Compat.GraphicalEffects

// A ring of progress; while busy it shows 40 % and turns.
Item {
    id: root

    property real progress: 0
    property bool busy: false
    readonly property real displayedValue: busy ? 0.4 : progress

    signal finished

    implicitWidth: 60
    implicitHeight: 60

    onProgressChanged: {
        if (progress === 1.0)
            finished()
    }

    Rectangle {
        id: disc
        anchors.centerIn: parent
        width: parent.width * 0.96
        height: width
        radius: width / 2
        visible: false
    }

    ConicalGradient {
        objectName: "ring"
        anchors.centerIn: parent
        width: parent.width * 0.96
        height: parent.height * 0.96
        source: disc
        gradient: Gradient {
            GradientStop { position: 0; color: "#3DB199" }
            GradientStop { position: Math.max(0.001, root.displayedValue); color: "#4A4A9D" }
            GradientStop {
                position: Math.min(1.0, root.displayedValue + 0.1)
                color: "#EAEAEA"
            }
            GradientStop {
                position: root.displayedValue + 0.1 >= 0.9 ? 1.0 : 0.9
                color: "#EAEAEA"
            }
            GradientStop { position: 1.0; color: "white" }
        }
    }

    Rectangle {
        id: centre
        anchors.centerIn: parent
        width: parent.width * (hover.containsMouse ? 0.777 : 0.577)
        height: width
        radius: width / 2
        color: "white"
        Behavior on width { NumberAnimation { duration: 100 } }

        Text {
            objectName: "percent"
            anchors.centerIn: parent
            text: Math.floor(root.progress * 100) + "%"
            font.family: "Raleway"
            font.weight: Font.ExtraBold
            font.pixelSize: Math.max(1, root.height * 0.3)
            color: "#181344"
            opacity: hover.containsMouse ? 1 : 0
            Behavior on opacity { NumberAnimation { duration: 100 } }
        }
    }

    MouseArea {
        id: hover
        anchors.fill: parent
        hoverEnabled: !root.busy
        acceptedButtons: Qt.NoButton
    }

    NumberAnimation on rotation {
        from: 360
        to: 0
        duration: 2000
        loops: Animation.Infinite
        running: root.busy
    }
}
