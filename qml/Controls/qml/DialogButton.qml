import QtQuick
import QtQuick.Layouts
import QtQuick.Templates as T
import orvane.Branding

// A flat button of a dialog's footer whose label colour tells its role.
T.Button {
    id: dialogButton

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)

    opacity: enabled ? 1 : 0.5

    background: Rectangle {
        objectName: "dialogButtonFace"
        radius: 4
        color: dialogButton.hovered && dialogButton.enabled ? OrvaneColors.bigButtonHoverColor
                                                            : OrvaneColors.bigButtonColor
    }

    contentItem: T.Label {
        id: dialogButtonLabel
        objectName: "dialogButtonLabel"

        function labelColor(role) {
            if (role === T.DialogButtonBox.RejectRole)
                return OrvaneColors.martian
            if (role === T.DialogButtonBox.AcceptRole)
                return OrvaneColors.secondaryTextColor
            return OrvaneColors.primaryTextColor
        }

        text: dialogButton.text
        font.family: "Poppins SemiBold"
        font.letterSpacing: 3
        font.capitalization: Font.AllUppercase
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        color: labelColor(dialogButton.T.DialogButtonBox.buttonRole)

        background: Item {
            Rectangle {
                objectName: "dialogButtonUnderline"
                height: 1
                width: (dialogButton.implicitWidth + dialogButtonLabel.contentWidth) / 2
                x: (parent.width - width) / 2
                y: dialogButtonLabel.baselineOffset
                color: dialogButtonLabel.color
            }
        }
    }
}
