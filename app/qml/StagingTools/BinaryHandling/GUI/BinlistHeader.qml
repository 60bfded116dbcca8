import QtQuick
import "../../../Qml/OrvaneUI"
import "BinColumns.js" as BinColumns

// The column header of the binary table. One sortable column is active at a time; clicking it
// again flips its direction. Columns are placed from the same geometry as the rows' cells.
Rectangle {
    id: header

    property var manager: null
    // From BinColumns.layout(); the table hands the one its rows use.
    property var geometry: BinColumns.layout(width, uScale)
    readonly property var columns: [
        { label: "Actionbar", property: "", state: "nonSortable" },
        { label: "Version", property: "appVersionNumber", state: "nonSortable" },
        { label: "Target Device", property: "deviceType", state: "inactiveSortable" },
        { label: "Binary Name", property: "applicationName", state: "inactiveSortable" },
        { label: "Date & time", property: "createDate", state: "down" },
        { label: "Size", property: "fileSizeBytes", state: "inactiveSortable" },
    ]

    height: 38 * uScale
    radius: hRef * 30 / 1080
    color: "#E7E7E7"

    Item {
        y: -hRef * 4 / 1080
        width: parent.width
        height: parent.height

        Repeater {
            id: labels
            model: header.columns
            Item {
                readonly property alias item: item
                readonly property var place: BinColumns.column(header.geometry, modelData.label)
                x: place.x
                width: place.width
                height: header.height
                // The line sits on the border between two columns.
                Rectangle {
                    visible: index > 0
                    x: -0.5
                    width: 1
                    height: 18.2 * uScale
                    anchors.verticalCenter: parent.verticalCenter
                    color: "#B4B4B5"
                }
                FileHeaderBarItem {
                    id: item
                    objectName: "column_" + modelData.label
                    width: parent.width
                    height: parent.height
                    labelName: modelData.label
                    state: modelData.state
                    onSort: function (name, direction) {
                        for (let i = 0; i < labels.count; ++i) {
                            const other = labels.itemAt(i).item
                            if (other !== item && other.state !== "nonSortable")
                                other.state = "inactiveSortable"
                        }
                        if (header.manager)
                            header.manager.setSortColumn(modelData.property, direction === "up"
                                                         ? Qt.AscendingOrder : Qt.DescendingOrder)
                    }
                }
            }
        }
    }
}
