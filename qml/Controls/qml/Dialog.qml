import QtQuick
import QtQuick.Templates as T
import orvane.Branding
import orvane.Controls

// A modal card: the title on an orange gradient band with a round close button, a white panel
// and a footer with the dialog's buttons.
T.Dialog {
    id: dialog

    modal: true

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            contentWidth + leftPadding + rightPadding,
                            implicitHeaderWidth,
                            implicitFooterWidth)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             contentHeight + topPadding + bottomPadding
                             + (implicitHeaderHeight > 0 ? implicitHeaderHeight : 0)
                             + (implicitFooterHeight > 0 ? implicitFooterHeight : 0))

    horizontalPadding: 60
    verticalPadding: implicitHeaderHeight + topInset

    background: T.Control {
        id: dialogBackground
        objectName: "dialogBackground"
        leftPadding: 2
        rightPadding: 2
        bottomPadding: 2
        topPadding: dialog.implicitHeaderHeight + 2

        background: Rectangle {
            id: dialogBackgroundBorder
            objectName: "dialogBackgroundBorder"
            radius: 15
            gradient: Gradient {
                orientation: Gradient.Horizontal
                GradientStop { position: 0; color: Qt.lighter(OrvaneColors.accentBorderColor, 1.5) }
                GradientStop { position: 1; color: OrvaneColors.accentBorderColor }
            }
        }

        contentItem: Rectangle {
            objectName: "dialogPanel"
            color: OrvaneColors.background
            radius: dialogBackgroundBorder.radius - dialogBackground.leftPadding
        }
    }

    header: T.Label {
        id: dialogTitle
        objectName: "dialogTitle"
        text: dialog.title
        font.family: "Poppins SemiBold"
        font.letterSpacing: 3
        font.capitalization: Font.AllUppercase
        color: OrvaneColors.secondaryTextColor
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        topPadding: contentHeight
        bottomPadding: contentHeight
        leftPadding: contentWidth / 2
        rightPadding: contentWidth / 2

        Accessible.role: Accessible.TitleBar
        Accessible.name: text

        background: Item {
            Rectangle {
                objectName: "titleUnderline"
                height: 1
                width: Math.min((dialog.width + dialogTitle.contentWidth) / 2, dialog.width)
                x: (parent.width - width) / 2
                y: dialogTitle.baselineOffset
                color: dialogTitle.color
            }
        }

        T.Button {
            id: closeButton
            objectName: "closeButton"
            width: 1.5 * dialogBackgroundBorder.radius
            height: width
            anchors.verticalCenter: parent.verticalCenter
            anchors.right: parent.right
            anchors.rightMargin: width / 2
            topPadding: -2
            Accessible.name: "Close"

            background: Rectangle {
                radius: closeButton.width / 2
                color: Qt.alpha(OrvaneColors.secondaryTextColor, 0.5)
            }
            contentItem: Text {
                text: "close"
                font.family: "Material Symbols Rounded"
                font.bold: true
                font.pixelSize: Math.floor(closeButton.height)
                color: OrvaneColors.background
            }
            onClicked: dialog.reject()
        }
    }

    footer: DialogButtonBox {
        objectName: "dialogFooter"
        visible: count > 0
    }

    T.Overlay.modal: Rectangle {
        color: Qt.rgba(0, 0, 0, 0.5)
    }
}
