import QtQuick
import QtQuick.Shapes
import QtQuick.Templates as T
import orvane.Branding

// A folder tab. The drawing is given with y running from the content side (0) away from the
// content area; in the Header position both drawing groups are mirrored vertically, so the
// content side is the bottom edge. Every size derives from the radius r.
T.TabButton {
    id: control

    property color contentColor: OrvaneColors.background
    property int contentRadii: T.TabBar.tabBar ? T.TabBar.tabBar.contentRadius : 0
    readonly property bool active: T.TabBar.index === (T.TabBar.tabBar ? T.TabBar.tabBar.currentIndex : -2)
    readonly property bool first: T.TabBar.index === 0
    readonly property bool last: T.TabBar.tabBar ? T.TabBar.index === T.TabBar.tabBar.count - 1 : false
    readonly property bool afterActive: T.TabBar.tabBar ? T.TabBar.index > T.TabBar.tabBar.currentIndex : false
    readonly property bool nextIsActive: T.TabBar.tabBar ? T.TabBar.index === T.TabBar.tabBar.currentIndex - 1 : false

    readonly property bool headerPosition: T.TabBar.position === T.TabBar.Header

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)

    z: T.TabBar.tabBar ? T.TabBar.tabBar.count - T.TabBar.index : 0
    leftPadding: contentRadii
    rightPadding: contentRadii
    topPadding: T.TabBar.position === T.TabBar.Footer ? contentRadii : 0
    bottomPadding: T.TabBar.position === T.TabBar.Header ? contentRadii : 0

    font.family: "Raleway"
    font.weight: Font.Bold
    font.pixelSize: 15
    font.capitalization: Font.Capitalize

    contentItem: Text {
        objectName: "tabLabel"
        text: control.text
        font: control.font
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        color: control.active ? OrvaneColors.martian : OrvaneColors.formFieldToggleFalse
    }

    background: Item {
        id: tabBackgroundRoot
        readonly property real r: control.contentRadii
        readonly property real w: width
        readonly property real h: height
        readonly property color fillColor: control.active ? control.contentColor
                                                          : OrvaneColors.tableRowColor
        readonly property color border: OrvaneColors.mainBorderColor

        implicitHeight: 8 + 3 * control.contentRadii + 2
        implicitWidth: 2 * control.contentRadii + 2

        Item {
            id: tabBackground
            objectName: "tabBackground"
            anchors.fill: parent
            readonly property int layerStartCorrection: control.first ? 1 : 0
            readonly property int layerEndCorrection: control.last ? 1 : 0
            layer.enabled: true
            layer.samples: 4
            layer.sourceRect: Qt.rect(-layerStartCorrection, 0,
                                      width + layerStartCorrection + layerEndCorrection,
                                      height + 1)
            transform: Scale {
                origin.y: tabBackground.height / 2
                yScale: control.headerPosition ? -1 : 1
            }

            Shape {
                objectName: "tabBase"
                anchors.fill: parent
                ShapePath {
                    strokeColor: "transparent"
                    fillColor: tabBackgroundRoot.fillColor
                    startX: 0; startY: 0
                    PathLine { x: tabBackgroundRoot.w - tabBackgroundRoot.r; y: tabBackgroundRoot.h }
                    PathLine { x: tabBackgroundRoot.w - tabBackgroundRoot.r; y: 0 }
                }
                ShapePath {
                    strokeColor: tabBackgroundRoot.border
                    strokeWidth: 2
                    fillColor: tabBackgroundRoot.fillColor
                    startX: 0; startY: 0
                    PathLine { x: 0; y: tabBackgroundRoot.h - tabBackgroundRoot.r }
                    PathArc {
                        x: tabBackgroundRoot.r; y: tabBackgroundRoot.h
                        radiusX: tabBackgroundRoot.r; radiusY: tabBackgroundRoot.r
                        direction: PathArc.Counterclockwise
                    }
                    PathLine { x: tabBackgroundRoot.w - tabBackgroundRoot.r; y: tabBackgroundRoot.h }
                }
            }

            Shape {
                objectName: "tabInactiveContentTransition"
                width: parent.width
                height: tabBackgroundRoot.r
                visible: !control.active
                ShapePath {
                    strokeColor: "transparent"
                    fillColor: control.contentColor
                    startX: 0; startY: 0
                    PathLine { x: tabBackgroundRoot.w - tabBackgroundRoot.r; y: tabBackgroundRoot.r }
                    PathLine { x: tabBackgroundRoot.w - tabBackgroundRoot.r; y: 0 }
                }
                ShapePath {
                    strokeColor: tabBackgroundRoot.border
                    strokeWidth: 2
                    fillColor: control.contentColor
                    startX: 0; startY: 0
                    PathArc {
                        x: tabBackgroundRoot.r; y: tabBackgroundRoot.r
                        radiusX: tabBackgroundRoot.r; radiusY: tabBackgroundRoot.r
                        direction: PathArc.Counterclockwise
                    }
                    PathLine { x: tabBackgroundRoot.w - tabBackgroundRoot.r; y: tabBackgroundRoot.r }
                }
            }

            Shape {
                objectName: "tabEndBase"
                anchors.fill: parent
                visible: control.last
                ShapePath {
                    strokeColor: "transparent"
                    fillColor: tabBackgroundRoot.fillColor
                    startX: tabBackgroundRoot.w - tabBackgroundRoot.r; startY: 0
                    PathLine { x: tabBackgroundRoot.w - tabBackgroundRoot.r; y: tabBackgroundRoot.h }
                    PathLine { x: tabBackgroundRoot.w; y: 0 }
                }
                ShapePath {
                    strokeColor: tabBackgroundRoot.border
                    strokeWidth: 2
                    fillColor: tabBackgroundRoot.fillColor
                    startX: tabBackgroundRoot.w - tabBackgroundRoot.r; startY: 0
                    PathMove { x: tabBackgroundRoot.w - tabBackgroundRoot.r; y: tabBackgroundRoot.h }
                    PathArc {
                        x: tabBackgroundRoot.w; y: tabBackgroundRoot.h - tabBackgroundRoot.r
                        radiusX: tabBackgroundRoot.r; radiusY: tabBackgroundRoot.r
                        direction: PathArc.Counterclockwise
                    }
                    PathLine { x: tabBackgroundRoot.w; y: 0 }
                }
            }

            Shape {
                objectName: "tabEndInactiveContentTransition"
                width: parent.width
                height: tabBackgroundRoot.r
                visible: control.last && !control.active
                ShapePath {
                    strokeColor: "transparent"
                    fillColor: control.contentColor
                    startX: tabBackgroundRoot.w - tabBackgroundRoot.r; startY: 0
                    PathLine { x: tabBackgroundRoot.w - tabBackgroundRoot.r; y: tabBackgroundRoot.r }
                    PathLine { x: tabBackgroundRoot.w; y: 0 }
                }
                ShapePath {
                    strokeColor: tabBackgroundRoot.border
                    strokeWidth: 2
                    fillColor: control.contentColor
                    startX: tabBackgroundRoot.w - tabBackgroundRoot.r; startY: 0
                    PathMove { x: tabBackgroundRoot.w - tabBackgroundRoot.r; y: tabBackgroundRoot.r }
                    PathArc {
                        x: tabBackgroundRoot.w; y: 0
                        radiusX: tabBackgroundRoot.r; radiusY: tabBackgroundRoot.r
                        direction: PathArc.Counterclockwise
                    }
                }
            }
        }

        Item {
            id: overlapTransition
            objectName: "overlapTransition"
            readonly property real r: tabBackgroundRoot.r
            readonly property real h: height
            readonly property bool noTransitionBorders: control.active || control.nextIsActive
            x: tabBackgroundRoot.w - r
            y: 0
            width: 2 * r
            height: tabBackgroundRoot.h
            visible: !control.last
            layer.enabled: true
            layer.samples: 4
            layer.sourceRect: Qt.rect(0, 0, 2 * r, height + 1)
            transform: Scale {
                origin.x: overlapTransition.width / 2
                origin.y: overlapTransition.height / 2
                xScale: control.active || control.afterActive ? -1 : 1
                yScale: control.headerPosition ? -1 : 1
            }

            Shape {
                objectName: "tabNext"
                anchors.fill: parent
                ShapePath {
                    strokeColor: "transparent"
                    fillColor: control.contentColor
                    startX: 0; startY: 0
                    PathLine { x: 0; y: overlapTransition.r }
                    PathLine { x: 2 * overlapTransition.r; y: overlapTransition.r }
                    PathLine { x: 2 * overlapTransition.r; y: 0 }
                }
                ShapePath {
                    strokeColor: "transparent"
                    fillColor: OrvaneColors.tableRowColor
                    startX: 0; startY: overlapTransition.r
                    PathLine { x: 0; y: overlapTransition.h }
                    PathLine { x: 2 * overlapTransition.r; y: overlapTransition.h }
                    PathLine { x: 2 * overlapTransition.r; y: overlapTransition.r }
                }
                ShapePath {
                    strokeColor: "transparent"
                    fillColor: overlapTransition.noTransitionBorders ? control.contentColor
                                                                     : OrvaneColors.tableRowColor
                    startX: 0; startY: overlapTransition.r
                    PathArc {
                        x: overlapTransition.r; y: 2 * overlapTransition.r
                        radiusX: overlapTransition.r; radiusY: overlapTransition.r
                        direction: PathArc.Clockwise
                    }
                    PathLine { x: overlapTransition.r; y: overlapTransition.h - overlapTransition.r }
                    PathArc {
                        x: 2 * overlapTransition.r; y: overlapTransition.h
                        radiusX: overlapTransition.r; radiusY: overlapTransition.r
                        direction: PathArc.Counterclockwise
                    }
                    PathLine { x: 2 * overlapTransition.r; y: overlapTransition.r }
                }
                ShapePath {
                    strokeColor: tabBackgroundRoot.border
                    strokeWidth: 2
                    fillColor: "transparent"
                    startX: overlapTransition.noTransitionBorders ? 0 : 2 * overlapTransition.r
                    startY: overlapTransition.r
                    PathLine { x: 0; y: overlapTransition.r }
                    PathArc {
                        x: overlapTransition.r; y: 2 * overlapTransition.r
                        radiusX: overlapTransition.r; radiusY: overlapTransition.r
                        direction: PathArc.Clockwise
                    }
                    PathLine { x: overlapTransition.r; y: overlapTransition.h - overlapTransition.r }
                    PathArc {
                        x: 2 * overlapTransition.r; y: overlapTransition.h
                        radiusX: overlapTransition.r; radiusY: overlapTransition.r
                        direction: PathArc.Counterclockwise
                    }
                    PathLine { x: 0; y: overlapTransition.h }
                }
            }
        }
    }
}
