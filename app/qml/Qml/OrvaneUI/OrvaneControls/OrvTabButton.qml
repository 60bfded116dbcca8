import QtQuick
import QtQuick.Controls
import QtQuick.Templates as T

T.TabButton {
    id: control

    property var tabBarObject: null
    readonly property int currentTab: tabBarObject ? tabBarObject.currentIndex : -1
    readonly property real slant: background ? background.height / 1.8 : 0

    text: qsTr("Button")
    implicitWidth: Math.max(implicitBackgroundWidth, implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight, implicitContentHeight)
    leftPadding: TabBar.index === 0 ? 0 : slant * uScale

    contentItem: Text {
        text: control.text
        font.family: "Raleway"
        font.weight: Font.ExtraBold
        font.pixelSize: Math.max(1, 12 * uScale)
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        textFormat: Text.PlainText
        color: control.pressed || control.checked ? "white" : "#CCCBCA"
        opacity: control.enabled ? 1 : 0.3
    }

    background: Item {
        implicitWidth: 100 * uScale
        implicitHeight: 20 * uScale
        clip: true
        Rectangle {
            objectName: "tabShape"
            x: -control.slant * uScale
            y: -radius
            width: parent.width + 2 * control.slant * uScale
            height: parent.height + radius
            radius: parent.height / 1.8
            border.width: 0.5
            border.color: "#CCCBCA"
            color: control.TabBar.index === control.currentTab ? "#E5053A"
                 : control.TabBar.index < control.currentTab ? "white" : "#F3F3F3"
        }
    }
}
