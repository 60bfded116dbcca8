import QtQuick
import QtQuick.Layouts
import QtQuick.Shapes
import QtQuick.Templates as T
import orvane.Branding

// A collapsible side panel hanging on the right-hand edge of its holder: a scrolling column in
// a rounded frame that folds away to a handle strip with five triangles.
T.Container {
    id: shelf

    property color contentColor: OrvaneColors.background
    property bool opened: true
    property bool manuallyOpenable: true
    property int verticalContentPadding: 34
    property int horizontalContentPadding: 46
    property int contentRadii: 20

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            opened ? contentWidth + leftPadding + rightPadding : 0)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             contentHeight + topPadding + bottomPadding)

    topPadding: contentRadii + background.shelfBorderHeight
    bottomPadding: contentRadii + background.shelfBorderHeight
    leftPadding: opened ? background.shelfHandleWidth + 1 : 0
    rightPadding: opened ? 1 : 0
    spacing: 32

    contentItem: Flickable {
        objectName: "shelfContent"
        visible: shelf.opened
        clip: true
        flickableDirection: Flickable.AutoFlickIfNeeded
        implicitWidth: contentWidth
        implicitHeight: contentHeight
        contentWidth: content.implicitWidth + 2 * shelf.horizontalContentPadding
        contentHeight: content.implicitHeight + 2 * shelf.verticalContentPadding

        Item {
            width: parent.contentWidth
            height: parent.contentHeight

            ColumnLayout {
                id: content
                objectName: "content"
                anchors.fill: parent
                anchors.leftMargin: shelf.horizontalContentPadding
                anchors.rightMargin: shelf.horizontalContentPadding
                anchors.topMargin: shelf.verticalContentPadding
                anchors.bottomMargin: shelf.verticalContentPadding
                spacing: shelf.spacing

                Repeater {
                    model: shelf.contentModel
                }
            }
        }
    }

    background: Rectangle {
        id: background

        property int shelfHandleWidth: 2 * shelf.contentRadii
        property int shelfBorderHeight: 10

        implicitWidth: shelf.opened ? 2 * shelf.contentRadii + shelfHandleWidth + 2
                                    : shelfHandleWidth
        implicitHeight: 4 * shelf.contentRadii + 2 * shelfBorderHeight + 2 + shelfHandle.height
        color: shelf.contentColor
        layer.enabled: true
        layer.samples: 4

        Shape {
            id: shelfBorder
            objectName: "shelfBorder"

            readonly property real w: width
            readonly property real h: height
            readonly property real r: shelf.contentRadii
            readonly property real b: background.shelfBorderHeight
            readonly property real hw: background.shelfHandleWidth
            readonly property real middleStop: 1 - Math.min(200 / w, 0.4)

            width: shelf.width
            height: shelf.height
            anchors.right: parent.right
            anchors.rightMargin: -1

            ShapePath {
                strokeWidth: 2
                strokeColor: OrvaneColors.mainBorderColor
                fillGradient: LinearGradient {
                    x1: 0; y1: 0
                    x2: shelfBorder.w; y2: 0
                    GradientStop { position: 0; color: OrvaneColors.navigationBarColor }
                    GradientStop {
                        position: shelfBorder.middleStop
                        color: OrvaneColors.navigationBarColor
                    }
                    GradientStop { position: 1; color: OrvaneColors.mainBorderColor }
                }
                startX: shelfBorder.w
                startY: 0
                PathArc {
                    x: shelfBorder.w - shelfBorder.r; y: shelfBorder.r
                    radiusX: shelfBorder.r; radiusY: shelfBorder.r
                    direction: PathArc.Clockwise
                }
                PathLine { x: shelfBorder.r; y: shelfBorder.r }
                PathArc {
                    x: 0; y: 2 * shelfBorder.r
                    radiusX: shelfBorder.r; radiusY: shelfBorder.r
                    direction: PathArc.Counterclockwise
                }
                PathLine { x: 0; y: shelfBorder.h - 2 * shelfBorder.r }
                PathArc {
                    x: shelfBorder.r; y: shelfBorder.h - shelfBorder.r
                    radiusX: shelfBorder.r; radiusY: shelfBorder.r
                    direction: PathArc.Counterclockwise
                }
                PathLine { x: shelfBorder.w - shelfBorder.r; y: shelfBorder.h - shelfBorder.r }
                PathArc {
                    x: shelfBorder.w; y: shelfBorder.h
                    radiusX: shelfBorder.r; radiusY: shelfBorder.r
                    direction: PathArc.Clockwise
                }
                PathSvg {
                    path: shelf.opened ? shelfBorder.windowPath() : "L " + shelfBorder.w + " 0 Z"
                }
            }

            // The content window, a rectangle rounded by r from x = h to the right edge.
            function windowPath() {
                const W = w, H = h, R = r, B = b, HW = hw
                const arc = (x, y) => "A " + R + " " + R + " 0 0 1 " + x + " " + y
                return "M " + W + " " + (H - 2 * R - B)
                        + " " + arc(W - R, H - R - B)
                        + " L " + (HW + R) + " " + (H - R - B)
                        + " " + arc(HW, H - 2 * R - B)
                        + " L " + HW + " " + (2 * R + B)
                        + " " + arc(HW + R, R + B)
                        + " L " + (W - R) + " " + (R + B)
                        + " " + arc(W, 2 * R + B)
                        + " L " + W + " 0 Z"
            }
        }

        Column {
            id: shelfHandle
            objectName: "shelfHandle"

            property int handleArrowDimensions: 16
            property int handleArrowSpacing: 12
            property real handleArrowRoundingBorder: 4

            x: background.shelfHandleWidth / 2 - handleArrowDimensions / 2
            y: shelfBorder.height / 2 - height / 2
            spacing: handleArrowSpacing
            transform: Scale {
                origin.x: shelfHandle.width / 2
                origin.y: shelfHandle.height / 2
                xScale: shelf.opened ? -1 : 1
                yScale: 1
            }

            TapHandler {
                objectName: "handleTap"
                onTapped: {
                    if (shelf.opened || shelf.manuallyOpenable)
                        shelf.opened = !shelf.opened
                }
            }

            Repeater {
                model: 5
                Shape {
                    id: handleArrow
                    width: shelfHandle.handleArrowDimensions - shelfHandle.handleArrowRoundingBorder
                    height: width
                    ShapePath {
                        fillColor: OrvaneColors.formFieldToggleFalse
                        strokeColor: OrvaneColors.formFieldToggleFalse
                        strokeWidth: shelfHandle.handleArrowRoundingBorder
                        joinStyle: ShapePath.RoundJoin
                        capStyle: ShapePath.RoundCap
                        startX: 0; startY: handleArrow.height / 2
                        PathLine { x: handleArrow.width; y: 0 }
                        PathLine { x: handleArrow.width; y: handleArrow.height }
                        PathLine { x: 0; y: handleArrow.height / 2 }
                    }
                }
            }
        }
    }
}
