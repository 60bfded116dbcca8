import QtQuick
import QtQuick.Shapes
import QtQuick.Templates as T
import QtQuick.Controls.Material
import orvane.Branding
import orvane.Controls

// A one-line text field dressed as an outlined Material field: a rounded outline and a
// placeholder that floats onto the outline while the field has focus or text. The Material
// style of this Qt has neither, so both are drawn here with the style's metrics.
T.TextField {
    id: control

    // The Material style's text-field metrics (normal density).
    QtObject {
        id: metrics
        readonly property real horizontalPadding: 16
        readonly property real verticalPadding: 8
        readonly property real fieldHeight: 56
        readonly property real floatingScale: 0.75
        readonly property int outlineRadius: 4
    }

    Accessible.name: text !== "" ? text : placeholderText

    implicitWidth: implicitBackgroundWidth + leftInset + rightInset !== 0
                   ? implicitBackgroundWidth + leftInset + rightInset
                   : Math.max(contentWidth, placeholder.implicitWidth) + leftPadding + rightPadding
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             contentHeight + topPadding + bottomPadding)

    topInset: clip ? placeholder.largestHeight / 2 : 0
    leftPadding: metrics.horizontalPadding
    rightPadding: metrics.horizontalPadding
    topPadding: metrics.verticalPadding + topInset
    bottomPadding: metrics.verticalPadding

    color: enabled ? OrvaneColors.primaryTextColor : OrvaneColors.secondaryTextColor
    selectionColor: OrvaneColors.selectionColor
    selectedTextColor: OrvaneColors.selectedTextColor
    placeholderTextColor: enabled && activeFocus ? OrvaneColors.selectionColor
                                                 : OrvaneColors.secondaryTextColor
    verticalAlignment: TextInput.AlignVCenter

    cursorDelegate: CursorDelegate {}

    Text {
        id: placeholder
        objectName: "floatingPlaceholder"

        readonly property bool floating: control.activeFocus || control.length > 0
        // The height of the unscaled text, whatever its state.
        readonly property real largestHeight: implicitHeight

        x: control.leftPadding
        width: control.width - (control.leftPadding + control.rightPadding)
        text: control.placeholderText
        font: control.font
        color: control.placeholderTextColor
        elide: Text.ElideRight
        renderType: control.renderType
        verticalAlignment: Text.AlignVCenter
        visible: text !== ""
        transformOrigin: Item.Left
        scale: floating ? metrics.floatingScale : 1
        // Floating, it sits on the outline's top edge; otherwise in the middle of the field.
        y: floating ? control.topInset - height / 2
                    : control.topInset + (control.height - control.topInset - height) / 2

        Behavior on y { NumberAnimation { duration: 150; easing.type: Easing.OutCubic } }
        Behavior on scale { NumberAnimation { duration: 150; easing.type: Easing.OutCubic } }
    }

    background: Item {
        id: container
        objectName: "textContainer"

        readonly property color outlineColor: control.enabled && control.hovered
                                              ? control.Material.primaryTextColor
                                              : OrvaneColors.secondaryTextColor
        readonly property color focusedOutlineColor: OrvaneColors.selectionColor
        readonly property bool focused: control.activeFocus
        readonly property real placeholderTextWidth:
            Math.min(placeholder.width, placeholder.implicitWidth) * placeholder.scale
        // The outline opens for the floating placeholder, with a little room on each side.
        readonly property bool gapOpen: placeholder.text !== ""
                                        && (control.activeFocus || control.length > 0)
        readonly property real gapStart: metrics.horizontalPadding - 4
        readonly property real gapEnd: gapOpen ? metrics.horizontalPadding + placeholderTextWidth + 4
                                               : gapStart

        implicitWidth: 120
        implicitHeight: metrics.fieldHeight

        Shape {
            id: outline
            objectName: "outline"
            anchors.fill: parent
            readonly property real w: width
            readonly property real h: height
            readonly property real r: metrics.outlineRadius
            readonly property real b: container.focused ? 1 : 0.5

            ShapePath {
                strokeWidth: container.focused ? 2 : 1
                strokeColor: container.focused ? container.focusedOutlineColor
                                               : container.outlineColor
                fillColor: "transparent"
                startX: container.gapEnd
                startY: outline.b
                PathLine { x: outline.w - outline.r; y: outline.b }
                PathArc {
                    x: outline.w - outline.b; y: outline.r
                    radiusX: outline.r - outline.b; radiusY: outline.r - outline.b
                }
                PathLine { x: outline.w - outline.b; y: outline.h - outline.r }
                PathArc {
                    x: outline.w - outline.r; y: outline.h - outline.b
                    radiusX: outline.r - outline.b; radiusY: outline.r - outline.b
                }
                PathLine { x: outline.r; y: outline.h - outline.b }
                PathArc {
                    x: outline.b; y: outline.h - outline.r
                    radiusX: outline.r - outline.b; radiusY: outline.r - outline.b
                }
                PathLine { x: outline.b; y: outline.r }
                PathArc {
                    x: outline.r; y: outline.b
                    radiusX: outline.r - outline.b; radiusY: outline.r - outline.b
                }
                PathLine { x: container.gapStart; y: outline.b }
            }
        }
    }
}
