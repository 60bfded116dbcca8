import QtQuick
import QtQuick.Controls.Material
import "../../../Qml/OrvaneUI"

// A decimal row: a field that takes numbers within the row's range. No device back end binds
// one to a field yet.
HwSetting_BaseContainer {
    id: row

    property var setting: null
    property int listIndex: 0

    objectName: "HwSetting_Float"
    title: setting ? setting.name : ""
    controlWidth: 265 * uScale

    controlObject: Component {
        MinimalTextField {
            objectName: "valueField"
            width: 202 * row.uScale
            height: 12 * row.uScale
            topPadding: 0
            bottomPadding: 0
            font.family: "Raleway"
            font.weight: Font.Light
            font.pixelSize: 12 * row.uScale
            color: "#1D252F"
            placeholderText: ""
            text: row.setting ? row.setting.stringValue : ""
            validator: DoubleValidator {
                bottom: row.setting ? row.setting.minValue : -Infinity
                top: row.setting ? row.setting.maxValue : Infinity
                decimals: row.setting && row.setting.maxDecimals > 0 ? row.setting.maxDecimals
                                                                      : 1000
                notation: DoubleValidator.StandardNotation
            }
        }
    }
}
