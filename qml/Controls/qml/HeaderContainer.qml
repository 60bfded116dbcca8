import QtQuick
import QtQuick.Layouts

// The header row of a table: the 1-wide gaps between the cells show the dark band behind them
// as separators.
Rectangle {
    id: headerContainer

    default property alias columns: headerContainerLayout.data

    implicitHeight: 50
    color: "#e6e6e6"

    Rectangle {
        objectName: "headerBand"
        anchors.fill: parent
        anchors.topMargin: 10
        anchors.bottomMargin: 10
        color: "#b4b4b5"
    }

    RowLayout {
        id: headerContainerLayout
        objectName: "headerContainerLayout"
        anchors.fill: parent
        spacing: 1
    }
}
