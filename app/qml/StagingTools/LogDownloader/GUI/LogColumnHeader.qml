import QtQuick
import "../../../Qml/OrvaneUI"
import "LogColumns.js" as LogColumns

// The column header of a device list. One sortable column is active at a time; clicking it again
// flips its direction. Columns are placed from the same geometry as the rows' cells.
Rectangle {
    id: header

    signal sortRequested(string property, bool ascending)

    // From LogColumns.layout(); the list hands the one its rows use.
    property var geometry: LogColumns.layout(width, uScale)

    readonly property var columns: [
        { label: "Actionbar", property: "", state: "nonSortable" },
        { label: "Serial ID", property: "", state: "nonSortable" },
        { label: "Device Type", property: "", state: "nonSortable" },
        { label: "Log Name", property: "fileName", state: "inactiveSortable" },
        { label: "Model Name", property: "modelName", state: "inactiveSortable" },
        { label: "Date & time", property: "createDate", state: "down" },
        { label: "Size", property: "fileSizeBytes", state: "inactiveSortable" },
        { label: "File type", property: "", state: "nonSortable" },
    ]

    height: 38 * uScale
    color: "#E7E7E7"

    function columnItem(label) {
        for (let i = 0; i < labels.count; ++i) {
            if (labels.itemAt(i).labelName === label)
                return labels.itemAt(i)
        }
        return null
    }

    Item {
        anchors.fill: parent

        Repeater {
            id: labels
            model: header.columns
            Item {
                readonly property alias labelName: item.labelName
                readonly property alias labelState: item.state
                readonly property alias item: item
                readonly property var place: LogColumns.column(header.geometry, modelData.label)
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
                        header.sortRequested(modelData.property, direction === "up")
                    }
                }
            }
        }
    }
}
