import QtQuick
import QtQuick.Templates as T
import orvane.Branding
import orvane.Controls

// A form text field: the text over a thin underline at its baseline.
T.TextField {
    id: root

    Accessible.name: text

    implicitWidth: (implicitBackgroundWidth + leftInset + rightInset)
                   || contentWidth + leftPadding + rightPadding
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             contentHeight + topPadding + bottomPadding)

    font.family: "Raleway"
    font.styleName: "Regular"
    font.pixelSize: 24
    font.weight: Font.Normal
    font.capitalization: Font.MixedCase
    verticalAlignment: Text.AlignVCenter
    horizontalAlignment: Text.AlignLeft

    background: Rectangle {
        objectName: "underline"
        height: 2
        y: root.topPadding + root.baselineOffset - root.topPadding
        color: OrvaneColors.formFieldTextUnderline
    }
}
