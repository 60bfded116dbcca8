import QtQuick
import QtQuick.Layouts
import QtQuick.Templates as T
import orvane.Branding

// A tall bar laying out its tools in a row over a flat background with a border line below.
T.ToolBar {
    id: control

    default property alias toolElements: toolContainer.data

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            contentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             contentHeight + topPadding + bottomPadding)

    spacing: 18
    horizontalPadding: spacing

    contentItem: RowLayout {
        id: toolContainer
        objectName: "toolContainer"
        spacing: control.spacing
    }

    background: Rectangle {
        implicitHeight: 120
        color: OrvaneColors.toolBarColor

        Rectangle {
            objectName: "toolBarBorder"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            height: 2
            color: OrvaneColors.mainBorderColor
        }
    }
}
