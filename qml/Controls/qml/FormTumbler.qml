import QtQuick
import QtQuick.Controls.Material
import orvane.Branding
import orvane.Controls

// A styled tumbler for any list of texts; a wheel notch away from the user goes back.
Tumbler {
    id: control

    implicitHeight: 112
    visibleItemCount: 3
    verticalPadding: 6
    wrap: true

    delegate: Text {
        required property int index
        required property string modelData
        readonly property bool isCurrent: Math.abs(Tumbler.displacement) < 0.5

        text: modelData
        font.family: "Raleway"
        font.pixelSize: 18
        font.weight: isCurrent ? Font.Bold : Font.Medium
        color: isCurrent ? OrvaneColors.textFieldForeground : OrvaneColors.mainBorderColor
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    background: Rectangle {
        implicitWidth: 104
        implicitHeight: 112
        radius: 20
        color: OrvaneColors.formFieldLabelBackground
        Rectangle {
            anchors.centerIn: parent
            width: parent.width - 4
            height: 32
            radius: height / 2
            color: OrvaneColors.formFieldControlBackground
        }
    }

    WheelHandler {
        acceptedDevices: PointerDevice.AllDevices
        onWheel: event => {
            const delta = event.angleDelta.y / 120
            control.positionViewAtIndex(control.currentIndex - delta,
                                        control.wrap ? PathView.Center : ListView.Center)
        }
    }
}
