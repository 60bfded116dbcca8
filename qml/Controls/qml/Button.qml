import QtQuick
import QtQuick.Templates as T
import QtQuick.Controls.Material.impl
import orvane.Controls
import orvane.Branding

// A pill with a diagonal two-colour face and a centred bold label.
T.Button {
    id: control

    property color color: OrvaneColors.buttonColor

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)

    leftPadding: height
    rightPadding: height
    topPadding: 0
    bottomPadding: 0

    font.family: "Raleway"
    font.weight: Font.Bold
    font.pixelSize: 24
    font.capitalization: Font.MixedCase

    contentItem: Text {
        objectName: "label"
        text: control.text
        font: control.font
        color: control.enabled ? OrvaneColors.background
                               : Qt.tint(OrvaneColors.primaryTextColor, Qt.alpha("white", 0.5))
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideNone
        wrapMode: Text.NoWrap
    }

    background: Item {
        Rectangle {
            id: gradientRect
            objectName: "gradientRect"

            property color buttonColor: control.color
            property color hightlightColor: Qt.tint(buttonColor, "#b4FFFFFF")
            property color gradientStopA: control.enabled
                                          ? buttonColor
                                          : Qt.tint(buttonColor, Qt.alpha("white", 0.5))
            property color gradientStopB: control.enabled
                                          ? hightlightColor
                                          : Qt.tint(hightlightColor, Qt.alpha("white", 0.5))

            anchors.fill: parent
            radius: height / 2

            Behavior on gradientStopA { ColorAnimation { duration: 100 } }
            Behavior on gradientStopB { ColorAnimation { duration: 100 } }

            layer.enabled: true
            layer.smooth: true
            layer.samplerName: "colorSource"
            layer.effect: ShaderEffect {
                property color stopA: gradientRect.gradientStopA
                property color stopB: gradientRect.gradientStopB
                fragmentShader: "gradient.frag.qsb"
            }
        }
    }

    states: State {
        name: "hover"
        when: control.hovered && control.enabled
        PropertyChanges {
            target: gradientRect
            gradientStopA: Qt.lighter(gradientRect.buttonColor, 1.2)
            gradientStopB: Qt.lighter(gradientRect.hightlightColor, 1.2)
        }
    }
}
