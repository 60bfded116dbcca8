import QtQuick

// A thin line that fades in over its first fifth and out over its last fifth.
Rectangle {
    id: separator

    property int orientation: Qt.Horizontal
    readonly property bool horizontal: orientation === Qt.Horizontal
    readonly property bool vertical: orientation === Qt.Vertical

    implicitWidth: horizontal ? 100 : 1
    implicitHeight: vertical ? 100 : 1
    border.width: 0

    gradient: Gradient {
        orientation: separator.orientation
        GradientStop { position: 0.0; color: "#00D6D6D5" }
        GradientStop { position: 0.20; color: "#FFD6D6D5" }
        GradientStop { position: 0.80; color: "#FFD6D6D5" }
        GradientStop { position: 1.0; color: "#00D6D6D5" }
    }
}
