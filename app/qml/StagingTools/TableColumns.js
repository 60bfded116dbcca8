.pragma library

// Column widths of the staging screens' tables, shared by a table's header and its rows.
//
// The free width is shared out by the columns' shares; a column that would fall below its floor
// (the width its content needs) keeps the floor and the others share what is left. A table
// narrower than all floors together shrinks every column alike.

// Widths for `total` among items {share, floor}; floors are in the same unit as `total`.
function distribute(items, total) {
    var fixed = items.map(function () { return false })
    for (;;) {
        var freeWidth = total
        var freeShares = 0
        for (var i = 0; i < items.length; ++i) {
            if (fixed[i])
                freeWidth -= items[i].floor
            else
                freeShares += items[i].share
        }
        var scale = freeShares > 0 ? Math.max(0, freeWidth) / freeShares : 0
        var changed = false
        for (var k = 0; k < items.length; ++k) {
            if (!fixed[k] && items[k].share * scale < items[k].floor) {
                fixed[k] = true
                changed = true
            }
        }
        if (!changed) {
            return items.map(function (item, n) {
                return fixed[n] ? item.floor : item.share * scale
            })
        }
        if (fixed.every(function (f) { return f })) {
            // Narrower than every floor together: everything shrinks alike.
            var floors = items.reduce(function (sum, item) { return sum + item.floor }, 0)
            return items.map(function (item) { return item.floor * Math.max(0, total) / floors })
        }
    }
}

// The geometry of a table `tableWidth` pixels wide. `table` holds the indent's share and floor,
// the width kept free at the right (for the vertical scroll bar) and the columns {label, share,
// floor}; floors and the right reserve are in units of uScale. The result has `indent` (where
// the first column starts), `end` (where the last one ends) and per column {label, x, width},
// in the table's pixels.
function layout(table, tableWidth, uScale) {
    var items = [{ share: table.indentShare, floor: table.indentFloor * uScale }]
    for (var i = 0; i < table.columns.length; ++i)
        items.push({ share: table.columns[i].share, floor: table.columns[i].floor * uScale })
    var widths = distribute(items, tableWidth - table.rightReserve * uScale)
    var x = widths[0]
    var result = []
    for (var k = 0; k < table.columns.length; ++k) {
        result.push({ label: table.columns[k].label, x: x, width: widths[k + 1] })
        x += widths[k + 1]
    }
    return { indent: widths[0], end: x, columns: result }
}

// The narrowest table that shows every column at its floor.
function minimumWidth(table, uScale) {
    var sum = table.indentFloor + table.rightReserve
    for (var i = 0; i < table.columns.length; ++i)
        sum += table.columns[i].floor
    return sum * uScale
}

// The column of `label` in a geometry, or null.
function column(geometry, label) {
    for (var i = 0; i < geometry.columns.length; ++i) {
        if (geometry.columns[i].label === label)
            return geometry.columns[i]
    }
    return null
}
