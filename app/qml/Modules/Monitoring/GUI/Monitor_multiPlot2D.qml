import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQml.Models
import QtCharts
import Qt5Compat.GraphicalEffects
import "../../../Qml/OrvaneUI"
import "../../../Qml/Forms"
import "Monitor_axisTicks.js" as AxisTicks

// The view of one plot container: a chart with four line series, four drop slots, a legend, a
// data cursor with its read-out, and the axis controls.
Rectangle {
    id: panel

    required property var modelData
    required property int index
    property var externalMonitor: null
    property bool dragActive: false
    property var frameClock: null
    readonly property var plt: modelData
    property int plotNumber: index
    property bool withLines: true
    readonly property var slotColors: ["#3DB199", "#FBAF37", "#E31F40", "#4B469D"]
    readonly property alias chart: chart
    readonly property alias itemModel: itemModel
    readonly property alias plotSlotModel: plotSlotModel

    height: hRef * 450 / 1080
    color: "#F3F3F3"
    radius: 12 * uScale
    border.color: "#CCCBCA"

    // Limits shown while auto ranging are written back when it is switched off, so the axis
    // stays where it was.
    function freezeLimits() {
        plt.yMax = upperField.value
        plt.yMin = lowerField.value
    }

    Connections {
        target: panel.plt
        function onYMinChanged() { lowerField.value = panel.plt.yMin }
        function onYMaxChanged() { upperField.value = panel.plt.yMax }
    }

    Connections {
        target: panel.frameClock
        enabled: chart.ready
        function onTriggered() { panel.plt.qSGUpdate() }
    }

    Binding {
        target: panel.plt
        property: "numberOfBuckets"
        value: Math.max(1, Math.round(chart.width))
    }

    Rectangle {
        id: plotBackground
        x: chart.plotArea.x
        y: chart.plotArea.y
        width: chart.plotArea.width
        height: chart.plotArea.height
        radius: 8 * uScale
        color: "white"
        border.color: "#CCCBCA"
    }

    ChartView {
        id: chart
        objectName: "chart"

        property int lineWidth: 2
        property bool openGL: GraphicsInfo.api === GraphicsInfo.OpenGL
        property bool ready: false

        width: panel.width - 240 * uScale
        height: panel.height
        backgroundColor: "transparent"
        legend.visible: false
        antialiasing: true
        animationOptions: ChartView.NoAnimation
        margins.left: 35 * uScale
        margins.top: 0
        margins.bottom: 35 * uScale
        margins.right: 15 * uScale
        layer.enabled: blur.radius > 0
        layer.effect: FastBlur {
            id: blurEffect
            radius: blur.radius
        }

        // Ticks and grid lines on whole multiples of a round interval. The chart still lays out
        // its own labels (they keep their room) but draws them transparent: it sums the interval
        // up from the lowest tick and would print 0 as a rounding left-over; yTickLabels below
        // print each tick's own value.
        readonly property var yTicks: AxisTicks.ticks(axisY.min, axisY.max)
        ValueAxis {
            id: axisY
            labelFormat: "%.4g"
            minorTickCount: 1
            gridLineColor: "#F0F0F0"
            labelsFont.pixelSize: 12 * uScale
            labelsColor: "transparent"
            labelsAngle: 0
            lineVisible: panel.withLines
            tickType: ValueAxis.TicksDynamic
            tickAnchor: 0
            tickInterval: chart.yTicks.interval > 0 ? chart.yTicks.interval : 1
        }
        ValueAxis {
            id: axisX
            labelFormat: "%g"
            labelsAngle: -30
            labelsFont.pixelSize: 12 * uScale
            labelsColor: "#191346"
            gridVisible: true
            minorGridVisible: true
            minorTickCount: 1
            lineVisible: panel.withLines
            tickType: ValueAxis.TicksDynamic
            tickInterval: panel.plt && panel.plt.xRanges.length > panel.plt.xRangeIndex
                          ? panel.plt.xRanges[panel.plt.xRangeIndex] / 10 : 1
            tickCount: 11
        }

        LineSeries {
            id: series0
            axisX: axisX
            axisY: axisY
            color: panel.slotColors[0]
            width: chart.lineWidth * uScale
            useOpenGL: chart.openGL
            onVisibleChanged: pointsReplaced()
        }
        LineSeries {
            id: series1
            axisX: axisX
            axisY: axisY
            color: panel.slotColors[1]
            width: chart.lineWidth * uScale
            useOpenGL: chart.openGL
            onVisibleChanged: pointsReplaced()
        }
        LineSeries {
            id: series2
            axisX: axisX
            axisY: axisY
            color: panel.slotColors[2]
            width: chart.lineWidth * uScale
            useOpenGL: chart.openGL
            onVisibleChanged: pointsReplaced()
        }
        LineSeries {
            id: series3
            axisX: axisX
            axisY: axisY
            color: panel.slotColors[3]
            width: chart.lineWidth * uScale
            useOpenGL: chart.openGL
            onVisibleChanged: pointsReplaced()
        }

        // Nothing calls it; kept so the chart can build an axis from typed limits.
        function createAxis(min, max) {
            return Qt.createQmlObject("import QtCharts; ValueAxis { min: " + Number(min)
                                      + "; max: " + Number(max) + " }", chart)
        }

        Component.onCompleted: {
            if (!panel.plt)
                return
            panel.plt.setGuiPointers(panel, axisY, axisX)
            panel.plt.setSeries(series0, series1, series2, series3)
            panel.plt.setVisible(true)
            ready = true
        }
        Component.onDestruction: {
            if (panel.plt)
                panel.plt.setVisible(false)
        }

        Repeater {
            id: yTickLabels
            model: chart.yTicks.values
            Text {
                objectName: "yTickLabel"
                required property real modelData
                readonly property real span: axisY.max - axisY.min
                x: 0
                width: chart.plotArea.x - 6 * uScale
                y: chart.plotArea.y + (axisY.max - modelData) / span * chart.plotArea.height
                   - height / 2
                horizontalAlignment: Text.AlignRight
                text: AxisTicks.formatG(modelData, 4)
                font.pixelSize: 12 * uScale
                color: "#191346"
            }
        }

        MouseArea {
            id: chartMouse
            x: chart.plotArea.x
            y: chart.plotArea.y
            width: chart.plotArea.width
            height: chart.plotArea.height
            hoverEnabled: true
            acceptedButtons: Qt.LeftButton | Qt.RightButton
            onClicked: function (mouse) {
                if (mouse.button === Qt.RightButton)
                    chart.lineWidth = chart.lineWidth % 3 + 1
                else
                    dataCursor.fix = !dataCursor.fix
            }

            Monitor_DataCursor {
                id: dataCursor
                objectName: "dataCursor"
                chartView: chart
                // mouseX follows the hover into the area too, not only moves inside it.
                dynamicMouseX: chartMouse.mouseX
                height: parent.height
                mouseInside: chartMouse.containsMouse
            }
        }
    }

    QtObject {
        id: blur
        property real radius: panel.dragActive ? 32 * uScale : 0
        Behavior on radius { NumberAnimation { duration: 800 } }
    }

    Monitor_DataView {
        id: dataView
        anchors.horizontalCenter: plotBackground.horizontalCenter
        y: Math.max(0, plotBackground.y - height)
        plt: panel.plt
        itemModel: itemModel
        data_cursor: dataCursor
        maxWidth: plotBackground.width
    }

    Text {
        text: "y Axis:"
        rotation: -90
        anchors.verticalCenter: plotBackground.verticalCenter
        x: -width / 2 + 10 * uScale
        font.family: "Poppins"
        font.pixelSize: 11 * uScale
        color: "#191346"
    }
    Text {
        text: "x Axis:"
        x: plotBackground.x
        y: panel.height - height - 4 * uScale
        font.family: "Poppins"
        font.pixelSize: 11 * uScale
        color: "#191346"
    }
    Text {
        text: "Time  s"
        x: plotBackground.x + plotBackground.width - width
        y: panel.height - height - 4 * uScale
        font.family: "Poppins"
        font.pixelSize: 11 * uScale
        color: "#191346"
    }

    // The drop slots cover the plot area while a signal element is dragged.
    Column {
        id: slotColumn
        objectName: "slotColumn"
        x: plotBackground.x
        y: plotBackground.y
        width: plotBackground.width
        height: plotBackground.height
        spacing: 5 * uScale
        opacity: panel.dragActive ? 1 : 0
        visible: opacity > 0
        Behavior on opacity { NumberAnimation { duration: 300 } }

        Repeater {
            model: itemModel
        }
    }

    ObjectModel {
        id: itemModel
        Monitor_plotSlot {
            plotNumber: panel.plotNumber
            slotNumber: 0
            color: panel.slotColors[0]
            plotContainer: panel.plt
            externalMonitor: panel.externalMonitor
            width: slotColumn.width
            height: slotColumn.height / 4 - 2 * slotColumn.spacing
        }
        Monitor_plotSlot {
            plotNumber: panel.plotNumber
            slotNumber: 1
            color: panel.slotColors[1]
            plotContainer: panel.plt
            externalMonitor: panel.externalMonitor
            width: slotColumn.width
            height: slotColumn.height / 4 - 2 * slotColumn.spacing
        }
        Monitor_plotSlot {
            plotNumber: panel.plotNumber
            slotNumber: 2
            color: panel.slotColors[2]
            plotContainer: panel.plt
            externalMonitor: panel.externalMonitor
            width: slotColumn.width
            height: slotColumn.height / 4 - 2 * slotColumn.spacing
        }
        Monitor_plotSlot {
            plotNumber: panel.plotNumber
            slotNumber: 3
            color: panel.slotColors[3]
            plotContainer: panel.plt
            externalMonitor: panel.externalMonitor
            width: slotColumn.width
            height: slotColumn.height / 4 - 2 * slotColumn.spacing
        }
    }

    ObjectModel {
        id: plotSlotModel
        Monitor_LegendDelegate {
            plotNumber: panel.plotNumber
            slotNumber: 0
            itemModel: itemModel
            plotContainer: panel.plt
        }
        Monitor_LegendDelegate {
            plotNumber: panel.plotNumber
            slotNumber: 1
            itemModel: itemModel
            plotContainer: panel.plt
        }
        Monitor_LegendDelegate {
            plotNumber: panel.plotNumber
            slotNumber: 2
            itemModel: itemModel
            plotContainer: panel.plt
        }
        Monitor_LegendDelegate {
            plotNumber: panel.plotNumber
            slotNumber: 3
            itemModel: itemModel
            plotContainer: panel.plt
        }
    }

    // The control column.
    Rectangle {
        id: controls
        x: chart.width
        y: 8 * uScale
        width: 240 * uScale - 8 * uScale
        height: panel.height - 16 * uScale
        radius: 10 * uScale
        color: "white"
        border.color: "#CCCBCA"

        Column {
            anchors.fill: parent
            anchors.margins: 6 * uScale
            spacing: 4 * uScale

            Text {
                text: "Y axis"
                font.family: "Poppins"
                font.weight: Font.DemiBold
                font.pixelSize: 12 * uScale
                color: "#191346"
            }
            Monitor_AxesControlDelegate {
                width: parent.width
                controlText: "Auto Range"
                OrvSwitch_rev1 {
                    id: autoRangeSwitch
                    objectName: "autoRangeSwitch"
                    anchors.left: parent.horizontalCenter
                    anchors.verticalCenter: parent.verticalCenter
                    width: 55 * uScale
                    height: parent.height
                    checked: panel.plt ? panel.plt.autoRange : false
                    onToggled: {
                        panel.plt.autoRange = checked
                        if (!checked)
                            panel.freezeLimits()
                    }
                }
            }
            Monitor_AxesControlDelegate {
                width: parent.width
                controlText: "Upp.limit"
                DoubleSpinBox {
                    id: upperField
                    objectName: "upperLimit"
                    anchors.left: parent.horizontalCenter
                    anchors.verticalCenter: parent.verticalCenter
                    width: 120 * uScale
                    height: parent.height
                    editable: true
                    decimals: 20
                    enabled: panel.plt ? !panel.plt.autoRange : false
                    value: panel.plt ? panel.plt.yMax : 0
                    textFromValue: function (value, locale) {
                        return panel.plt ? panel.plt.formatDouble(value) : String(value)
                    }
                    onValueModified: if (!panel.plt.autoRange) panel.plt.yMax = value
                }
            }
            Monitor_AxesControlDelegate {
                width: parent.width
                controlText: "Low.limit"
                DoubleSpinBox {
                    id: lowerField
                    objectName: "lowerLimit"
                    anchors.left: parent.horizontalCenter
                    anchors.verticalCenter: parent.verticalCenter
                    width: 120 * uScale
                    height: parent.height
                    editable: true
                    decimals: 20
                    enabled: panel.plt ? !panel.plt.autoRange : false
                    value: panel.plt ? panel.plt.yMin : 0
                    textFromValue: function (value, locale) {
                        return panel.plt ? panel.plt.formatDouble(value) : String(value)
                    }
                    onValueModified: if (!panel.plt.autoRange) panel.plt.yMin = value
                }
            }

            Text {
                text: "X axis"
                font.family: "Poppins"
                font.weight: Font.DemiBold
                font.pixelSize: 12 * uScale
                color: "#191346"
            }
            Monitor_AxesControlDelegate {
                width: parent.width
                controlText: "Dynamic Ticks"
                OrvSwitch_rev1 {
                    objectName: "dynamicTicksSwitch"
                    anchors.left: parent.horizontalCenter
                    anchors.verticalCenter: parent.verticalCenter
                    width: 55 * uScale
                    height: parent.height
                    checked: panel.plt ? panel.plt.dynamicXrange : false
                    onToggled: panel.plt.dynamicXrange = checked
                }
            }
            Monitor_AxesControlDelegate {
                width: parent.width
                controlText: "X Range"
                Slider {
                    id: xRangeSlider
                    objectName: "xRangeSlider"
                    anchors.left: parent.horizontalCenter
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    height: parent.height
                    from: 0
                    to: panel.plt ? Math.max(0, panel.plt.xRanges.length - 1) : 0
                    stepSize: 1
                    snapMode: Slider.SnapOnRelease
                    value: 1
                    onValueChanged: if (panel.plt) panel.plt.xRangeIndex = Math.round(value)
                }
            }

            Row {
                spacing: 6 * uScale
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "Signals"
                    font.family: "Poppins"
                    font.weight: Font.DemiBold
                    font.pixelSize: 12 * uScale
                    color: "#191346"
                }
                PlayButton {
                    objectName: "playButton"
                    checked: panel.plt ? !panel.plt.pause : true
                    onToggled: panel.plt.pause = !checked
                }
            }

            Repeater {
                model: plotSlotModel
            }
        }
    }
}
