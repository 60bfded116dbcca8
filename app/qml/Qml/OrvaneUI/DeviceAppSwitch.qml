import QtQuick
import QtQuick.Shapes
import com.orvane 1.0
import "../Forms"

// Starts or stops the application on the selected Pelto: hold for 1500 ms or double-click.
Rectangle {
    id: root

    readonly property real stateWidth: uScale * 175
    readonly property var device: orvFactory ? orvFactory.selectedDevice : null
    readonly property int appStatus: device && device.appStatus !== undefined
                                     ? device.appStatus : ControlChannel.Unknown
    readonly property var texts: {
        switch (appStatus) {
        case ControlChannel.Stopped:
            return ["Stopped", "The loaded application is not running"]
        case ControlChannel.Loaded:
            return ["Loaded", "An application is loaded on the device"]
        case ControlChannel.Running:
            return ["Running", "The loaded application is being executed"]
        case ControlChannel.Killed:
            return ["Killed", "The loaded application was killed"]
        case ControlChannel.Crashed:
            return ["Crashed", "The loaded application has crashed"]
        case ControlChannel.Paused:
            return ["Paused", "The loaded application is paused"]
        case ControlChannel.NotLoaded:
            return ["Not Loaded", "No application is loaded"]
        case ControlChannel.Stopping:
            return ["Stopping", "The loaded application is shutting down"]
        case ControlChannel.Loading:
            return ["Loading", "The application is loading"]
        default:
            return ["Unknown", "The current application status is not known"]
        }
    }
    readonly property string statusText: device ? texts[0] : "Unknown"
    readonly property string toolTipText: device ? texts[1] : ""
    property real holdProgress: 0

    signal activated

    function toggle() {
        if (device)
            device.toggleAppState()
        activated()
    }

    width: stateWidth
    radius: height / 2
    color: "white"
    opacity: device ? 1 : 0
    Behavior on opacity { NumberAnimation { duration: 300 } }

    NumberAnimation {
        id: holdAnimation
        target: root
        property: "holdProgress"
        from: 0
        to: 1
        duration: 1500
        onFinished: {
            if (area.pressed)
                root.toggle()
        }
    }

    Item {
        id: pictureBox
        x: root.height / 2 - width / 2 + 4 * uScale
        anchors.verticalCenter: parent.verticalCenter
        width: 30 * uScale
        height: 30 * uScale

        Image {
            objectName: "appPicture"
            anchors.fill: parent
            anchors.margins: 4 * uScale
            fillMode: Image.PreserveAspectFit
            mipmap: true
            source: root.device && root.device.appRunning ? "qrc:/Images/GUI/MainMenu/Pause.png"
                                                          : "qrc:/Images/GUI/MainMenu/Play.png"
        }

        Shape {
            anchors.fill: parent
            visible: root.holdProgress > 0
            ShapePath {
                strokeColor: "#3EB299"
                strokeWidth: 5 * uScale
                fillColor: "transparent"
                capStyle: ShapePath.RoundCap
                PathAngleArc {
                    centerX: pictureBox.width / 2
                    centerY: pictureBox.height / 2
                    radiusX: pictureBox.width / 2
                    radiusY: pictureBox.height / 2
                    startAngle: 108
                    sweepAngle: 324 * root.holdProgress
                }
            }
        }
    }

    Text {
        objectName: "appStatusText"
        anchors.left: pictureBox.right
        anchors.leftMargin: 10 * uScale
        anchors.verticalCenter: parent.verticalCenter
        text: root.statusText
        font.family: "Poppins"
        font.weight: Font.Light
        font.italic: true
        font.pixelSize: Math.max(1, 15 * uScale)
        color: "#B4B4B5"
    }

    MouseArea {
        id: area
        objectName: "appSwitchArea"
        anchors.fill: parent
        enabled: root.device !== null
        onPressed: holdAnimation.restart()
        onReleased: {
            holdAnimation.stop()
            root.holdProgress = 0
        }
        onCanceled: {
            holdAnimation.stop()
            root.holdProgress = 0
        }
        onDoubleClicked: root.toggle()
    }

    OrvToolTip {
        buttonToolTip: root.toolTipText
        horizontalPosition: OrvToolTip.HPosition.Center
    }
}
