import QtQuick
import QtQuick.Templates as T

// A flickable row of folder tabs joined to a content area along one long side of the bar.
T.TabBar {
    id: control

    property int contentRadius: 20

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            contentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             contentHeight + topPadding + bottomPadding)

    contentItem: ListView {
        objectName: "tabList"
        model: control.contentModel
        currentIndex: control.currentIndex
        orientation: ListView.Horizontal
        boundsBehavior: Flickable.StopAtBounds
        flickableDirection: Flickable.AutoFlickIfNeeded
        snapMode: ListView.SnapToItem
    }

    background: null
}
