import QtQuick
import QtQuick.Templates as T
import orvane.Branding

// A tool of the tool bar: a round icon disc over its label, which wraps into two balanced
// lines; the whole button lights up under the pointer.
T.ToolButton {
    id: control

    property color iconColor: OrvaneColors.accentColor
    property bool overrideDisabledColor: false
    default property alias iconElements: iconBackground.data

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)

    topPadding: 20
    bottomPadding: 12
    horizontalPadding: 12

    contentItem: Item {
        implicitWidth: Math.max(iconBackground.width, label.width)
        implicitHeight: iconBackground.height + fontMetrics.expectedHeight

        Rectangle {
            id: iconBackground
            objectName: "iconBackground"
            width: 36
            height: 36
            radius: 18
            color: control.overrideDisabledColor || control.enabled
                   ? control.iconColor : OrvaneColors.formFieldContentBackground
            anchors.top: parent.top
            anchors.horizontalCenter: parent.horizontalCenter
        }

        Text {
            id: label
            objectName: "label"
            text: control.text
            font: fontMetrics.font
            color: hover.hovered ? OrvaneColors.selectedTextColor
                                 : OrvaneColors.formFieldToggleFalse
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
            anchors.horizontalCenter: parent.horizontalCenter
            width: fontMetrics.expectedWidth
            anchors.top: iconBackground.bottom
            anchors.topMargin: 12
            anchors.bottom: parent.bottom
        }

        FontMetrics {
            id: fontMetrics
            objectName: "fontMetrics"

            readonly property int expectedWidth: calculateWidthAfterSplit(label.text)
            readonly property int expectedHeight: 2 * boundingRect(label.text).height

            // The narrowest two-line split at a space or after a hyphen, scanning from the
            // left and stopping at the first split that is no narrower than the best so far.
            function calculateWidthAfterSplit(text) {
                const pieces = []
                for (const word of text.split(" ")) {
                    const fragments = word.split("-")
                    for (let i = 0; i < fragments.length; ++i)
                        pieces.push(i < fragments.length - 1 ? fragments[i] + "-" : fragments[i])
                }
                let best = advanceWidth(text)
                for (let i = 1; i < pieces.length; ++i) {
                    const left = pieces.slice(0, i).join(" ")
                    const right = pieces.slice(i).join(" ")
                    const width = Math.max(advanceWidth(left), advanceWidth(right))
                    if (width < best)
                        best = width
                    else
                        break
                }
                return best
            }

            font.family: "Raleway"
            font.pixelSize: 14
            font.bold: true
        }
    }

    background: Rectangle {
        implicitWidth: 50
        implicitHeight: 120
        color: OrvaneColors.formFieldToggleFalse
        opacity: hover.hovered ? 1 : 0

        HoverHandler {
            id: hover
            objectName: "hover"
            enabled: control.enabled
        }
    }
}
