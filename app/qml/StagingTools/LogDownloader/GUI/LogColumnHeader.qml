import QtQuick
import "../../../Qml/OrvaneUI"

// The column header of a device list. One sortable column is active at a time; clicking it again
// flips its direction.
Rectangle {
    id: header

    signal sortRequested(string property, bool ascending)

    readonly property var columns: [
        { label: "Actionbar", property: "", state: "nonSortable", width: 259 },
        { label: "Serial ID", property: "", state: "nonSortable", width: 154 },
        { label: "Device Type", property: "", state: "nonSortable", width: 207 },
        { label: "Log Name", property: "fileName", state: "inactiveSortable", width: 458 },
        { label: "Model Name", property: "modelName", state: "inactiveSortable", width: 245 },
        { label: "Date & time", property: "createDate", state: "down", width: 168 },
        { label: "Size", property: "fileSizeBytes", state: "inactiveSortable", width: 79 },
        { label: "File type", property: "", state: "nonSortable", width: 82 },
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

    Row {
        x: 112 * uScale
        width: header.width * 0.83
        height: parent.height

        Repeater {
            id: labels
            model: header.columns
            Row {
                readonly property alias labelName: item.labelName
                readonly property alias labelState: item.state
                readonly property alias item: item
                height: header.height
                Rectangle {
                    visible: index > 0
                    width: 1
                    height: 18.2 * uScale
                    anchors.verticalCenter: parent.verticalCenter
                    color: "#B4B4B5"
                }
                FileHeaderBarItem {
                    id: item
                    objectName: "column_" + modelData.label
                    width: hRef * modelData.width / 1080
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
