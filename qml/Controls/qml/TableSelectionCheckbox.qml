import QtQuick
import QtQuick.Templates as T
import orvane.Controls

// The selection check box of a table row: a white disc with the green check mark.
T.CheckBox {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitIndicatorHeight + topPadding + bottomPadding)

    verticalPadding: padding + 7

    indicator: CheckIndicator {
        control: control
        x: control.leftPadding + (control.availableWidth - width) / 2
        y: control.topPadding + (control.availableHeight - height) / 2
    }

    background: Rectangle {
        color: "white"
        radius: height / 2
    }

    contentItem: null
}
