import QtQuick
import QtQuick.Controls.Material
import orvane.Branding
import orvane.Controls

// A labelled form row holding one control: the label, right-aligned, left of a divider.
Control {
    id: root

    default property alias contentControl: root.contentItem
    property real labelWidth: 0
    required property string label
    readonly property real basePadding: 2
    readonly property real baseLeftRightInset: 22
    readonly property real labelTextWidth: metrics.advanceWidth(root.label)

    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    implicitHeight: Math.max(44 + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)

    font.family: "Raleway"
    font.weight: Font.Bold
    font.pixelSize: 24
    font.capitalization: Font.Capitalize
    leftPadding: labelWidth + baseLeftRightInset
    rightPadding: baseLeftRightInset
    topPadding: basePadding
    bottomPadding: basePadding

    FontMetrics {
        id: metrics
        font: root.font
    }

    background: Rectangle {
        radius: root.baseLeftRightInset
        color: OrvaneColors.formFieldLabelBackground

        Row {
            anchors.fill: parent
            Text {
                id: label
                objectName: "label"
                width: root.labelWidth
                height: parent.height
                leftPadding: 22
                rightPadding: 22
                text: root.label
                font: root.font
                verticalAlignment: Text.AlignVCenter
                horizontalAlignment: Text.AlignRight
            }
            Rectangle {
                id: divider
                objectName: "divider"
                width: 2
                height: root.height
                color: OrvaneColors.formFieldLabelDivider
            }
        }
    }
}
