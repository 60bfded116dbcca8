import QtQuick
import orvane.Branding

// A rounded table: a frame, a slot for a header and a scrolling list of rows. The table knows
// nothing of its data: a page gives it the model, the header and the row.
Rectangle {
    id: table

    property alias header: headerLoader.sourceComponent
    property alias model: rowList.model
    property alias row: rowList.delegate
    readonly property alias listView: rowList
    readonly property int baseRadius: 30
    readonly property int contentMargin: 70

    Accessible.role: Accessible.Table
    color: "#c4c4c4"
    radius: baseRadius

    Rectangle {
        id: headerArea
        objectName: "headerArea"
        anchors.fill: parent
        anchors.margins: 5
        color: "#e6e6e6"
        radius: table.baseRadius - 5

        Loader {
            id: headerLoader
            objectName: "headerLoader"
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.leftMargin: table.contentMargin
            anchors.rightMargin: table.contentMargin
            // The header keeps its own height (a loader sized by its item would size it back).
            height: item ? item.implicitHeight : 0
        }

        Rectangle {
            id: contentArea
            objectName: "contentArea"
            anchors.fill: parent
            anchors.topMargin: headerLoader.height
            color: "#ffffff"
            radius: headerArea.radius
            clip: true

            ListView {
                id: rowList
                objectName: "rowList"
                anchors.fill: parent
                anchors.topMargin: headerArea.radius / 2
                anchors.leftMargin: table.contentMargin
                anchors.rightMargin: table.contentMargin
                spacing: 5
            }
        }
    }
}
