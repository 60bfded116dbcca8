import QtQuick
import QtQuick.Controls.Material
import "../../../Qml/OrvaneUI"
import "HwSettingsRules.js" as Rules

// An IPv4 address row: the field shows the row's text and every edit goes to the row, which
// checks the address (and its group) and reports the state the border shows.
HwSetting_BaseContainer {
    id: row

    property var setting: null
    property int listIndex: 0
    readonly property var field: control

    objectName: "HwSetting_IpAddress"
    title: setting ? setting.name : ""
    controlWidth: 265 * uScale
    border.width: 2 * uScale
    border.color: Rules.stateColour(setting ? setting.fieldState : 0)

    controlObject: Component {
        MinimalTextField {
            objectName: "valueField"
            width: 202 * row.uScale
            height: 12 * row.uScale
            topPadding: 0
            bottomPadding: 0
            leftPadding: 2 * row.uScale
            rightPadding: 2 * row.uScale
            font.family: "Raleway"
            font.weight: Font.Light
            font.pixelSize: 12 * row.uScale
            color: "#1D252F"
            placeholderText: "xx - xx - xx - xx"
            // Long enough for any dotted address; the row decides what is valid.
            maximumLength: 15
            selectByMouse: true
            text: row.setting ? row.setting.stringValue : ""
            onTextEdited: if (row.setting) row.setting.editingTextChanged(text)

            Rectangle {
                // Short of the bar's rounded end.
                width: parent.width - 12 * row.uScale
                height: Math.max(1, 0.8 * row.uScale)
                anchors.top: parent.bottom
                anchors.topMargin: 2 * row.uScale
                color: "#D3D3D4"
            }
        }
    }
}
