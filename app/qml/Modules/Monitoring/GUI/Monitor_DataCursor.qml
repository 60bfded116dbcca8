import QtQuick

// The vertical data cursor over the plot area: it follows the mouse, or stays where it was fixed
// (two carets mark that), and keeps telling the read-out the time under it.
Item {
    id: cursor

    property var chartView: null
    property real dynamicMouseX: 0
    property real fixedMouseX: 0
    property real cursorX: 0
    property bool fix: false
    property bool mouseInside: false

    signal dataCursorUpdate()

    readonly property real lineWidth: (fix ? 1.5 : 0.8) * uScale

    x: (fix ? fixedMouseX : dynamicMouseX) - lineWidth / 2
    width: lineWidth
    visible: mouseInside || fix

    onFixChanged: if (fix) fixedMouseX = dynamicMouseX
    onXChanged: updateCursorX()

    function updateCursorX() {
        if (!chartView)
            return
        // The mouse x is measured in the plot area's mouse area; the chart maps its own
        // coordinates, which start plotArea.x further left.
        const at = parent.mapToItem(chartView, fix ? fixedMouseX : dynamicMouseX, 0).x
        const point = chartView.mapToValue(Qt.point(at, chartView.plotArea.y), chartView.series(0))
        cursorX = point.x
        dataCursorUpdate()
    }

    // The chart scrolls under a fixed cursor: the time under it changes without any move.
    Timer {
        interval: 500
        repeat: true
        running: cursor.visible
        onTriggered: cursor.updateCursorX()
    }

    Rectangle {
        anchors.fill: parent
        color: "#CCCBCA"
    }

    Repeater {
        model: 2
        Rectangle {
            visible: cursor.fix
            width: (cursor.fix ? 10 : 0) * uScale
            height: width
            rotation: 45
            color: "#CCCBCA"
            x: -width / 2 + cursor.width / 2
            y: index === 0 ? -height / 2 : cursor.height - height / 2
            Behavior on width { SpringAnimation { spring: 3; damping: 0.2 } }
        }
    }
}
