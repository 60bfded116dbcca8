import QtQuick

// A sub-section heading, such as one Wi-Fi mode.
Item {
    id: row

    property var setting: null
    property int listIndex: 0
    readonly property real uScale: typeof hRef !== "undefined" ? hRef / 1080.01 : 1

    objectName: "HwSetting_SubSectionName"
    width: 500 * uScale
    height: 40 * uScale

    Text {
        objectName: "sectionText"
        x: 5 * row.uScale
        y: 13 * row.uScale
        textFormat: Text.PlainText
        text: row.setting ? row.setting.name : ""
        font.family: "Poppins"
        font.weight: Font.DemiBold
        font.pixelSize: 13 * row.uScale
        color: "#1D252F"
    }
}
