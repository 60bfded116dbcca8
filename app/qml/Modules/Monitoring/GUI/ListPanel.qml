import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import "../../../Qml/OrvaneUI"
import "../../../Qml/Forms"

// The list panel: the kind of variables (tabs), the filter, the items view and the list.
Item {
    id: listPanel

    property var device: null
    property var dragState: null
    readonly property bool appRunning: device ? device.appRunning : false
    readonly property var externalMonitor: device && appRunning ? device.externalMonitor : null
    readonly property var listModel: externalMonitor ? externalMonitor.filteredModel : null
    property string highlightedSignalsSwitchState: highlightedButton.checked ? "important"
                                                   : labelledButton.checked ? "normal"
                                                   : allButton.checked ? "allSignals" : ""
    readonly property int currentTab: tabBar.currentIndex
    readonly property string filterText: filterField.text
    readonly property var kinds: ["signals", "parameters", "block parameters"]
    readonly property var titles: ["Available Signals:", "Available Parameters:",
                                   "Available Block Parameters:"]
    readonly property alias list: list

    function applyView() {
        if (!listModel || !externalMonitor)
            return
        externalMonitor.changeVisibleType(currentTab)
        listModel.setFilterType(highlightedSignalsSwitchState)
        listModel.setFilterWildcard(filterText)
    }

    function emptyText() {
        if (!device)
            return ""
        if (!appRunning)
            return "Please Run an application on your device"
        if (list.count > 0)
            return ""
        const view = highlightedButton.checked ? "highlighted " : labelledButton.checked
                                                 ? "labelled " : ""
        return "No " + view + kinds[currentTab] + " in this model\nPlease try other options"
    }

    onListModelChanged: applyView()
    onCurrentTabChanged: {
        if (appRunning && externalMonitor)
            externalMonitor.changeVisibleType(currentTab)
    }
    onFilterTextChanged: if (listModel) listModel.setFilterWildcard(filterText)
    onHighlightedSignalsSwitchStateChanged: {
        if (listModel)
            listModel.setFilterType(highlightedSignalsSwitchState)
    }

    OrvTabBar {
        id: tabBar
        objectName: "kindTabs"
        x: 10 * uScale
        y: 10 * uScale
        width: parent.width - 20 * uScale
        spacing: 6 * uScale
        Repeater {
            model: ["Signals", "Parameters", "Block Parameters"]
            TabButton {
                id: tab
                required property string modelData
                text: modelData
                width: 131 * uScale
                height: 28 * uScale
                contentItem: Text {
                    text: tab.text
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    font.family: "Poppins"
                    font.weight: Font.DemiBold
                    font.pixelSize: 11 * uScale
                    color: tab.checked ? "#E31F40" : "#191346"
                }
                background: Rectangle {
                    radius: height / 2
                    color: "white"
                    border.color: tab.checked ? "#E31F40" : "#CCCBCA"
                }
            }
        }
    }

    OrvTextField {
        id: filterField
        objectName: "filterField"
        x: 10 * uScale
        anchors.top: tabBar.bottom
        anchors.topMargin: 8 * uScale
        width: parent.width - 20 * uScale
        placeholderText: "Filter item name/path"
        font.family: "Poppins"
        font.pixelSize: 12 * uScale
        selectByMouse: true
    }

    Text {
        id: viewCaption
        x: 10 * uScale
        anchors.top: filterField.bottom
        anchors.topMargin: 6 * uScale
        text: "Items View"
        font.family: "Poppins"
        font.weight: Font.DemiBold
        font.pixelSize: 11 * uScale
        color: "#191346"
    }

    Row {
        id: viewButtons
        x: 10 * uScale
        anchors.top: viewCaption.bottom
        spacing: 4 * uScale
        ButtonGroup { id: viewGroup }
        RadioButton {
            id: highlightedButton
            objectName: "highlightedButton"
            text: "Highlighted"
            checked: true
            ButtonGroup.group: viewGroup
            font.pixelSize: 11 * uScale
        }
        RadioButton {
            id: labelledButton
            objectName: "labelledButton"
            text: "Labelled"
            ButtonGroup.group: viewGroup
            font.pixelSize: 11 * uScale
        }
        RadioButton {
            id: allButton
            objectName: "allButton"
            text: "All"
            ButtonGroup.group: viewGroup
            font.pixelSize: 11 * uScale
        }
    }

    Text {
        id: title
        objectName: "listTitle"
        x: 10 * uScale
        anchors.top: viewButtons.bottom
        anchors.topMargin: 4 * uScale
        text: listPanel.titles[listPanel.currentTab]
        font.family: "Poppins"
        font.weight: Font.Bold
        font.pixelSize: 13 * uScale
        color: "#191346"
    }

    ListView {
        id: list
        objectName: "variableList"
        x: 10 * uScale
        anchors.top: title.bottom
        anchors.topMargin: 6 * uScale
        anchors.bottom: parent.bottom
        width: parent.width - 20 * uScale
        clip: true
        spacing: 4 * uScale
        model: listPanel.listModel
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar { }
        section.property: highlightedButton.checked ? "" : "parentPath"
        section.criteria: ViewSection.FullString
        section.delegate: Text {
            required property string section
            width: ListView.view ? ListView.view.width : 0
            horizontalAlignment: Text.AlignHCenter
            text: section
            textFormat: Text.PlainText
            elide: Text.ElideMiddle
            font.family: "Poppins"
            font.pixelSize: 11 * uScale
            color: "#8E9297"
        }

        delegate: Loader {
            id: rowLoader
            required property var simulinkVariable
            readonly property string kind: simulinkVariable ? simulinkVariable.type : ""
            width: ListView.view ? ListView.view.width : 0
            height: item ? item.height : 0
            source: kind === "signal" ? "List_SignalDelegate.qml"
                  : kind === "parameter" ? "List_ParameterDelegate.qml" : ""
            onLoaded: {
                item.simulinkVariable = simulinkVariable
                if (kind === "signal") {
                    const rows = Math.min(simulinkVariable.rows, 5)
                    item.expandedHeight = Qt.binding(function () {
                        return (40 + 30 * rows + (simulinkVariable.columns > 9 ? 20 : 0)) * uScale
                    })
                    item.appRunning = Qt.binding(function () { return listPanel.appRunning })
                    item.dragState = listPanel.dragState
                }
            }
        }
    }

    Text {
        objectName: "emptyText"
        anchors.centerIn: list
        width: list.width
        horizontalAlignment: Text.AlignHCenter
        text: listPanel.emptyText()
        font.family: "Poppins"
        font.pixelSize: 13 * uScale
        color: "#8E9297"
    }
}
