import QtQuick
import QtQuick.Controls.Material
import Qt5Compat.GraphicalEffects
import "../OrvaneUI"

// One tile of the home screen. Reads the tile list's fields name, image, available, lockable.
Item {
    id: tile

    readonly property bool showingInfo: infoTimer.running || state === "info"
    readonly property bool hovered: area.containsMouse
    readonly property bool pressed: area.pressed

    signal launchModule

    objectName: "tile_" + model.name

    Pane {
        anchors.fill: parent
        padding: 0
        topInset: 0
        bottomInset: 0
        leftInset: 0
        rightInset: 0
        Material.elevation: tile.pressed ? 3 : tile.hovered ? 50 : 0
        Behavior on Material.elevation {
            NumberAnimation { duration: 500; easing.type: Easing.OutQuint }
        }
        background: Rectangle { radius: 2 * 12 * uScale; color: "#F3F3F3" }
    }

    Rectangle {
        id: frameMask
        anchors.fill: parent
        radius: tile.height * 12 / 305
        visible: false
    }

    Rectangle {
        id: frame
        anchors.fill: parent
        radius: tile.height * 12 / 305
        color: "#CCCBCA"
        // The gradient rim and its mask exist only while they can be seen: seven tiles of
        // effects would cost the home screen's first frame for nothing.
        layer.enabled: rimLoader.active
        layer.effect: OpacityMask { maskSource: frameMask }

        Loader {
            id: rimLoader
            property real shown: tile.hovered ? 1 : 0
            anchors.centerIn: parent
            width: parent.width * 1.3
            height: width
            active: shown > 0
            Behavior on shown { NumberAnimation { duration: 250 } }
            sourceComponent: LinearGradient {
                id: rim
                start: Qt.point(0, height)
                end: Qt.point(width, 0)
                opacity: rimLoader.shown
                gradient: Gradient {
                    GradientStop { position: 0; color: "#E6E6E6" }
                    GradientStop { position: 0.8; color: "#3DB199" }
                    GradientStop { position: 1.0; color: "#4B469D" }
                }
                RotationAnimator on rotation {
                    from: 0
                    to: 360
                    duration: 3000
                    loops: Animation.Infinite
                    running: tile.hovered
                }
            }
        }

        Rectangle {
            id: face
            readonly property real inset: tile.width * (tile.hovered ? 5 : 2.5) / 305
            x: inset
            y: inset
            width: tile.width - 2 * inset
            height: tile.height - 2 * inset
            radius: Math.max(0, frame.radius - inset)
            color: "#F3F3F3"
            clip: true

            Rectangle {
                width: parent.width
                height: tile.pressed ? tile.height * 127 / 304 + 10 : parent.height
                opacity: tile.pressed ? 1 : 0
                color: "#C5E0D9"
                Behavior on height { NumberAnimation { duration: 150; easing.type: Easing.OutQuad } }
                Behavior on opacity { NumberAnimation { duration: 150; easing.type: Easing.OutQuad } }
            }
        }
    }

    Image {
        id: icon
        objectName: "tileImage"
        anchors.fill: parent
        fillMode: Image.PreserveAspectFit
        asynchronous: true
        mipmap: true
        source: model.image
    }

    Loader {
        anchors.fill: icon
        active: tile.state === "info"
        sourceComponent: FastBlur { source: icon; radius: 16 }
    }

    Image {
        visible: model.name === "Device Updates"
        x: tile.width * 176 / 302
        y: tile.width * 51 / 302
        width: tile.width * 65 / 302
        height: width
        source: "qrc:/Images/GUI/ModuleIcons/UpdatesCounter.png"
        fillMode: Image.PreserveAspectFit
        Text {
            objectName: "updatesCount"
            anchors.centerIn: parent
            text: typeof HardwareUpdate !== "undefined" && HardwareUpdate
                  ? HardwareUpdate.availableUpdates : 0
            color: "white"
            font.bold: true
            font.pixelSize: Math.max(1, 30 * uScale)
        }
    }

    Text {
        id: title
        objectName: "tileTitle"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: tile.height * 41 / 305
        text: model.name
        textFormat: Text.PlainText
        font.family: "Raleway"
        font.weight: Font.Light
        font.pixelSize: Math.max(1, tile.height * 24 / 304)
        color: model.available ? "black" : "#C8C9CB"
    }

    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.LeftButton
        enabled: model.available
        onClicked: tile.launchModule()
    }

    Rectangle {
        id: lockOverlay
        objectName: "lockOverlay"
        visible: !model.available
        anchors.centerIn: parent
        width: parent.width * 285 / 305
        height: parent.height * 285 / 305
        radius: width * 17 / 300
        color: "#99ffffff"
        opacity: 0.85
        clip: true

        Image {
            id: bars
            anchors.fill: parent
            source: "qrc:/Images/GUI/ModuleIcons/Overlay_rev2.png"
            fillMode: Image.PreserveAspectCrop
        }

        Image {
            id: infoPicture
            objectName: "infoPicture"
            anchors.centerIn: parent
            width: tile.width * 289 / 305
            height: tile.height * 289 / 305
            fillMode: Image.PreserveAspectFit
            visible: false
            source: model.lockable === true ? "qrc:/Images/GUI/ModuleIcons/infoLockable.png"
                                            : "qrc:/Images/GUI/ModuleIcons/LockoutInfo.png"
        }
    }

    RoundButton_rev2 {
        id: infoButton
        objectName: "infoButton"
        visible: !model.available
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.rightMargin: tile.height * 15 / 289
        anchors.bottomMargin: tile.height * 15 / 289
        state: tile.state === "info" ? "Cross" : "Info"
        onClicked: {
            if (tile.state === "info") {
                infoTimer.stop()
                tile.state = ""
            } else {
                tile.state = "info"
                infoTimer.start()
            }
        }
    }

    Timer {
        id: infoTimer
        interval: 5000
        onTriggered: tile.state = ""
    }

    states: State {
        name: "info"
        PropertyChanges { target: bars; visible: false }
        PropertyChanges { target: icon; visible: false }
        PropertyChanges { target: title; visible: false }
        PropertyChanges { target: infoPicture; visible: true }
    }
}
