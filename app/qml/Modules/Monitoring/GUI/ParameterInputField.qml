import QtQuick
import "../../../Qml/OrvaneUI"

// The entry field of a parameter row. Its text follows the device's value only when that value
// changes, so what the user types stays until then; `isDirty` says whether the text shows a
// value other than the device's.
OrvTextField {
    id: field

    property real currentValue: 0
    property int currentValuePrecision: 7
    readonly property int displayedValuePrecision: precisionOfValueText(text)
    readonly property bool isDirty: {
        const p = Math.max(currentValuePrecision, displayedValuePrecision)
        return textFromValue(currentValue, p) !== formattedValueText(text, p)
    }

    horizontalAlignment: TextInput.AlignHCenter
    topPadding: 0
    bottomPadding: 0
    background: Item { }
    selectByMouse: true
    inputMethodHints: Qt.ImhFormattedNumbersOnly
    validator: RegularExpressionValidator {
        regularExpression: /(-)?((\d*)|(\d*)([.,]\d*)?)([eE][-+]?\d*)?/
    }

    // Significant digits the text was typed with: "10.010" 5, "0.00101" 3, "1.010e-3" 4.
    function precisionOfValueText(valueText) {
        return String(valueText).replace(/-?(\d*)\.?(\d*)[eE]?[+-]?\d*/, "$1$2")
                                .replace(/0*([1-9]\d*)/, "$1").length
    }

    function updateCurrentValuePrecision() {
        currentValuePrecision = precisionOfValueText(text)
    }

    function valueFromText(source) {
        return parseFloat(String(source).replace(",", "."))
    }

    // The script's precision conversion takes 1 to 21 digits and throws outside them; an empty
    // text (precision 0) or a very long one must still format.
    function textFromValue(source, precision) {
        const digits = Math.min(21, Math.max(1, Math.floor(precision) || 1))
        return Number(source).toPrecision(digits)
                             .replace(/(\d+\.)(\d*[1-9])?0*([eE][-+]?\d+)?$/, "$1$2$3")
                             .replace(/([^\.]+)\.([eE][-+]?\d+)?$/, "$1$2")
    }

    function getValue() {
        return valueFromText(text)
    }

    function isValid() {
        return isFinite(getValue())
    }

    function formattedValueText(source, precision) {
        return textFromValue(valueFromText(source), precision)
    }

    onCurrentValueChanged: text = textFromValue(currentValue, currentValuePrecision)
    Component.onCompleted: text = textFromValue(currentValue, currentValuePrecision)
}
