import QtQuick
import QtQuick.Templates as T
import QtQuick.Controls.Material
import QtQuick.Controls.Material.impl

// A pill-shaped text button whose colour scheme ("green", "black", "red") is chosen by
// originalState; hovering overrides the scheme.
T.Button {
    id: control

    property string originalState: "green"

    text: qsTr("Button")
    width: 140 * uScale
    height: 35 * uScale
    implicitWidth: 140 * uScale
    implicitHeight: 35 * uScale
    padding: 12
    horizontalPadding: 8
    verticalPadding: 0
    topInset: 0
    bottomInset: 0
    leftInset: 0
    rightInset: 0
    spacing: 6
    hoverEnabled: true
    state: hovered ? "hovered" : originalState

    contentItem: Text {
        objectName: "label"
        text: control.text
        font.family: "Poppins"
        font.weight: Font.DemiBold
        font.pixelSize: Math.max(1, 12 * uScale)
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        textFormat: Text.PlainText
        color: control.pressed ? "white" : control.hovered ? "black" : "white"
        opacity: control.enabled ? 1 : 0.3
    }

    background: Rectangle {
        objectName: "pill"
        radius: height / 2
        opacity: control.enabled ? 1 : 0.3
        border.width: control.hovered || control.pressed ? 0.6 * uScale : 0
        border.color: control.pressed ? "#9AC8C4" : "#3C454D"
        layer.enabled: true
        layer.effect: ElevationEffect {
            elevation: control.hovered ? 3 : 2
        }
        gradient: Gradient {
            orientation: Gradient.Horizontal
            GradientStop {
                id: firstStop
                objectName: "firstStop"
                position: control.hovered ? 0.6 : 0
                color: "#84C1B5"
                Behavior on position { NumberAnimation { duration: 100 } }
                Behavior on color { ColorAnimation { duration: 100 } }
            }
            GradientStop {
                id: secondStop
                objectName: "secondStop"
                position: 1
                color: "#1E8C9F"
                Behavior on color { ColorAnimation { duration: 100 } }
            }
        }
    }

    states: [
        State {
            name: "green"
            PropertyChanges { target: firstStop; color: "#84C1B5" }
            PropertyChanges { target: secondStop; color: "#1E8C9F" }
        },
        State {
            name: "black"
            PropertyChanges { target: firstStop; color: "#676868" }
            PropertyChanges { target: secondStop; color: "#222A32" }
        },
        State {
            name: "red"
            PropertyChanges { target: firstStop; color: "#C42753" }
            PropertyChanges { target: secondStop; color: "#DC2145" }
        },
        State {
            name: "hovered"
            PropertyChanges { target: firstStop; color: "#88C0B9" }
            PropertyChanges { target: secondStop; color: "#88C0B9" }
        },
        // Keeps whatever colours the stops have now.
        State { name: "greenAnimating" }
    ]
}
