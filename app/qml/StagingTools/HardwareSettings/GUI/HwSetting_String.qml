import QtQuick
import QtQuick.Controls.Material
import "../../../Qml/OrvaneUI"
import "HwSettingsRules.js" as Rules

// A text row. The field is filled from the row when made; every edit goes to the row, which
// checks it and reports the state the border shows. The first three rows of a list are the
// device name and its sections, which the panel's own heading stands in for.
HwSetting_BaseContainer {
    id: row

    property var setting: null
    property int listIndex: 0
    readonly property bool shown: listIndex > 2
    readonly property var field: control

    objectName: "HwSetting_String"
    visible: shown
    height: shown ? 28 * uScale : 0
    title: setting ? setting.name : ""
    controlWidth: 265 * uScale
    border.width: 2 * uScale
    border.color: Rules.stateColour(setting ? setting.fieldState : 0)

    // After a refresh the row goes back to its accepted text: show it, unless the user is typing.
    function showAcceptedText() {
        const input = control
        if (setting && input && !input.activeFocus && input.text !== setting.stringValue)
            input.text = setting.stringValue
    }

    controlObject: Component {
        MinimalTextField {
            objectName: "valueField"
            width: 240 * row.uScale
            height: 12 * row.uScale
            topPadding: 0
            bottomPadding: 0
            leftPadding: 2 * row.uScale
            rightPadding: 2 * row.uScale
            font.family: "Raleway"
            font.weight: Font.Light
            font.pixelSize: 12 * row.uScale
            color: "#1D252F"
            placeholderText: row.setting && row.setting.isPassword ? "Please enter a password" : ""
            maximumLength: row.setting && row.setting.maxLength > 0 ? row.setting.maxLength : 32767
            echoMode: row.setting && row.setting.isPassword && !activeFocus ? TextInput.Password
                                                                           : TextInput.Normal
            passwordCharacter: "\u2022"
            selectByMouse: true
            onTextEdited: if (row.setting) row.setting.editingTextChanged(text)
            Component.onCompleted: text = row.setting ? row.setting.stringValue : ""

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

    Component.onCompleted: {
        // The row's signal names start with a capital, which Connections cannot take on 6.4.
        if (setting)
            setting.ValueChanged.connect(showAcceptedText)
    }
    Component.onDestruction: {
        if (setting)
            setting.ValueChanged.disconnect(showAcceptedText)
    }
}
