import QtQuick
import QtQuick.Layouts
import orvane.Branding
import orvane.Controls

// One pill-shaped row of a table: an optional selection check box, then the cells.
Rectangle {
    id: tableRow

    default property alias columns: rowLayout.data
    property bool markCurrent: false
    property bool current: ListView.isCurrentItem
    property bool selectable: false
    property alias selected: selectionCheckbox.checked
    property alias checkbox: selectionCheckbox

    Accessible.role: Accessible.Row
    height: 30
    width: ListView.view ? ListView.view.width : implicitWidth
    radius: height / 2
    color: selected ? OrvaneColors.tableSelectedRowColor : OrvaneColors.tableRowColor
    border.width: markCurrent && current ? 2 : 0
    border.color: OrvaneColors.accentColor

    RowLayout {
        id: rowLayout
        objectName: "rowLayout"
        anchors.fill: parent
        anchors.margins: 1
        spacing: 0

        TableSelectionCheckbox {
            id: selectionCheckbox
            objectName: "selectionCheckbox"
            Layout.alignment: Qt.AlignLeft | Qt.AlignVCenter
            Layout.leftMargin: 1
            Layout.preferredWidth: tableRow.height - 4
            Layout.preferredHeight: tableRow.height - 4
            visible: tableRow.selectable
        }
    }
}
