import QtQuick
import QtQuick.Layouts
import orvane.Branding
import orvane.Controls

// A cell holding a one-line text field, editable or read-only.
TextField {
    id: field

    required property real columnWidth
    readonly property real marginsCorrection: Layout.fillWidth ? 0 : 2 * Layout.margins

    Layout.preferredWidth: columnWidth - marginsCorrection
    Layout.preferredHeight: parent ? 0.9 * parent.height : 0
    Layout.margins: parent ? 0.05 * parent.height : 0

    color: OrvaneColors.textFieldForeground
    font.pixelSize: 12
    font.weight: Font.Medium
    topPadding: 0
    bottomPadding: 0

    background: Rectangle {
        color: OrvaneColors.textFieldBackground
        radius: height / 2
    }
}
