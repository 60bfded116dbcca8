import QtQuick
import "../../../Qml/OrvaneUI"

// An on/off row: the switch shows the row's value and every toggle goes to the row.
HwSetting_BaseContainer {
    id: row

    property var setting: null
    property int listIndex: 0
    readonly property var toggle: control

    objectName: "HwSetting_Bool"
    title: setting ? setting.name : ""
    controlWidth: (typeof hRef !== "undefined" ? hRef : 1080) * 120 / 1080

    controlObject: Component {
        OrvSwitch_rev1 {
            objectName: "valueSwitch"
            width: 80 * row.uScale
            height: 26 * row.uScale
            checked: row.setting ? row.setting.boolPosition !== 0 : false
            onToggled: if (row.setting) row.setting.boolValueUpdated(checked)
        }
    }
}
