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
        return toPrecisionText(Number(source), digits)
                             .replace(/(\d+\.)(\d*[1-9])?0*([eE][-+]?\d+)?$/, "$1$2$3")
                             .replace(/([^\.]+)\.([eE][-+]?\d+)?$/, "$1$2")
    }

    // The standard precision conversion: fixed notation for exponents from -6 to digits - 1,
    // else exponent form. Qt's engine switches to exponent form early for small values
    // (9.2e-6 instead of 0.0000092), so the text is built from the exponent form here.
    function toPrecisionText(x, digits) {
        if (!isFinite(x) || x === 0)
            return x.toPrecision(digits)
        const exponential = x.toExponential(digits - 1)
        const e = parseInt(exponential.substring(exponential.indexOf("e") + 1))
        if (e < -6 || e >= digits)
            return exponential
        const negative = exponential[0] === "-"
        const mantissa = exponential.substring(negative ? 1 : 0, exponential.indexOf("e"))
                                    .replace(".", "")
        let text
        if (e >= 0)
            text = mantissa.substring(0, e + 1)
                   + (digits > e + 1 ? "." + mantissa.substring(e + 1) : "")
        else
            text = "0." + "0".repeat(-e - 1) + mantissa
        return (negative ? "-" : "") + text
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
