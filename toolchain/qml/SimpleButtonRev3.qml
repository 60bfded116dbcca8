import QtQuick
import QtQuick.Templates as T

// Stand-in of the shared push button until the widget set provides it: a pill with the looks
// "green", "black" and "red", and "hovered" while the mouse is over it.
T.Button {
    id: control

    property string originalState: "green"

    implicitWidth: 140
    implicitHeight: 35
    state: hovered ? "hovered" : originalState

    readonly property color face: state === "hovered" ? "#6d6e71"
        : state === "black" ? "#1d252f" : state === "red" ? "#dd0830" : "#3db199"

    background: Rectangle {
        radius: height / 2
        color: control.enabled ? control.face : "#b4b4b4"
    }
    contentItem: Text {
        text: control.text
        color: "#ffffff"
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        font.family: "Poppins"
        font.weight: Font.DemiBold
        font.pixelSize: Math.max(8, control.height * 0.45)
    }
}
