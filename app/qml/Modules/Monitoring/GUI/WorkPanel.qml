import QtQuick

// The grid of plot panels, one per plot container of the selected device's monitor, and the
// frame clock every panel updates its series on.
Item {
    id: workPanel

    property var device: null
    property bool dragActive: false
    readonly property var externalMonitor: device && device.appRunning ? device.externalMonitor
                                                                        : null
    readonly property alias refreshTimer: refreshTimer
    readonly property alias grid: grid

    FrameAnimation {
        id: refreshTimer
        running: true
    }

    GridView {
        id: grid
        objectName: "plotGrid"
        anchors.fill: parent
        visible: workPanel.device !== null
        leftMargin: 7 * uScale
        rightMargin: 7 * uScale
        cellWidth: width
        cellHeight: hRef * 460 / 1080
        boundsBehavior: Flickable.StopAtBounds
        snapMode: GridView.SnapToRow
        cacheBuffer: cellHeight * 10
        clip: true
        model: workPanel.externalMonitor ? workPanel.externalMonitor.plotContainers : []
        delegate: Monitor_multiPlot2D {
            width: grid.width - grid.leftMargin - grid.rightMargin
            externalMonitor: workPanel.externalMonitor
            dragActive: workPanel.dragActive
            frameClock: refreshTimer
        }
    }
}
