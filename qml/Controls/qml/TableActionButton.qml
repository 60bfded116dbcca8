import QtQuick
import QtQuick.Controls.Material
import orvane.Branding

// A round button placed inside a table cell.
AbstractButton {
    id: actionButton

    property color color: OrvaneColors.primaryTextColor
    property color buttonColor: OrvaneColors.mainBorderColor

    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    implicitHeight: implicitContentHeight + topPadding + bottomPadding

    font.pixelSize: 12
    font.weight: Font.Medium
    opacity: enabled ? 1 : 0.3

    background: Rectangle {
        radius: height / 2
        color: actionButton.hovered && actionButton.enabled && !actionButton.pressed
               ? Qt.darker(actionButton.buttonColor, 1.5) : actionButton.buttonColor
    }

    contentItem: Text {
        text: actionButton.text
        font: actionButton.font
        color: actionButton.color
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        renderType: Text.QtRendering
        renderTypeQuality: Text.LowRenderTypeQuality
    }
}
