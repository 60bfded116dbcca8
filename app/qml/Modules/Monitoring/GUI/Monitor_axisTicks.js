.pragma library

// Ticks of the plot's y axis. The chart's own tick labels add the interval up from the lowest
// tick, so a tick that should read 0 prints the sum's rounding left-over ("-2.776e-17"); here every
// tick is its own multiple of a round interval, k * m * 10^e, worked out in one step.

// Round intervals are 1, 2, 2.5 and 5 times a power of ten; the smallest one at least a seventh of
// the range gives four to seven intervals on the axis.
var roundMantissas = [1, 2, 2.5, 5, 10]

function powerOfTen(exponent) {
    return Math.pow(10, Math.abs(exponent))
}

// m * 10^e, divided rather than multiplied for negative e so that 2 * 10^-1 is the double nearest
// to 0.2 and not 2 * 0.1.
function scaled(mantissa, exponent) {
    return exponent < 0 ? mantissa / powerOfTen(exponent) : mantissa * powerOfTen(exponent)
}

// { values: [...], interval: d } for the range [min, max], lowest value first; no ticks for an
// empty or non-finite range.
function ticks(min, max) {
    const span = max - min
    if (!isFinite(min) || !isFinite(max) || !(span > 0))
        return { values: [], interval: 0 }
    const wanted = span / 7
    const exponent = Math.floor(Math.log(wanted) / Math.LN10)
    let mantissa = 10
    for (let i = 0; i < roundMantissas.length; ++i) {
        if (scaled(roundMantissas[i], exponent) >= wanted * (1 - 1e-9)) {
            mantissa = roundMantissas[i]
            break
        }
    }
    const interval = scaled(mantissa, exponent)
    // A range edge that is itself a tick stays one although min / interval rounds past it.
    const first = Math.ceil(min / interval - 1e-9)
    const last = Math.floor(max / interval + 1e-9)
    const values = []
    for (let k = first; k <= last; ++k)
        values.push(scaled(k * mantissa, exponent) + 0) // + 0: no "-0"
    return { values: values, interval: interval }
}

// The C library's "%.<precision>g": the shorter of fixed and exponent form, trailing zeros cut,
// at least two exponent digits.
function formatG(value, precision) {
    if (value === 0)
        return "0"
    if (isNaN(value))
        return "nan"
    if (!isFinite(value))
        return value > 0 ? "inf" : "-inf"
    const exponentForm = value.toExponential(precision - 1)
    const e = exponentForm.indexOf("e")
    const exponent = parseInt(exponentForm.substring(e + 1), 10)
    if (exponent < -4 || exponent >= precision) {
        const digits = trimZeros(exponentForm.substring(0, e))
        const size = Math.abs(exponent)
        return digits + "e" + (exponent < 0 ? "-" : "+") + (size < 10 ? "0" : "") + size
    }
    return trimZeros(value.toFixed(precision - 1 - exponent))
}

function trimZeros(text) {
    if (text.indexOf(".") < 0)
        return text
    return text.replace(/\.?0+$/, "")
}
