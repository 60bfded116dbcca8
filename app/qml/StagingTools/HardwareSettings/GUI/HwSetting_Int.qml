import QtQuick

// A whole-number row. No device back end binds one to a field yet, so it shows its title only.
HwSetting_BaseContainer {
    property var setting: null
    property int listIndex: 0

    objectName: "HwSetting_Int"
    title: setting ? setting.name : ""
    controlWidth: 265 * uScale
    controlObject: Component { Item {} }
}
