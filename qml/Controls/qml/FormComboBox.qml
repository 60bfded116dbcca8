import QtQuick
import QtQuick.Shapes
import QtQuick.Controls.Material as M
import orvane.Branding
import orvane.Controls

// A pill-shaped drop-down with a triangle; the popup is the Material combo box's.
M.ComboBox {
    id: root

    implicitWidth: Math.max(370 + leftInset + rightInset, 330 + leftPadding + rightPadding)
    implicitHeight: Math.max(40 + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)

    font.family: "Raleway"
    font.styleName: "Regular"
    font.pixelSize: 24
    font.weight: Font.Normal
    font.capitalization: Font.MixedCase
    topInset: 0
    bottomInset: 0
    leftInset: 0
    rightInset: 0
    topPadding: 2
    bottomPadding: 2
    leftPadding: 2
    rightPadding: 40

    background: Rectangle {
        radius: height / 2
        color: OrvaneColors.formFieldControlBackground
    }

    contentItem: Label {
        id: contentLabel
        objectName: "contentLabel"
        text: root.displayText
        font: root.font
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        leftPadding: height
        rightPadding: height
        maximumLineCount: 1
        elide: Text.ElideRight
        background: Rectangle {
            radius: height / 2
            color: OrvaneColors.formFieldContentBackground
        }
    }

    // Drawn four times larger and scaled down, for a smooth small triangle.
    indicator: Shape {
        id: indicatorIcon
        objectName: "indicatorIcon"

        property real superScaling: 4
        property real borderWidth: 1

        width: 24 * superScaling
        height: 24 * superScaling
        scale: 1 / superScaling
        transformOrigin: Item.Right
        anchors.right: parent.right
        anchors.rightMargin: 7
        anchors.verticalCenter: parent.verticalCenter
        layer.enabled: true
        layer.mipmap: true

        ShapePath {
            id: indicatorPath

            property real pathWidth: (16 / Math.sqrt(0.75)) * indicatorIcon.superScaling
            property real pathHeight: 16 * indicatorIcon.superScaling

            fillColor: OrvaneColors.background
            strokeColor: OrvaneColors.formFieldContentBackground
            strokeWidth: indicatorIcon.borderWidth * indicatorIcon.superScaling
            joinStyle: ShapePath.RoundJoin
            startX: 3 * indicatorIcon.superScaling
            startY: 5 * indicatorIcon.superScaling
            PathLine {
                x: indicatorPath.startX + indicatorPath.pathWidth / 2
                y: indicatorPath.startY + indicatorPath.pathHeight
            }
            PathLine { x: indicatorPath.startX + indicatorPath.pathWidth; y: indicatorPath.startY }
            PathLine { x: indicatorPath.startX; y: indicatorPath.startY }
        }
    }
}
