import QtQuick
import "../../../Qml/OrvaneUI"

// The column header of the binary table. One sortable column is active at a time; clicking it
// again flips its direction.
Rectangle {
    id: header

    property var manager: null
    readonly property var columns: [
        { label: "Actionbar", property: "", state: "nonSortable", width: 199 },
        { label: "Version", property: "appVersionNumber", state: "nonSortable", width: 300 },
        { label: "Target Device", property: "deviceType", state: "inactiveSortable", width: 250 },
        { label: "Binary Name", property: "applicationName", state: "inactiveSortable", width: 370 },
        { label: "Date & time", property: "createDate", state: "down", width: 330 },
        { label: "Size", property: "fileSizeBytes", state: "inactiveSortable", width: 90 },
    ]

    height: 38 * uScale
    radius: hRef * 30 / 1080
    color: "#E7E7E7"

    Row {
        x: 117 * uScale
        y: -hRef * 4 / 1080
        width: header.width * 0.83
        height: parent.height

        Repeater {
            id: labels
            model: header.columns
            Row {
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
                        if (header.manager)
                            header.manager.setSortColumn(modelData.property, direction === "up"
                                                         ? Qt.AscendingOrder : Qt.DescendingOrder)
                    }
                }
            }
        }
    }
}
