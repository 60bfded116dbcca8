import QtQuick

// A sortable column header: each click flips the direction and asks for a sort.
Item {
    id: root

    property string labelName: "value"

    signal sort(string labelName, string direction)

    implicitWidth: label.implicitWidth + indicator.width + hRef * 5 / 1080
    implicitHeight: label.implicitHeight
    state: "inactiveSortable"

    Text {
        id: label
        anchors.centerIn: parent
        text: root.labelName
        textFormat: Text.PlainText
        font.family: "Poppins"
        font.weight: Font.ExtraLight
        font.pixelSize: Math.max(1, hRef * 14 / 1080)
    }

    Image {
        id: indicator
        objectName: "indicator"
        anchors.left: label.right
        anchors.leftMargin: hRef * 5 / 1080
        anchors.verticalCenter: label.verticalCenter
        source: "qrc:/Images/GUI/FileViewer/HeaderLabels/LabelSortIcon.png"
        width: sourceSize.width / 2
        height: sourceSize.height / 2
        rotation: 270
        transform: Scale {
            id: flatten
            origin.y: indicator.height / 2
            yScale: 0.3
        }
        Behavior on rotation { SpringAnimation { spring: 3; damping: 0.2; modulus: 360 } }
    }

    MouseArea {
        id: area
        anchors.fill: parent
        onClicked: {
            root.state = root.state === "down" ? "up" : "down"
            root.sort(root.labelName, root.state)
        }
    }

    states: [
        State {
            name: "up"
            PropertyChanges { target: indicator; rotation: 0; visible: true }
            PropertyChanges { target: flatten; yScale: 1 }
            PropertyChanges { target: label; font.weight: Font.Normal }
        },
        State {
            name: "down"
            PropertyChanges { target: indicator; rotation: 180; visible: true }
            PropertyChanges { target: flatten; yScale: 1 }
            PropertyChanges { target: label; font.weight: Font.Normal }
        },
        State {
            name: "inactiveSortable"
            PropertyChanges { target: indicator; rotation: 270; visible: true }
            PropertyChanges { target: flatten; yScale: 0.3 }
            PropertyChanges { target: label; font.weight: Font.ExtraLight }
        },
        State {
            name: "nonSortable"
            PropertyChanges { target: indicator; visible: false }
            PropertyChanges { target: area; enabled: false }
        }
    ]
}
