import QtQuick
import "../../../Qml/OrvaneUI/OrvaneControls"

// The value read-out above the chart: the time under the data cursor and one value per plotted
// slot, at the cursor's time, or the latest values while the cursor is away.
Item {
    id: view

    property var plt: null
    property var itemModel: null
    property var data_cursor: null
    property bool showX: data_cursor ? data_cursor.visible : false
    property bool showLatestY: !showX
    property real maxWidth: 0
    property real bottomLineOffset: 0
    readonly property real notchWidth: 50 * uScale

    width: row.implicitWidth + 2 * notchWidth
    height: 24 * uScale
    opacity: width > maxWidth - 2 * notchWidth ? 0 : 1

    Connections {
        target: view.data_cursor
        function onDataCursorUpdate() { view.refresh() }
    }

    function refresh() {
        if (!plt)
            return
        for (let i = 0; i < fields.count; ++i) {
            const field = fields.itemAt(i)
            field.valueAtTime = showLatestY ? plt.getLatestValue(i)
                                            : plt.getValueAtTime(i, data_cursor.cursorX)
        }
    }

    Canvas {
        id: notch
        anchors.fill: parent
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            ctx.fillStyle = "white"
            ctx.strokeStyle = "#CCCBCA"
            ctx.lineWidth = 1
            ctx.beginPath()
            ctx.moveTo(0, 0)
            ctx.bezierCurveTo(view.notchWidth * 0.6, 0, view.notchWidth * 0.4, height,
                              view.notchWidth, height)
            ctx.lineTo(width - view.notchWidth, height)
            ctx.bezierCurveTo(width - view.notchWidth * 0.4, height, width - view.notchWidth * 0.6, 0,
                              width, 0)
            ctx.closePath()
            ctx.fill()
            ctx.stroke()
        }
        onWidthChanged: requestPaint()
    }

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 8 * uScale

        Text {
            objectName: "cursorTime"
            visible: view.showX
            text: "x: " + (view.data_cursor ? view.data_cursor.cursorX.toFixed(2) : "")
            font.family: "Poppins"
            font.pixelSize: 11 * uScale
            color: "#191346"
        }
        Text {
            text: "y:"
            font.family: "Poppins"
            font.pixelSize: 11 * uScale
            color: "#191346"
        }
        Repeater {
            id: fields
            model: 4
            Row {
                id: field
                property real valueAtTime: 0
                readonly property var plotSlot: view.itemModel ? view.itemModel.get(index) : null
                visible: plotSlot !== null && plotSlot.name !== ""
                spacing: 2 * uScale
                height: 16 * uScale

                CopyButton {
                    valueToCopy: field.valueAtTime
                    strokeColor: field.plotSlot ? field.plotSlot.color : "black"
                }
                Text {
                    objectName: "slotValue"
                    text: (field.valueAtTime < 0 ? "-" : "")
                          + Math.abs(field.valueAtTime).toPrecision(5)
                    font.family: "Poppins"
                    font.pixelSize: 11 * uScale
                    color: field.plotSlot ? field.plotSlot.color : "black"
                }
            }
        }
    }
}
