import QtQuick
import QtQuick.Layouts
import QtQuick.Templates as T
import orvane.Branding

// The footer of a dialog: its buttons in one row from right to left on a white strip.
T.DialogButtonBox {
    id: dialogButtonBox

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            contentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             contentHeight + topPadding + bottomPadding)

    horizontalPadding: 60
    verticalPadding: 40
    leftInset: 2
    rightInset: 2
    bottomInset: 2
    topInset: 0
    alignment: Qt.AlignVCenter | Qt.AlignHCenter

    delegate: DialogButton {
        implicitWidth: 200
        implicitHeight: 80
        Layout.fillWidth: true
        Layout.fillHeight: true
    }

    background: Rectangle {
        objectName: "buttonBoxBackground"
        radius: 13
        color: OrvaneColors.dialogButtonContainerColor

        // Square upper corners: only the bottom corners are round.
        Rectangle {
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            height: parent.radius
            color: parent.color
        }
        Rectangle {
            objectName: "buttonBoxSeparator"
            anchors.bottom: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            height: 1
            color: OrvaneColors.secondaryTextColor
        }
    }

    contentItem: T.Control {
        id: buttonContainer
        padding: 2
        background: Rectangle {
            radius: 5
            color: OrvaneColors.background
        }
        contentItem: RowLayout {
            objectName: "buttonRow"
            layoutDirection: Qt.RightToLeft
            Repeater {
                model: dialogButtonBox.contentModel
            }
        }
    }
}
