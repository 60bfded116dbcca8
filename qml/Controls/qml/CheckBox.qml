import QtQuick
import QtQuick.Templates as T
import orvane.Controls
import orvane.Branding

// A check box drawn as a toggle switch, by default on a grey pill of its own.
T.CheckBox {
    id: control

    property bool drawBackground: true

    // Without background: the switch and the label's text side by side.
    implicitWidth: drawBackground ? 100 : 40 + (contentItem ? contentItem.contentWidth : 0)
    implicitHeight: drawBackground ? 40 : 20

    horizontalPadding: drawBackground ? 30 : 0
    verticalPadding: drawBackground ? 10 : 0

    font.family: "Raleway"
    font.weight: Font.Normal
    font.pixelSize: 24
    font.capitalization: Font.MixedCase

    background: Rectangle {
        objectName: "checkBoxBackground"
        visible: control.drawBackground
        radius: 20
        color: OrvaneColors.formFieldControlBackground
    }

    indicator: Item {
        id: indicatorItem
        objectName: "indicator"
        implicitWidth: 40
        implicitHeight: 20
        x: control.text === "" ? (control.width - width) / 2 : control.leftPadding
        y: control.topPadding

        Rectangle {
            id: track
            objectName: "track"
            anchors.fill: parent
            radius: 10
            layer.enabled: true
            layer.smooth: true
            layer.samplerName: "colorSource"
            layer.effect: ShaderEffect {
                property color stopA: OrvaneColors.buttonColor
                property color stopB: Qt.tint(OrvaneColors.buttonColor, "#b4FFFFFF")
                fragmentShader: "gradient.frag.qsb"
            }
        }

        Rectangle {
            id: slider
            objectName: "slider"
            width: 20
            height: 20
            radius: 10
            x: 0
            color: OrvaneColors.formFieldToggleFalse
        }
    }

    contentItem: Text {
        objectName: "label"
        leftPadding: indicatorItem.width + control.leftPadding
        rightPadding: 0
        text: control.text
        font: control.font
        color: control.enabled ? OrvaneColors.primaryTextColor
                               : Qt.alpha(OrvaneColors.primaryTextColor, 0.5)
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
    }

    states: State {
        name: "on"
        when: control.checked
        PropertyChanges {
            target: slider
            x: indicatorItem.width - slider.width
            color: OrvaneColors.formFieldToggleTrue
        }
    }

    transitions: Transition {
        ParallelAnimation {
            NumberAnimation { target: slider; property: "x"; duration: 100 }
            ColorAnimation { target: slider; property: "color"; duration: 100 }
        }
    }
}
