import QtQuick
import QtQuick.Controls.Material
import QtQuick.Dialogs
import QtCore
import "UpdateRules.js" as Rules

// The "Device Updates" page: one row of cards per connected device that the firmware updater
// supports, each showing the device's firmware state and offering its update.
Loader {
    id: page
    objectName: "deviceUpdatesPage"

    // The application's back ends; tests hand in their own.
    property var updates: typeof HardwareUpdate !== "undefined" ? HardwareUpdate : null
    property var factory: typeof orvFactory !== "undefined" ? orvFactory : null
    property var binaries: typeof binManager !== "undefined" ? binManager : null
    property var catalogue: typeof versionControl !== "undefined" ? versionControl : null
    readonly property var rows: updates && updates.deviceList ? updates.deviceList : []
    readonly property var selectedDevice: factory ? factory.selectedDevice : null
    readonly property alias firmwareDialog: firmwareDialogLoader

    // The cards' titles are set in Playfair Display, which no font loader of the window brings.
    FontLoader { source: "qrc:/fonts/PlayfairDisplay-VariableFont_wght.ttf" }
    FontLoader { source: "qrc:/fonts/PlayfairDisplay-Italic-VariableFont_wght.ttf" }

    // The update rows open their devices' update services and drop their progress notifications
    // while the page shows them.
    function tellVisibility() {
        if (updates && status === Loader.Ready)
            updates.setVisibility(visible)
    }

    // The custom firmware flash: a firmware file of the user's choice goes to the selected device.
    function openCustomFirmware() {
        const device = selectedDevice
        if (!device)
            return
        if (device.appRunning) {
            if (typeof sysTray !== "undefined" && sysTray)
                sysTray.showMessage("Custom firmware utility",
                                    "Please stop the application on your pelto before flashing custom firmware")
            return
        }
        firmwareDialogLoader.active = true
        firmwareDialogLoader.item.open()
    }

    onLoaded: tellVisibility()
    onVisibleChanged: tellVisibility()
    onUpdatesChanged: tellVisibility()

    // Made when first needed (see the Data Grabber's export dialog).
    Loader {
        id: firmwareDialogLoader
        active: false
        sourceComponent: FileDialog {
            title: "Choose custom firmware"
            fileMode: FileDialog.OpenFile
            acceptLabel: "Flash Firmware"
            nameFilters: ["Nimbrel Lab files(*.fwb *.feb)", "All files (*)"]
            currentFolder: StandardPaths.standardLocations(StandardPaths.HomeLocation)[0]
            onAccepted: {
                if (page.selectedDevice)
                    page.selectedDevice.tempUploadFirmware(selectedFile)
                const text = String(selectedFile)
                currentFolder = text.substring(0, text.lastIndexOf("/"))
            }
        }
    }

    Shortcut {
        objectName: "customFirmwareShortcut"
        sequence: "Ctrl+Shift+Alt+BackSpace"
        // One shortcut for the page: a shortcut per card would make the keys ambiguous as soon
        // as two devices are connected.
        enabled: page.visible && page.status === Loader.Ready && page.item.deviceCount > 0
        onActivated: page.openCustomFirmware()
    }

    sourceComponent: Item {
        readonly property alias deviceCount: deviceRepeater.count
        readonly property alias deviceRows: deviceRepeater

        Text {
            objectName: "noDeviceText"
            anchors.centerIn: parent
            visible: deviceRepeater.count === 0
            text: "No device is connected"
            color: "#222A32"
            font.family: "Playfair Display"
            font.bold: true
            font.pixelSize: 40 * uScale
        }

        Flickable {
            id: flick
            objectName: "deviceFlick"
            anchors.fill: parent
            clip: true
            contentWidth: width
            contentHeight: devices.y + devices.height + 50 * uScale
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

            // Each device's cards in a row of their own; the rows stack, so a second device
            // does not draw over the first.
            Column {
                id: devices
                y: 100
                width: flick.width
                spacing: 60 * uScale

                Repeater {
                    id: deviceRepeater
                    objectName: "deviceRows"
                    model: page.rows
                    delegate: Row {
                        id: deviceRow
                        required property var modelData
                        readonly property var entry: modelData
                        objectName: "deviceRow_" + (entry ? entry.extendedDeviceType : "")
                        anchors.horizontalCenter: parent ? parent.horizontalCenter : undefined
                        height: Math.max(700, childrenRect.height)
                        spacing: 50 * uScale
                        layoutDirection: Qt.LeftToRight

                        Repeater {
                            model: deviceRow.entry ? Rules.cardsFor(deviceRow.entry.extendedDeviceType) : []
                            delegate: Item {
                                id: slot
                                required property var modelData
                                objectName: "card_" + modelData.type
                                width: 200 * uScale
                                height: Math.max(750 * uScale, childrenRect.height)
                                opacity: modelData.type === "Pelto" ? 1 : 0.2

                                Loader {
                                    active: slot.modelData.type === "Pelto"
                                    sourceComponent: HardwareUpdatesPelto {
                                        entry: deviceRow.entry
                                        factory: page.factory
                                        binaries: page.binaries
                                        catalogue: page.catalogue
                                        deviceType: slot.modelData.typeName
                                        icon: slot.modelData.icon
                                        productImage: slot.modelData.image
                                    }
                                }
                                Loader {
                                    active: slot.modelData.type === "Tarnel"
                                    sourceComponent: HardwareUpdatesTarnel {
                                        icon: slot.modelData.icon
                                        productImage: slot.modelData.image
                                    }
                                }
                                Loader {
                                    active: slot.modelData.type !== "Pelto" && slot.modelData.type !== "Tarnel"
                                    sourceComponent: HardwareUpdatesGhost {}
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}
