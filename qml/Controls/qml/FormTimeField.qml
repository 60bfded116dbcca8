import QtQuick
import QtQuick.Controls.Material
import orvane.Branding
import orvane.Controls

// Hour and minute entry: two tumblers with a colon between them; a wheel notch away from the
// user goes forward.
Control {
    id: inputRoot

    property alias hourValue: hoursTumbler.currentIndex
    property alias minuteValue: minutesTumbler.currentIndex

    implicitWidth: Math.max(implicitContentWidth + leftPadding + rightPadding,
                            implicitBackgroundWidth + leftInset + rightInset)
    implicitHeight: Math.max(implicitContentHeight + topPadding + bottomPadding,
                             implicitBackgroundHeight + topInset + bottomInset)
    verticalPadding: 6
    horizontalPadding: 23
    font.family: "Raleway"
    font.pixelSize: 18
    font.weight: Font.Bold

    component TimeEntry: Text {
        required property int index
        readonly property bool isCurrent: Math.abs(Tumbler.displacement) < 0.5

        text: index < 10 ? "0" + index : index
        font.family: inputRoot.font.family
        font.pixelSize: inputRoot.font.pixelSize
        font.weight: isCurrent ? Font.Bold : Font.Medium
        color: isCurrent ? OrvaneColors.textFieldForeground : OrvaneColors.mainBorderColor
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    component TimeTumbler: Tumbler {
        id: tumbler
        visibleItemCount: 3
        implicitHeight: 100
        width: 20
        delegate: Component { TimeEntry {} }
        WheelHandler {
            acceptedDevices: PointerDevice.AllDevices
            onWheel: event => tumbler.positionViewAtIndex(
                         tumbler.currentIndex + event.angleDelta.y / 120, Tumbler.Center)
        }
    }

    contentItem: Row {
        id: timeInput
        spacing: 15

        TimeTumbler {
            id: hoursTumbler
            objectName: "hoursTumbler"
            model: 24
        }
        Text {
            width: 5
            anchors.verticalCenter: parent.verticalCenter
            text: ":"
            font: inputRoot.font
            color: OrvaneColors.textFieldForeground
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        TimeTumbler {
            id: minutesTumbler
            objectName: "minutesTumbler"
            model: 60
        }
    }

    background: Rectangle {
        implicitWidth: 122
        implicitHeight: 112
        radius: 20
        color: OrvaneColors.formFieldLabelBackground
        Rectangle {
            anchors.centerIn: parent
            width: parent.width - 4
            height: 32
            radius: 20
            color: OrvaneColors.formFieldControlBackground
        }
    }
}
