import QtQuick
import QtQuick.Controls.Material
import QtQuick.Controls.Material.impl

// A round picture button; its state chooses the picture.
MouseArea {
    id: root

    readonly property string picture: {
        switch (state) {
        case "CrossDark": return "qrc:/Images/GUI/Buttons/RoundButton/RoundButton_state_0.png"
        case "Info": return "qrc:/Images/GUI/Buttons/RoundButton/RoundButton_state_1.png"
        case "Red": return "qrc:/Images/GUI/Buttons/RoundButton/RoundButton_state_3.png"
        case "Stop": return "qrc:/Images/GUI/Buttons/RoundButton/RoundButton_state_4.png"
        case "Download":
        case "Upload": return "qrc:/Images/GUI/BinList/Delegates/DownloadButton.png"
        default: return "qrc:/Images/GUI/Buttons/RoundButton/RoundButton_state_2.png"
        }
    }

    width: (state === "Red" ? 21 : 25) * hRef / 1080
    height: width
    hoverEnabled: true
    preventStealing: true

    // A Pane would take the clicks meant for the button: the Material elevation is drawn on a
    // plain disc instead.
    Rectangle {
        id: disc
        property real elevation: root.containsMouse ? 5 : 0
        Behavior on elevation { NumberAnimation { duration: 500; easing.type: Easing.OutQuint } }
        anchors.fill: parent
        radius: width / 2
        color: "white"
        layer.enabled: elevation > 0
        layer.effect: ElevationEffect { elevation: disc.elevation }
    }

    Image {
        objectName: "picture"
        anchors.fill: parent
        source: root.picture
        rotation: root.state === "Upload" ? 180 : 0
        fillMode: Image.PreserveAspectFit
        mipmap: true
    }

    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: "white"
        opacity: 0.5
        visible: !root.enabled
    }

    states: [
        State { name: "CrossDark" }, State { name: "Info" }, State { name: "Cross" },
        State { name: "Red" }, State { name: "Stop" }, State { name: "Download" },
        State { name: "Upload" }
    ]
}
