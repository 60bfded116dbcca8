import QtQuick
import "../../../Qml/OrvaneUI/OrvaneControls"
import "HwSettingsRules.js" as Rules

// One tab of settings rows with its Refresh and Apply buttons. Apply waits until every row is
// free of errors: a half-valid record must not reach the device.
Item {
    id: tabView

    property var tab: null
    readonly property var rows: tab ? tab.settings : []
    readonly property alias refreshButton: refreshButton
    readonly property alias applyButton: applyButton
    readonly property alias rowList: rowList

    objectName: "HwSettingsTab"
    implicitHeight: rowList.y + rowList.height

    // The row drawn at `index`, or null.
    function rowItem(index) {
        const loader = rowRepeater.itemAt(index)
        return loader ? loader.item : null
    }

    SimpleButtonRev3 {
        id: refreshButton
        objectName: "refreshButton"
        x: 0
        y: 10 * uScale
        width: 90 * uScale
        height: 28 * uScale
        text: "Refresh"
        originalState: "black"
        onClicked: if (tabView.tab) tabView.tab.refresh()
    }
    SimpleButtonRev3 {
        id: applyButton
        objectName: "applyButton"
        x: 110 * uScale
        y: 10 * uScale
        width: 90 * uScale
        height: 28 * uScale
        text: "Apply"
        originalState: "green"
        enabled: tabView.tab ? tabView.tab.pendingChanges && !tabView.tab.valueErrorState : false
        highlighted: tabView.tab ? tabView.tab.pendingChanges : false
        onClicked: if (tabView.tab) tabView.tab.applySettings()
    }

    Column {
        id: rowList
        objectName: "rowList"
        x: 291 * uScale
        y: refreshButton.y + refreshButton.height + 10 * uScale

        Repeater {
            id: rowRepeater
            model: tabView.rows
            // The gap below each row belongs to the row, so a row that hides itself (height 0)
            // takes no room at all.
            delegate: Item {
                required property var modelData
                required property int index
                readonly property alias item: rowLoader.item
                objectName: "hwRow_" + index
                width: rowLoader.width
                height: rowLoader.item && rowLoader.item.height > 0
                        ? rowLoader.item.height + 2.5 * uScale : 0
                Loader {
                    id: rowLoader
                    Component.onCompleted: setSource(Rules.rowFile(modelData.type),
                                                     { setting: modelData, listIndex: index })
                }
            }
        }
    }
}
