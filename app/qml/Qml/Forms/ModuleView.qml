import QtQuick
import QtQuick.Controls.Material
import com.orvane 1.0
import "../OrvaneUI/OrvaneControls"

// The home screen: one tile per tool, the application's update state and its version.
Flickable {
    id: home

    readonly property real cellSize: hRef * 315 / 1080
    readonly property bool massStorage: orvFactory && orvFactory.selectedDevice
                                        ? orvFactory.selectedDevice.peltoMscState === true : false
    readonly property alias tiles: tileModel
    property bool filled: false

    // Bin list and Data Grabber read the device's storage, which mass-storage mode hands to the
    // computer: they are locked while it lasts, from the first fill of the list on.
    function applyMassStorageLock() {
        for (let i = 0; i < tileModel.count; ++i) {
            if (tileModel.get(i).lockable === true)
                tileModel.setProperty(i, "available", !massStorage)
        }
    }

    function launch(module, path, name) {
        viewStack.moduleURI = module
        viewStack.source = path
        if (viewStack.source !== path) {
            // The loader stayed on this page and logged why; the user hears of it here.
            viewStack.moduleURI = ""
            Notifications.pushNotification(
                        Nimbrel.Error, AbstractNotification.NimbrelLab,
                        qsTr("Could not open the page"),
                        qsTr("The page of \"%1\" could not be opened.").arg(name),
                        qsTr("Home screen"), new Date())
        }
    }

    onMassStorageChanged: {
        if (filled)
            applyMassStorageLock()
    }

    Component.onCompleted: {
        const entries = [
            { name: "Global Settings", path: "qrc:/Qml/Settings/GlobalSettings.qml", module: "",
              image: "qrc:/Images/GUI/ModuleIcons/GlobalSettings.png", lockable: false },
            { name: "Device Updates",
              path: "../../StagingTools/HardwareUpdate/GUI/HardwareUpdates.qml", module: "",
              image: "qrc:/Images/GUI/ModuleIcons/DeviceUpdates.png", lockable: false },
            { name: "Hardware Setup",
              path: "../../StagingTools/HardwareSettings/GUI/HwSettings.qml", module: "",
              image: "qrc:/Images/GUI/ModuleIcons/HardwareSetup.png", lockable: false },
            { name: "Bin list", path: "../../StagingTools/BinaryHandling/GUI/BinList.qml",
              module: "", image: "qrc:/Images/GUI/ModuleIcons/BinList.png", lockable: true },
            { name: "Data Grabber",
              path: "../../StagingTools//LogDownloader/GUI/DataGrabber.qml", module: "",
              image: "qrc:/Images/GUI/ModuleIcons/DataGrabber.png", lockable: true },
            { name: "Workspace", path: "../../Modules/Monitoring/GUI/WidgetWorkspace.qml",
              module: "", image: "qrc:/Images/GUI/ModuleIcons/Workspace.png", lockable: false },
            { name: "Robot discovery", path: "Ssh", module: "orvane.RobotCommunication",
              image: "qrc:/Images/ImageAssets/ssh.png", lockable: false }
        ]
        if (RELEASE_MODE === 1 || RELEASE_MODE === 2)
            entries.push({ name: "Develop Sandbox",
                           path: "../../Modules/DeveloperModule/GUI/DeveloperModule.qml",
                           module: "", image: "qrc:/Images/GUI/ModuleIcons/DevelopSandbox.png",
                           lockable: false })
        for (const entry of entries) {
            entry.available = true
            tileModel.append(entry)
        }
        filled = true
        applyMassStorageLock()
    }

    contentWidth: width
    contentHeight: column.height - 30 * uScale
    boundsBehavior: Flickable.StopAtBounds
    flickableDirection: Flickable.VerticalFlick
    clip: true

    ListModel { id: tileModel }

    Column {
        id: column
        width: home.width

        GridView {
            id: grid
            objectName: "tileGrid"
            width: parent.width - 9 * uScale
            x: 9 * uScale
            topMargin: 9 * uScale
            bottomMargin: 9 * uScale
            cellWidth: home.cellSize
            cellHeight: home.cellSize
            readonly property int columns: Math.max(1, Math.floor(home.width / cellWidth))
            height: Math.ceil(tileModel.count / columns) * cellHeight + cellHeight * 10 / 305
                    + topMargin
            interactive: false
            clip: true
            model: tileModel
            delegate: ModuleButtonDelegate {
                width: grid.cellWidth - 9 * uScale
                height: grid.cellHeight - 9 * uScale
                onLaunchModule: home.launch(model.module, model.path, model.name)
            }
        }

        Image {
            width: parent.width
            height: 1 * uScale
            source: "qrc:/Images/GUI/Spacers/horizontalSpacer.png"
            fillMode: Image.Stretch
        }

        Item {
            id: bottomArea
            width: parent.width
            height: home.cellSize - 10 * uScale

            Image {
                x: home.cellSize * 52 / 305
                y: home.cellSize * 72 / 305
                width: home.cellSize * 209 / 305
                height: home.cellSize * 35 / 305
                fillMode: Image.PreserveAspectFit
                horizontalAlignment: Image.AlignLeft
                source: "qrc:/Images/GUI/HomeScreen/updatesIndicator.png"
            }

            SimpleButtonRev3 {
                objectName: "updateNimbrelButton"
                x: 170 * uScale
                y: 79 * uScale
                width: 180 * uScale
                height: 27 * uScale
                originalState: "black"
                text: qsTr("Update Nimbrel Lab")
                visible: typeof versionControl !== "undefined" && versionControl
                         ? versionControl.nimbrelUpdateAvailable === true : false
                onClicked: Qt.openUrlExternally("https://www.orvane.com/nimbrel-lab")
            }

            Image {
                id: banner
                x: -frameBorderWidth
                y: home.cellSize * 160 / 305
                width: hRef * 290 / 1080
                height: hRef * 60 / 1080
                fillMode: Image.PreserveAspectCrop
                horizontalAlignment: Image.AlignLeft
                source: "qrc:/Images/GUI/HomeScreen/HomeBanner.png"

                Text {
                    anchors.left: parent.right
                    anchors.leftMargin: 10 * uScale
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("2024")
                    font.family: "Poppins"
                    font.weight: Font.Light
                    font.letterSpacing: 1.2
                    font.pixelSize: Math.max(1, 20 * uScale)
                }

                Text {
                    objectName: "versionText"
                    x: parent.width * 209 / 352
                    anchors.bottom: parent.bottom
                    anchors.bottomMargin: -hRef * 10 / 1080
                    textFormat: Text.PlainText
                    text: "NIMBREL LAB " + APPLICATION_VERSION
                    font.family: "Poppins"
                    font.weight: Font.Light
                    font.letterSpacing: 1.2
                    font.pixelSize: Math.max(1, 20 * uScale)
                }
            }
        }
    }
}
