import QtQuick
import QtQuick.Controls
import "../../../Qml/Forms"

// One signal row: name, dimensions and output data rate; expanded, a grid of its elements, each a
// drag source a plot slot accepts.
Item {
    id: row

    property var simulinkVariable: null
    property real expandedHeight: 35 * uScale
    property bool appRunning: false
    // The page's layout row: its `dragActive` tells the plot panels to show their slots.
    property var dragState: null
    readonly property int rows: simulinkVariable ? simulinkVariable.rows : 0
    readonly property int columns: simulinkVariable ? simulinkVariable.columns : 0
    readonly property int odr: simulinkVariable ? simulinkVariable.ODR : 0

    state: "collapsed"
    height: 35 * uScale
    clip: true

    states: [
        State {
            name: "collapsed"
            PropertyChanges { target: row; height: 35 * uScale }
            PropertyChanges { target: gridLoader; active: false; opacity: 0 }
        },
        State {
            name: "expanded"
            PropertyChanges { target: row; height: row.expandedHeight }
            PropertyChanges { target: gridLoader; active: true; opacity: 1 }
        }
    ]
    transitions: [
        Transition {
            to: "expanded"
            SequentialAnimation {
                NumberAnimation { target: row; property: "height"; duration: 150 }
                PropertyAction { target: gridLoader; property: "active" }
                NumberAnimation { target: gridLoader; property: "opacity"; duration: 150 }
            }
        },
        Transition {
            to: "collapsed"
            SequentialAnimation {
                NumberAnimation { target: gridLoader; property: "opacity"; duration: 150 }
                PropertyAction { target: gridLoader; property: "active" }
                NumberAnimation { target: row; property: "height"; duration: 150 }
            }
        }
    ]

    Rectangle {
        id: toggle
        objectName: "expandButton"
        x: 5 * uScale
        y: 5 * uScale
        width: 25 * uScale
        height: width
        radius: width / 2
        color: "#8E9297"
        enabled: row.height > 0
        Text {
            anchors.centerIn: parent
            text: row.state === "expanded" ? "\u2212" : "+"
            color: "white"
            font.pixelSize: 16 * uScale
            font.bold: true
        }
        MouseArea {
            anchors.fill: parent
            enabled: toggle.enabled
            onClicked: row.state = row.state === "expanded" ? "collapsed" : "expanded"
        }
    }

    Rectangle {
        id: nameBar
        anchors.left: toggle.right
        anchors.leftMargin: 9 * uScale
        anchors.right: parent.right
        y: 3 * uScale
        height: 29 * uScale
        radius: height / 2
        color: "#F3F3F3"

        OrvToolTip {
            buttonToolTip: row.simulinkVariable ? row.simulinkVariable.path : ""
        }

        Text {
            id: nameText
            anchors.left: parent.left
            anchors.right: dimensionText.left
            anchors.rightMargin: 10 * uScale
            anchors.verticalCenter: parent.verticalCenter
            horizontalAlignment: Text.AlignRight
            elide: Text.ElideRight
            text: row.simulinkVariable ? row.simulinkVariable.name : ""
            textFormat: Text.PlainText
            font.family: "Poppins"
            font.pixelSize: 12 * uScale
            color: "#191346"
        }
        Text {
            id: dimensionText
            anchors.right: rateText.left
            anchors.rightMargin: 10 * uScale
            anchors.verticalCenter: parent.verticalCenter
            text: row.rows + " \u2022 " + row.columns
            font.family: "Poppins"
            font.pixelSize: 11 * uScale
            color: "#B4B4B5"
        }
        Text {
            id: rateText
            objectName: "rateText"
            anchors.right: parent.right
            anchors.rightMargin: 12 * uScale
            anchors.verticalCenter: parent.verticalCenter
            width: 60 * uScale
            text: row.odr === 0 ? "ODR" : row.odr + " HZ"
            color: row.odr === 0 ? "#E31F40" : "black"
            font.family: "Poppins"
            font.pixelSize: 11 * uScale
            OrvToolTip {
                buttonToolTip: row.odr === 0 ? "The Output Data Rate of this signal is not "
                                               + "supported at this time." : ""
            }
        }
    }

    Loader {
        id: gridLoader
        objectName: "elementGrid"
        x: 44 * uScale
        y: 35 * uScale
        width: row.width - x - 5 * uScale
        height: (30 * Math.min(row.rows, 5) + (row.columns > 8 ? 20 : 0)) * uScale
        active: false
        sourceComponent: Rectangle {
            radius: 8 * uScale
            color: "#F3F3F3"
            clip: true

            Flickable {
                id: flick
                anchors.fill: parent
                anchors.margins: 2.5 * uScale
                contentWidth: cellGrid.width
                contentHeight: cellGrid.height
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.horizontal: ScrollBar {
                    policy: flick.contentWidth > flick.width ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
                    contentItem: Rectangle {
                        implicitHeight: 6 * uScale
                        radius: height / 2
                        color: "#3DB199"
                    }
                }

                Grid {
                    id: cellGrid
                    columns: row.columns
                    spacing: 5 * uScale
                    Repeater {
                        model: row.rows * row.columns
                        delegate: elementCell
                    }
                }
            }
        }
    }

    Component {
        id: elementCell
        Item {
            id: cellPlace
            required property int index
            readonly property int cellRow: Math.floor(index / row.columns)
            readonly property int cellColumn: index % row.columns
            readonly property string label: (cellRow + 1) + "\u2022" + (cellColumn + 1)
            width: 41.5 * uScale
            height: 25 * uScale

            // The drag source. It travels with the pointer hidden; the slot under it reads its
            // properties when it is dropped.
            Rectangle {
                id: cell
                objectName: "elementCell"
                property var objectPointer: row.simulinkVariable
                property point elementIndex: Qt.point(cellPlace.cellRow, cellPlace.cellColumn)
                property string name: (row.simulinkVariable ? row.simulinkVariable.name : "") + "["
                                      + cellPlace.label + "]"
                width: cellPlace.width
                height: cellPlace.height
                radius: 5 * uScale
                color: "white"
                border.color: "#CCCBCA"
                visible: !Drag.active

                Drag.keys: ["plotItem"]
                Drag.source: cell
                Drag.hotSpot.x: width / 2
                Drag.hotSpot.y: height / 2

                Text {
                    anchors.centerIn: parent
                    text: cellPlace.label
                    font.family: "Poppins"
                    font.pixelSize: 10 * uScale
                    color: "#191346"
                }
            }

            // Outside the cell, so hiding the cell does not take the mouse grab away.
            MouseArea {
                id: dragArea
                anchors.fill: parent
                enabled: row.odr !== 0 && row.state === "expanded" && row.appRunning
                drag.target: cell
                drag.onActiveChanged: {
                    if (!drag.active)
                        return
                    cell.Drag.start()
                    placeMarker.open()
                    if (row.dragState)
                        row.dragState.dragActive = true
                }
                onReleased: {
                    if (!cell.Drag.active)
                        return
                    cell.Drag.drop()
                    cell.x = 0
                    cell.y = 0
                    placeMarker.close()
                    if (row.dragState)
                        row.dragState.dragActive = false
                }
            }

            // Marks the travelling cell's place above the grid, which clips.
            Popup {
                id: placeMarker
                objectName: "placeMarker"
                x: -2 * uScale
                y: -2 * uScale
                width: cellPlace.width + 4 * uScale
                height: cellPlace.height + 4 * uScale
                padding: 0
                modal: false
                focus: false
                closePolicy: Popup.NoAutoClose
                background: Rectangle {
                    radius: 6 * uScale
                    color: "#F3F3F3"
                    border.color: "#3DB199"
                    border.width: 1.5 * uScale
                }
                contentItem: Text {
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    text: cellPlace.label
                    font.family: "Poppins"
                    font.pixelSize: 10 * uScale
                    color: "#3DB199"
                }
            }
        }
    }
}
