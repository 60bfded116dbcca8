import QtQuick
import Qt5Compat.GraphicalEffects

// A rectangle that shows one item (clipContent) cut to its rounded inner shape. The owner gives
// that item opacity 0, so it still takes mouse input while only the masked copy is drawn.
Rectangle {
    id: root

    property Item clipContent: null
    property real borderWidth_mm: 0
    property real radius_mm: 0
    property real pixelDensity: Screen.pixelDensity > 0 ? Screen.pixelDensity : 96 / 25.4

    border.width: borderWidth_mm * pixelDensity
    radius: radius_mm * pixelDensity

    Rectangle {
        id: maskShape
        x: root.border.width
        y: root.border.width
        width: Math.max(0, root.width - 2 * root.border.width)
        height: Math.max(0, root.height - 2 * root.border.width)
        radius: Math.max(0, root.radius - root.border.width)
        visible: false
    }

    OpacityMask {
        objectName: "clippedCopy"
        x: maskShape.x
        y: maskShape.y
        width: maskShape.width
        height: maskShape.height
        visible: root.clipContent !== null
        source: ShaderEffectSource {
            sourceItem: root.clipContent
            hideSource: false
            sourceRect: Qt.rect(maskShape.x - (root.clipContent ? root.clipContent.x : 0),
                                maskShape.y - (root.clipContent ? root.clipContent.y : 0),
                                maskShape.width, maskShape.height)
        }
        maskSource: maskShape
    }
}
