import QtQuick

// A blank line between groups of rows.
Item {
    property var setting: null
    property int listIndex: 0
    readonly property real uScale: typeof hRef !== "undefined" ? hRef / 1080.01 : 1

    objectName: "HwSetting_EmptyLine"
    width: 500 * uScale
    height: 40 * uScale
}
