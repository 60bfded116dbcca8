import QtQuick

// The "Workspace" page: the plot panels of the selected Pelto's model on the left, its signals
// and parameters on the right. The page starts the device's monitoring service and retries twice.
Item {
    id: page

    // `orvFactory` is the application's device factory; tests hand in their own.
    property var factory: typeof orvFactory !== "undefined" ? orvFactory : null
    readonly property var device: factory ? factory.selectedDevice : null
    readonly property bool appRunning: device ? device.appRunning : false
    readonly property bool serviceRunning: device ? device.monitoringServiceRunning : false
    property int timerFailureFlag: 0
    readonly property alias layoutRow: layoutRow
    readonly property alias workPanel: workPanel
    readonly property alias listPanel: listPanel

    // The factory's signal begins with a capital, which Connections cannot name on Qt 6.4.
    property var wiredFactory: null
    function resetAttempts() { timerFailureFlag = 0 }
    function selectionSignal(object) {
        return object ? (object.SelectedDeviceChanged || object.selectedDeviceChanged) : null
    }
    function rewire() {
        if (selectionSignal(wiredFactory))
            selectionSignal(wiredFactory).disconnect(resetAttempts)
        wiredFactory = factory
        if (selectionSignal(wiredFactory))
            selectionSignal(wiredFactory).connect(resetAttempts)
    }
    onFactoryChanged: rewire()
    Component.onDestruction: {
        factory = null
        rewire()
    }

    function startWhenShown() {
        if (visible && device && !device.externalMonitor)
            device.startMonitoring()
    }
    onVisibleChanged: startWhenShown()
    Component.onCompleted: {
        rewire()
        startWhenShown()
    }

    // Fires once each time its condition becomes true: no retry loop while nothing changes.
    Timer {
        id: startTimer
        interval: 2000
        repeat: false
        running: page.device !== null && page.appRunning && !page.serviceRunning
        onTriggered: {
            page.device.startMonitoring()
            console.log("requested startMonitoring by autoTimer WidgetWorkspace")
            page.timerFailureFlag = Math.min(2, page.timerFailureFlag + 1)
        }
    }

    Item {
        id: layoutRow
        objectName: "layoutRow"
        anchors.fill: parent
        anchors.margins: 10 * uScale
        property bool dragActive: false

        WorkPanel {
            id: workPanel
            anchors.left: parent.left
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            anchors.right: rightSide.left
            anchors.rightMargin: 10 * uScale
            device: page.device
            dragActive: layoutRow.dragActive

            Text {
                objectName: "statusText"
                anchors.centerIn: parent
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                font.family: "Poppins"
                font.weight: Font.DemiBold
                font.pixelSize: 24 * uScale
                color: "#191346"
                text: !page.device ? ""
                    : !page.appRunning ? "Run an application on your device"
                    : page.timerFailureFlag === 2 && !page.serviceRunning
                      ? "Can't Start Monitoring, Please restart your device" : ""
            }
        }

        Rectangle {
            id: rightSide
            objectName: "rightSide"
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            state: "expanded"
            width: 470 * uScale
            radius: 12 * uScale
            border.color: "#CCCCCC"
            color: foldArea.containsMouse ? "white" : "#F3F3F3"

            states: [
                State {
                    name: "expanded"
                    PropertyChanges { target: rightSide; width: 470 * uScale }
                    PropertyChanges { target: listPanel; width: 470 * uScale - 22 * uScale; opacity: 1 }
                },
                State {
                    name: "folded"
                    PropertyChanges { target: rightSide; width: 22 * uScale }
                    PropertyChanges { target: listPanel; width: 0; opacity: 0 }
                }
            ]
            transitions: [
                Transition {
                    to: "expanded"
                    SequentialAnimation {
                        NumberAnimation { target: rightSide; property: "width"; duration: 200 }
                        NumberAnimation { target: listPanel; property: "width"; duration: 150 }
                        NumberAnimation { target: listPanel; property: "opacity"; duration: 150 }
                    }
                },
                Transition {
                    to: "folded"
                    SequentialAnimation {
                        NumberAnimation { target: listPanel; property: "opacity"; duration: 150 }
                        NumberAnimation { target: rightSide; property: "width"; duration: 200 }
                        NumberAnimation { target: listPanel; property: "width"; duration: 150 }
                    }
                }
            ]

            MouseArea {
                id: foldArea
                objectName: "foldStrip"
                width: 22 * uScale
                height: parent.height
                hoverEnabled: true
                onClicked: rightSide.state = rightSide.state === "expanded" ? "folded" : "expanded"
                // Points the way the list goes: right to fold it away, left to bring it back.
                Image {
                    objectName: "foldArrow"
                    anchors.centerIn: parent
                    width: 12 * uScale
                    height: 24 * uScale
                    source: "qrc:/Images/GUI/Workspace/FoldArrow.png"
                    sourceSize: Qt.size(32, 64)
                    fillMode: Image.PreserveAspectFit
                    smooth: true
                    mirror: rightSide.state === "folded"
                }
            }

            ListPanel {
                id: listPanel
                anchors.left: foldArea.right
                anchors.top: parent.top
                anchors.bottom: parent.bottom
                visible: opacity > 0
                clip: true
                device: page.device
                dragState: layoutRow
            }
        }
    }
}
