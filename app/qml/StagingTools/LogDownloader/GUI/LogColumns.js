.pragma library
.import "../../TableColumns.js" as TableColumns

// The one column layout of the log table: the header and every row place their cells from it, so
// a header always sits over its cells, whatever the table's width.
//
// Each column has a share of the table (its width in reference units of a 1080-pixel-high
// screen) and a floor below which its content (buttons, date, sort arrow) no longer fits.

var table = {
    indentShare: 110,
    indentFloor: 16,
    // The vertical scroll bar's width and inset.
    rightReserve: 20,
    columns: [
        { label: "Actionbar", share: 259, floor: 200 },
        { label: "Serial ID", share: 154, floor: 80 },
        { label: "Device Type", share: 207, floor: 95 },
        { label: "Log Name", share: 458, floor: 110 },
        { label: "Model Name", share: 245, floor: 105 },
        { label: "Date & time", share: 168, floor: 160 },
        { label: "Size", share: 79, floor: 62 },
        { label: "File type", share: 82, floor: 72 },
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
