import QtQuick
import QtQuick.Shapes
import QtQuick.Templates as T
import orvane.Branding

// A tool bar hanging from the top edge as a notch whose lower corners curve inwards.
T.ToolBar {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            contentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             contentHeight + topPadding + bottomPadding)

    horizontalPadding: height
    verticalPadding: 5
    spacing: 16

    background: Item {
        id: background
        implicitHeight: 50
        implicitWidth: 2 * implicitHeight

        Shape {
            id: notch
            objectName: "notch"
            anchors.fill: parent
            layer.enabled: true
            layer.samples: 4

            readonly property real leftCurveWidth: control.leftPadding - control.leftInset
            readonly property real rightCurveWidth: control.rightPadding - control.rightInset

            ShapePath {
                id: notchPath
                fillColor: OrvaneColors.toolBarColor
                strokeColor: OrvaneColors.mainBorderColor
                strokeWidth: 2
                capStyle: ShapePath.SquareCap
                joinStyle: ShapePath.RoundJoin
                startX: 0
                startY: 0
                PathCubic {
                    id: leftNotch
                    x: notch.leftCurveWidth
                    y: background.height - 1
                    relativeControl1X: 2 * notch.leftCurveWidth / 3
                    relativeControl1Y: 0
                    relativeControl2X: notch.leftCurveWidth / 3
                    relativeControl2Y: background.height
                }
                PathLine {
                    id: bottomNotch
                    x: background.width - notch.rightCurveWidth
                    y: background.height - 1
                }
                PathCubic {
                    id: rightNotch
                    x: background.width
                    y: 0
                    relativeControl1X: 2 * notch.rightCurveWidth / 3
                    relativeControl1Y: 0
                    relativeControl2X: notch.rightCurveWidth / 3
                    relativeControl2Y: -background.height
                }
            }
        }
    }
}
