import QtQuick
import QtQuick.Templates as T
import orvane.Branding
import orvane.Controls

// A titled group without a frame.
T.GroupBox {
    id: root

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            contentWidth + leftPadding + rightPadding,
                            implicitLabelWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             contentHeight + topPadding + bottomPadding)

    font.family: "Raleway"
    font.weight: Font.Bold
    font.pixelSize: 24
    spacing: 5
    topPadding: (label ? label.height : 0) + spacing

    label: Text {
        id: label
        objectName: "title"
        x: root.leftPadding
        width: root.availableWidth
        topPadding: contentHeight
        text: root.title
        font: root.font
        color: OrvaneColors.primaryTextColor
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
    }

    background: Item {}
}
