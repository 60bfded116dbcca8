import QtQuick
import QtQuick.Layouts
import orvane.Branding

// A pill-shaped cell of a table row; a fixed cell takes exactly `columnWidth` of the row.
Rectangle {
    required property real columnWidth
    readonly property real marginsCorrection: Layout.fillWidth ? 0 : 2 * Layout.margins

    color: OrvaneColors.tableColumnColor
    radius: height / 2

    Layout.preferredWidth: columnWidth - marginsCorrection
    Layout.preferredHeight: parent ? 0.9 * parent.height : 0
    Layout.margins: parent ? 0.05 * parent.height : 0
}
