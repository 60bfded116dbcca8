import QtQuick

// One column title of a table header.
Rectangle {
    property alias text: headerText.text

    implicitHeight: parent ? parent.height : 0
    color: "#e6e6e6"

    Text {
        id: headerText
        objectName: "headerText"
        anchors.centerIn: parent
    }
}
