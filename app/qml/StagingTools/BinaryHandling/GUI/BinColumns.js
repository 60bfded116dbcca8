.pragma library
.import "../../TableColumns.js" as TableColumns

// The one column layout of the binary table: the header and every row place their cells from
// it, so a header always sits over its cells, whatever the table's width.
//
// Each column has a share of the table (its width in reference units of a 1080-pixel-high
// screen) and a floor below which its content (buttons, date, sort arrow) no longer fits.

var table = {
    indentShare: 110,
    indentFloor: 16,
    // The vertical scroll bar's width and inset.
    rightReserve: 20,
    columns: [
        { label: "Actionbar", share: 199, floor: 205 },
        { label: "Version", share: 300, floor: 90 },
        { label: "Target Device", share: 250, floor: 130 },
        { label: "Binary Name", share: 370, floor: 140 },
        { label: "Date & time", share: 330, floor: 180 },
        { label: "Size", share: 90, floor: 70 },
    ],
}

function layout(tableWidth, uScale) {
    return TableColumns.layout(table, tableWidth, uScale)
}

function minimumWidth(uScale) {
    return TableColumns.minimumWidth(table, uScale)
}

function column(geometry, label) {
    return TableColumns.column(geometry, label)
}
