import QtQuick

// The "Hardware Setup" page: one panel per settings tab of the active device (a Pelto's Wi-Fi
// settings). Showing the page asks the device for its settings again; without a Pelto there is
// no tab and the page stays empty.
Item {
    id: page

    // The application's back ends; tests hand in their own.
    property var settingsGui: typeof HardwareSettings !== "undefined" ? HardwareSettings : null
    property var factory: typeof orvFactory !== "undefined" ? orvFactory : null
    readonly property var device: factory ? factory.selectedDevice : null
    readonly property var tabs: settingsGui ? settingsGui.settingsTabs : []
    readonly property alias panels: panelRepeater

    objectName: "HwSettingsPage"

    function panel(index) {
        const column = panelRepeater.itemAt(index)
        return column ? column.panel : null
    }

    onVisibleChanged: if (settingsGui) settingsGui.setVisibility(visible)
    Component.onCompleted: if (settingsGui) settingsGui.setVisibility(true)

    Repeater {
        id: panelRepeater
        model: page.tabs
        delegate: Column {
            required property var modelData
            readonly property alias panel: panel
            anchors.centerIn: parent
            width: 960 * uScale - 4 * frameBorderWidth
            height: page.height - 70 * uScale
            spacing: 10 * uScale

            HwSettings_PanelCategorized {
                id: panel
                width: parent.width
                height: parent.height
                tab: modelData
                device: page.device
            }
        }
    }
}
