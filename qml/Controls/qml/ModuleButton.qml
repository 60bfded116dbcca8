import QtQuick
import QtQuick.Templates as T
import orvane.Branding

// A large square tile for choosing a module: a big icon over a thin caption; the ring lights
// up in a gradient under the pointer.
T.Button {
    id: control

    implicitWidth: implicitBackgroundWidth + leftInset + rightInset
    implicitHeight: implicitBackgroundHeight + topInset + bottomInset

    spacing: height * 0.1
    icon.width: Math.trunc(width * 0.4)
    icon.height: Math.trunc(height * 0.4)
    font.family: "Raleway Thin"
    font.capitalization: Font.MixedCase
    font.pixelSize: Math.trunc(height * 0.1)

    contentItem: Item {
        implicitWidth: childrenRect.width
        implicitHeight: childrenRect.height

        Item {
            anchors.centerIn: parent
            implicitWidth: Math.max(icon.width, label.implicitWidth)
            implicitHeight: icon.height + label.implicitHeight + control.spacing

            Image {
                id: icon
                objectName: "moduleIcon"
                width: control.icon.width
                height: control.icon.height
                mipmap: true
                anchors.horizontalCenter: parent.horizontalCenter
                y: 0
                source: control.icon.source
                fillMode: Image.PreserveAspectFit
            }
            Text {
                id: label
                objectName: "moduleLabel"
                anchors.top: icon.bottom
                anchors.topMargin: control.spacing
                anchors.horizontalCenter: parent.horizontalCenter
                text: control.text
                font: control.font
                color: OrvaneColors.primaryTextColor
                opacity: enabled ? 1.0 : 0.3
            }
        }
    }

    background: Rectangle {
        implicitWidth: 300
        implicitHeight: 300
        radius: width * 0.04
        color: OrvaneColors.borderColor
        gradient: control.hovered ? borderGradient : null

        Gradient {
            id: borderGradient
            orientation: Gradient.Horizontal
            GradientStop { position: 0.0; color: "#E6E6E6" }
            GradientStop { position: 0.8; color: "#3DB199" }
            GradientStop { position: 1.0; color: "#4B469D" }
        }

        Rectangle {
            objectName: "moduleFace"
            anchors.fill: parent
            anchors.margins: 1
            radius: width * 0.04
            color: control.hovered ? OrvaneColors.bigButtonHoverColor : OrvaneColors.bigButtonColor
        }
    }
}
