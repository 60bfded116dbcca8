import QtQuick
import QtQuick.Templates as T
import orvane.Branding
import orvane.Controls

// A pill for whole numbers: minus at one end, plus at the other, the number in an inner pill.
T.SpinBox {
    id: root

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: 40 + topInset + bottomInset

    topPadding: 2
    bottomPadding: 2
    leftPadding: mirrored ? (up.indicator ? up.indicator.width : 0)
                          : (down.indicator ? down.indicator.width : 0)
    rightPadding: mirrored ? (down.indicator ? down.indicator.width : 0)
                           : (up.indicator ? up.indicator.width : 0)

    font.family: "Raleway"
    font.styleName: "Regular"
    font.pixelSize: 24
    font.weight: Font.Normal

    validator: IntValidator {
        locale: root.locale.name
        bottom: Math.min(root.from, root.to)
        top: Math.max(root.from, root.to)
    }

    up.indicator: Item {
        objectName: "plus"
        implicitWidth: 35
        implicitHeight: 40
        x: root.mirrored ? 0 : root.width - width
        Rectangle {
            anchors.centerIn: parent
            width: parent.width * 0.3
            height: 2
            color: OrvaneColors.primaryTextColor
        }
        Rectangle {
            anchors.centerIn: parent
            width: 2
            height: parent.height * 0.3
            color: OrvaneColors.primaryTextColor
        }
    }

    down.indicator: Item {
        objectName: "minus"
        implicitWidth: 35
        implicitHeight: 40
        x: root.mirrored ? root.width - width : 0
        Rectangle {
            anchors.centerIn: parent
            width: parent.width * 0.3
            height: 2
            color: OrvaneColors.primaryTextColor
        }
    }

    contentItem: T.TextField {
        objectName: "spinText"
        implicitWidth: 100
        font: root.font
        text: root.displayText
        horizontalAlignment: Qt.AlignHCenter
        verticalAlignment: Qt.AlignVCenter
        validator: root.validator
        readOnly: !root.editable
        background: Rectangle {
            radius: height / 2
            color: OrvaneColors.formFieldContentBackground
        }
    }

    background: Rectangle {
        radius: height / 2
        color: OrvaneColors.formFieldControlBackground
    }
}
