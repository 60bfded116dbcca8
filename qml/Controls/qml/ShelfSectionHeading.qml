import QtQuick
import QtQuick.Controls.Material
import QtQuick.Layouts
import orvane.Branding

// A titled divider of a shelf's column: a line across the content area with the heading on it.
Control {
    id: heading

    property int insetCorrection: 46
    required property string headingText

    height: 1
    Layout.fillWidth: true
    leftInset: -insetCorrection
    rightInset: -insetCorrection

    contentItem: Item {
        Text {
            objectName: "headingLabel"
            text: heading.headingText
            font.family: "Raleway"
            font.pixelSize: 16
            font.bold: true
            color: OrvaneColors.formFieldToggleFalse
            anchors.horizontalCenter: parent.horizontalCenter
            // The text stands on the line: its baseline is the line's top edge.
            anchors.baseline: parent.top
        }
    }

    background: Rectangle {
        objectName: "headingLine"
        implicitHeight: 1
        color: OrvaneColors.formFieldControlBackground
    }
}
