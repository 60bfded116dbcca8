import QtQuick
import QtQuick.Controls.Material
import Qt5Compat.GraphicalEffects
import "../../Qml/OrvaneUI"

// The list of notifications, opened from the bell.
Popup {
    id: frame

    // The notifications listed when the list last changed: only a modal notification that was
    // not among them opens the popup, so an old one does not reopen it on every change.
    property var knownNotifications: []

    function takeNewNotifications() {
        const list = Notifications ? Notifications.notificationList : []
        let openIt = false
        for (let i = 0; i < list.length; ++i) {
            if (list[i] && list[i].modal && knownNotifications.indexOf(list[i]) < 0)
                openIt = true
        }
        knownNotifications = list.slice()
        if (openIt)
            open()
    }

    width: hRef * 540 / 1080
    height: hRef * 870 / 1080
    padding: 0
    // Kept inside the window's frame when the bell sits near its right edge.
    margins: 0
    rightMargin: hRef * 9 / 1080
    modal: false
    closePolicy: Popup.CloseOnEscape
    focus: true

    Component.onCompleted: takeNewNotifications()

    Connections {
        target: Notifications
        function onNotificationListChanged() { frame.takeNewNotifications() }
    }

    background: Item {
        Rectangle {
            width: parent.width
            height: parent.height - uScale * 20
            anchors.bottom: parent.bottom
            color: "transparent"
            clip: true

            ShaderEffectSource {
                id: behind
                anchors.fill: parent
                sourceItem: typeof viewStack !== "undefined" ? viewStack : null
                sourceRect: Qt.rect(frame.x, frame.y - (typeof applicationMenu !== "undefined"
                                                        && applicationMenu ? applicationMenu.height
                                                                           : 0) + uScale * 20,
                                    width, height)
                visible: false
            }
            FastBlur {
                anchors.fill: parent
                source: behind
                radius: frame.opened ? uScale * 32 : 0
                Behavior on radius { NumberAnimation { duration: 800 } }
            }
        }
        Image {
            anchors.fill: parent
            fillMode: Image.PreserveAspectFit
            source: "qrc:/Images/GUI/Notifications/NotificationFrame.png"
        }
    }

    contentItem: Item {
        RoundButton_rev2 {
            objectName: "closeButton"
            state: "Red"
            anchors.top: parent.top
            anchors.right: parent.right
            anchors.topMargin: uScale * 18
            anchors.rightMargin: uScale * 9
            onClicked: frame.close()
        }

        SimpleButton_rev2 {
            objectName: "clearAllButton"
            text: "CLEAR ALL"
            color: "white"
            width: uScale * 100
            height: uScale * 28
            anchors.left: parent.left
            anchors.top: parent.top
            anchors.leftMargin: uScale * 8
            anchors.topMargin: uScale * 15
            defaultOpacity: 0.25
            onOnClicked: Notifications.clearNotifications()
        }

        Column {
            width: frame.width * 1.04
            anchors.horizontalCenter: parent.horizontalCenter
            y: uScale * 3
            height: parent.height - y
            spacing: uScale * 15

            Item { width: 1; height: uScale * 20 }

            Rectangle {
                width: parent.width
                height: parent.height - uScale * 20 - parent.spacing
                color: "transparent"
                radius: hRef * 10 / 1080

                ListView {
                    id: list
                    objectName: "notificationListView"
                    x: hRef * 5 / 1080 + uScale * 20
                    y: uScale * 12 + uScale * 10
                    width: parent.width - uScale * 20 - hRef * 5 / 1080 - frame.width * 0.04
                    height: parent.height - uScale * 18 - uScale * 10
                    clip: true
                    spacing: hRef * 11 / 1080
                    model: Notifications ? Notifications.notificationList : []
                    delegate: NotificationDelegate {
                        width: list.width * 0.95
                        anchors.horizontalCenter: parent ? parent.horizontalCenter : undefined
                    }
                }
            }
        }
    }
}
