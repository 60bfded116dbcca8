import QtQuick
import Qt5Compat.GraphicalEffects

// The bell of the top bar with the number of listed notifications.
Item {
    id: root

    readonly property int count: Notifications ? Notifications.notificationCount : 0

    signal pressed

    Glow {
        anchors.fill: bell
        source: bell
        color: "lightgrey"
        visible: area.containsMouse
        radius: area.pressed ? uScale * 9 : uScale * 4
        opacity: area.pressed ? 0.8 : 0.5
        Behavior on radius { NumberAnimation { duration: 150 } }
    }

    Image {
        id: bell
        objectName: "bellImage"
        anchors.centerIn: parent
        width: root.height
        height: root.height
        fillMode: Image.PreserveAspectFit
        mipmap: true
        sourceSize.width: root.height * 35 / 72
        sourceSize.height: root.height * 35 / 72
        source: root.count > 0 ? "qrc:/Images/GUI/Notifications/Notification_nonzero.png"
                               : "qrc:/Images/GUI/Notifications/Notification_zero.png"

        Text {
            objectName: "bellCount"
            // The picture is drawn into the middle of the item; the counter follows its disc.
            readonly property real side: Math.min(bell.paintedWidth, bell.paintedHeight)
            x: (bell.width + side) / 2 - side * 18 / 72 - width / 2 + side * 5 / 72
            y: (bell.height - side) / 2 + side * 1 / 72
            width: side * 19 / 72
            height: side * 17 / 72
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            color: "white"
            font.family: "Raleway"
            font.weight: Font.ExtraBold
            font.pixelSize: Math.max(1, uScale * 11)
            text: root.count
            visible: root.count !== 0
        }
    }

    MouseArea {
        id: area
        anchors.fill: bell
        hoverEnabled: true
        onClicked: root.pressed()
    }
}
