import QtQuick

// A section heading. The first rows of a list belong to the sections the panel's own heading
// stands in for, so those stay hidden.
Item {
    id: row

    property var setting: null
    property int listIndex: 0
    readonly property real uScale: typeof hRef !== "undefined" ? hRef / 1080.01 : 1
    readonly property bool shown: listIndex > 2

    objectName: "HwSetting_SectionName"
    visible: shown
    width: 500 * uScale
    height: shown ? 40 * uScale : 0

    Text {
        objectName: "sectionText"
        x: 5 * row.uScale
        y: 13 * row.uScale
        textFormat: Text.PlainText
        text: row.setting ? row.setting.name : ""
        font.family: "Poppins"
        font.weight: Font.Black
        font.pixelSize: 13 * row.uScale
        color: "#1D252F"
    }
}
