import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Controls.Material.impl

// A spin box for doubles. Quick Controls' SpinBox holds integers only, so this control keeps its
// own double value and uses an inner SpinBox just for its buttons, editor and look. Typed numbers
// may use a decimal point or a decimal comma, with or without thousands separators.
Control {
    id: control
    objectName: "MLDoubleSpinBox"

    property real value: 0
    property real from: -999999999999999999
    property real to: 9999999999999999999
    readonly property real topValue: Math.max(from, to)
    readonly property real botValue: Math.min(from, to)
    property real stepSize: 1.0
    property int pageSteps: 10
    property int decimals: 0
    property bool editable: true
    property bool wrap: true
    property int notation: DoubleValidator.StandardNotation
    property bool useLocaleFormat: false
    property bool showGroupSeparator: false
    property bool trimExtraZeros: true
    property string prefix: ""
    property string suffix: ""
    property string inputMask: ""
    property bool selectByMouse: true
    property int buttonRepeatDelay: 300
    property int buttonRepeatInterval: 100
    property int inputMethodHints: Qt.ImhFormattedNumbersOnly
    readonly property var effectiveLocale: useLocaleFormat ? control.locale : Qt.locale("C")

    property var validator: DoubleValidator {
        bottom: control.botValue
        top: control.topValue
        decimals: Math.max(0, control.decimals)
        notation: control.notation
        locale: control.effectiveLocale.name
    }
    readonly property RegularExpressionValidator regExpValidator: RegularExpressionValidator {
        regularExpression: control.doubleValidationRegEx()
    }

    readonly property string displayText: textFromValue(value, effectiveLocale)
    readonly property string cleanText: getCleanText(editor.text, effectiveLocale)
    readonly property bool acceptableInput: editor.acceptableInput
    readonly property bool inputMethodComposing: editor.inputMethodComposing

    signal valueModified()
    signal valueEntered()

    // Replaceable: the plot panel formats its axis limits with a function of its own.
    property var textFromValue: function (value, locale) {
        if (locale === undefined)
            locale = effectiveLocale
        const digits = Math.max(0, decimals)
        // "f" keeps `decimals` digits after the point; "g" would read them as significant
        // digits and show 12 as "1e+01" with the default of 0 decimals.
        let text = Number(value).toLocaleString(
                locale, notation === DoubleValidator.StandardNotation ? "f" : "e", digits)
        if (!showGroupSeparator && locale.name !== "C" && locale.groupSeparator !== "")
            text = text.split(locale.groupSeparator).join("")
        if (trimExtraZeros)
            text = trimZeros(text, locale)
        return prefix + text + suffix
    }

    property var valueFromText: function (text, locale) {
        if (locale === undefined)
            locale = effectiveLocale
        const dots = text.split(".").length - 1
        const commas = text.split(",").length - 1
        const dutch = Qt.locale("nl_NL")
        let parseLocale
        if (dots > 1 && commas <= 1)
            parseLocale = dutch
        else if (commas > 1 && dots <= 1)
            parseLocale = locale
        else if (dots === 1 && commas === 1)
            parseLocale = text.indexOf(".") > text.indexOf(",") ? locale : dutch
        else if (commas === 0 && dots <= 1)
            parseLocale = locale
        else if (commas === 1 && dots === 0)
            parseLocale = dutch
        if (parseLocale === undefined) {
            console.warn("Unhandled Case")
            return 0
        }
        return parseNumber(text, parseLocale)
    }

    function valueFromEnglishText(text, locale) {
        if (locale === undefined)
            locale = effectiveLocale
        const clean = getCleanText(text, locale)
        let kept = ""
        for (const c of clean) {
            if (c === "+" || c === "-" || (c >= "0" && c <= "9") || c === locale.decimalPoint
                    || c.toLowerCase() === locale.exponential.toLowerCase())
                kept += c
        }
        return parseNumber(kept === "" ? "0" : kept, locale)
    }

    function getCleanText(text, locale) {
        let clean = String(text)
        if (prefix !== "" && clean.startsWith(prefix))
            clean = clean.substring(prefix.length)
        if (suffix !== "" && clean.endsWith(suffix))
            clean = clean.substring(0, clean.length - suffix.length)
        return clean.trim()
    }

    function escapeRegExpChars(string) {
        return String(string).replace(/[-[\]{}()*+?.,\\^$|#\s/]/g, "\\$&")
    }

    function escapeInputMaskChars(string) {
        return String(string).replace(/[AaNnXx90Dd#HhBb><!\\\[\]{};]/g, "\\$&")
    }

    function doubleValidationRegEx() {
        const locale = effectiveLocale
        return new RegExp("^" + escapeRegExpChars(prefix) + "[+-]?(?:[\\d]{1,3}"
                          + escapeRegExpChars(locale.groupSeparator) + "?)+"
                          + escapeRegExpChars(locale.decimalPoint) + "?[\\d]*" + "(?:"
                          + escapeRegExpChars(locale.exponential) + "[+-]?[\\d]+)?"
                          + escapeRegExpChars(suffix) + "$", "i")
    }

    function setValue(newValue, noWrap, notModified) {
        let v = Number(newValue)
        if (isNaN(v))
            return false
        if (!wrap || noWrap)
            v = Math.min(Math.max(v, botValue), topValue)
        else if (v < botValue)
            v = topValue
        else if (v > topValue)
            v = botValue
        v = Number(v.toFixed(Math.min(100, Math.max(0, decimals))))
        if (v === value)
            return false
        d.validated = true
        value = v
        d.validated = false
        if (!notModified)
            valueModified()
        spinBox.value = 0
        return true
    }

    function textValue() {
        return valueFromText(getCleanText(editor.text, effectiveLocale), effectiveLocale)
    }

    function stepBy(steps, noWrap) {
        return setValue(textValue() + stepSize * steps, noWrap)
    }
    function increase() { stepBy(1) }
    function decrease() { stepBy(-1) }

    function updateValueFromText() {
        if (!setValue(textValue(), true))
            editor.text = textFromValue(value, effectiveLocale)
    }

    // Trailing zeros after the last non-zero decimal go, and with them a point left alone.
    function trimZeros(text, locale) {
        const point = text.indexOf(locale.decimalPoint)
        if (point < 0)
            return text
        let end = point + 1
        while (end < text.length && text[end] >= "0" && text[end] <= "9")
            ++end
        let cut = end
        while (cut > point + 1 && text[cut - 1] === "0")
            --cut
        if (cut === point + 1)
            cut = point
        return text.substring(0, cut) + text.substring(end)
    }

    function parseNumber(text, locale) {
        try {
            const v = Number.fromLocaleString(locale, text)
            return isNaN(v) ? 0 : v
        } catch (error) {
            return 0
        }
    }

    function updateUi() {
        if (!d.completed)
            return
        editor.text = textFromValue(value, effectiveLocale)
        d.upEnabled = wrap || value < topValue
        d.downEnabled = wrap || value > botValue
    }

    onValueChanged: {
        if (!d.completed)
            return
        if (!d.validated)
            setValue(value, true, true)
        updateUi()
    }
    onWrapChanged: updateUi()
    onNotationChanged: updateUi()
    onTrimExtraZerosChanged: updateUi()
    onShowGroupSeparatorChanged: updateUi()
    onEffectiveLocaleChanged: updateUi()
    onTopValueChanged: updateUi()
    onBotValueChanged: updateUi()
    onDecimalsChanged: updateUi()
    onPrefixChanged: updateUi()
    onSuffixChanged: updateUi()
    onTextFromValueChanged: updateUi()

    Component.onCompleted: {
        d.completed = true
        setValue(value, true, true)
        updateUi()
    }

    QtObject {
        id: d
        property bool completed: false
        property bool validated: false
        property bool upEnabled: true
        property bool downEnabled: true
        property int heldSteps: 0
    }

    // One step when a button goes down, then after the delay one step per interval until release.
    Timer {
        id: repeatTimer
        interval: control.buttonRepeatDelay
        repeat: false
        onTriggered: {
            if (!control.stepHeld()) {
                stop()
            } else if (!repeat) {
                interval = control.buttonRepeatInterval
                repeat = true
                restart()
            }
        }
    }

    function pressButton(steps) {
        if ((steps > 0 && !d.upEnabled) || (steps < 0 && !d.downEnabled))
            return
        d.heldSteps = steps
        stepBy(steps)
        repeatTimer.interval = buttonRepeatDelay
        repeatTimer.repeat = false
        repeatTimer.restart()
    }

    function releaseButton() {
        d.heldSteps = 0
        repeatTimer.stop()
    }

    function stepHeld() {
        if (d.heldSteps === 0 || (d.heldSteps > 0 && !d.upEnabled)
                || (d.heldSteps < 0 && !d.downEnabled))
            return false
        stepBy(d.heldSteps)
        return true
    }

    Keys.onPressed: function (event) {
        switch (event.key) {
        case Qt.Key_Up:
            stepBy(1)
            break
        case Qt.Key_Down:
            stepBy(-1)
            break
        case Qt.Key_PageUp:
            stepBy(pageSteps)
            break
        case Qt.Key_PageDown:
            stepBy(-pageSteps)
            break
        case Qt.Key_Enter:
            updateValueFromText()
            break
        case Qt.Key_Tab:
        case Qt.Key_Backtab:
            // Committed like any other key, but focus still moves on.
            updateValueFromText()
            valueEntered()
            event.accepted = false
            return
        default:
            updateValueFromText()
            valueEntered()
            updateValueFromText()
            break
        }
        event.accepted = true
    }

    contentItem: SpinBox {
        id: spinBox
        from: -0x7FFFFFFF
        to: 0x7FFFFFFF
        // The buttons step through the handlers above, at our own repeat rate; the inner value
        // never moves, so the inner box never disables a button at its own limits.
        stepSize: 0
        value: 0
        editable: control.editable
        font: control.font
        bottomPadding: 5 * uScale
        inputMethodHints: control.inputMethodHints
        Keys.forwardTo: [control]

        valueFromText: function (text, locale) { return 0 }
        onValueChanged: if (value !== 0) value = 0

        Connections {
            target: spinBox.up
            function onPressedChanged() {
                spinBox.up.pressed ? control.pressButton(1) : control.releaseButton()
            }
        }
        Connections {
            target: spinBox.down
            function onPressedChanged() {
                spinBox.down.pressed ? control.pressButton(-1) : control.releaseButton()
            }
        }

        contentItem: TextInput {
            id: editor
            z: 2
            text: control.displayText
            font: spinBox.font
            color: enabled ? spinBox.Material.foreground : spinBox.Material.hintTextColor
            selectionColor: spinBox.Material.textSelectionColor
            selectedTextColor: spinBox.Material.foreground
            horizontalAlignment: Qt.AlignHCenter
            verticalAlignment: Qt.AlignVCenter
            readOnly: !control.editable
            validator: control.validator
            inputMask: control.inputMask
            selectByMouse: control.selectByMouse
            inputMethodHints: control.inputMethodHints
            cursorDelegate: CursorDelegate { }
            onActiveFocusChanged: {
                if (!activeFocus && d.completed)
                    control.updateValueFromText()
            }
        }

        background: Item {
            implicitWidth: 192
            implicitHeight: spinBox.Material.touchTarget
        }

        Component.onCompleted: {
            up.indicator.enabled = Qt.binding(function () { return d.upEnabled })
            down.indicator.enabled = Qt.binding(function () { return d.downEnabled })
        }
    }

    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.NoButton
        enabled: !control.editable || editor.activeFocus
        onWheel: function (wheel) {
            let delta = wheel.angleDelta.y !== 0 ? wheel.angleDelta.y : -wheel.angleDelta.x
            if (wheel.inverted)
                delta = -delta
            let steps = delta / 120
            if (wheel.modifiers & Qt.ControlModifier)
                steps *= control.pageSteps
            control.stepBy(steps)
            wheel.accepted = true
        }
    }
}
