import QtQuick
import QtTest
import com.orvane 1.0
import "qrc:/Qml"

// The home screen's tiles against a stand-in device whose mass-storage mode the test switches.
Item {
    id: root

    readonly property int hRef: 1080
    readonly property real uScale: 1
    readonly property real frameBorderWidth: 9

    width: 1400
    height: 900

    QtObject {
        id: fakePelto
        property bool peltoMscState: false
        signal messageReceived(int level, string msg)
    }
    QtObject {
        id: orvFactory
        property var selectedDevice: null
    }

    OrvLoader {
        id: viewStack
        anchors.fill: parent
    }

    Component { id: homeComponent; Loader { source: "qrc:/Qml/Forms/ModuleView.qml"; width: 1400; height: 900 } }

    TestCase {
        name: "Home"
        when: windowShown

        readonly property string home: "qrc:/Qml/Forms/ModuleView.qml"
        readonly property var names: ["Global Settings", "Device Updates", "Hardware Setup",
            "Bin list", "Data Grabber", "Workspace", "Robot discovery", "Develop Sandbox"]

        function availability(view) {
            const list = []
            for (let i = 0; i < view.tiles.count; ++i)
                list.push(view.tiles.get(i).available)
            return list
        }

        function tile(name) {
            let found = null
            tryVerify(() => (found = findChild(viewStack.currentPage, "tile_" + name)) !== null
                      && found.width > 0)
            return found
        }

        function init() {
            fakePelto.peltoMscState = false
            orvFactory.selectedDevice = null
            viewStack.source = home
        }

        function test_tilesByReleaseMode() {
            const view = viewStack.currentPage
            const expected = RELEASE_MODE === 1 || RELEASE_MODE === 2 ? 8 : 7
            compare(view.tiles.count, expected)
            for (let i = 0; i < expected; ++i)
                compare(view.tiles.get(i).name, names[i])
            compare(availability(view), Array(expected).fill(true))
            const robot = view.tiles.get(6)
            compare(robot.image, "qrc:/Images/ImageAssets/ssh.png")
            compare(robot.module, "orvane.RobotCommunication")
            // Every tile's picture is in the program's resources.
            for (let i = 0; i < expected; ++i) {
                const picture = findChild(tile(view.tiles.get(i).name), "tileImage")
                verify(picture !== null)
                tryCompare(picture, "status", Image.Ready)
            }
        }

        // A device already in mass-storage mode when the list is filled locks its two tiles.
        function test_massStorageLockWhenFilled() {
            fakePelto.peltoMscState = true
            orvFactory.selectedDevice = fakePelto
            const holder = createTemporaryObject(homeComponent, root)
            tryVerify(() => holder.item !== null && holder.item.filled)
            const locked = availability(holder.item)
            compare(locked.slice(0, 7), [true, true, true, false, false, true, true])
        }

        function test_massStorageLockFollowsTheDevice() {
            const view = viewStack.currentPage
            orvFactory.selectedDevice = fakePelto
            fakePelto.peltoMscState = true
            compare(availability(view).slice(0, 7), [true, true, true, false, false, true, true])
            const binTile = tile("Bin list")
            verify(findChild(binTile, "lockOverlay").visible)
            verify(Qt.colorEqual(findChild(binTile, "tileTitle").color, "#C8C9CB"))
            mouseClick(binTile, binTile.width / 2, binTile.height / 3)
            compare(viewStack.source, home)
            // Losing the device unlocks as leaving mass-storage mode does.
            orvFactory.selectedDevice = null
            compare(availability(view).slice(0, 7), Array(7).fill(true))
            verify(!findChild(binTile, "lockOverlay").visible)
        }

        function test_lockInformationEndsByItself() {
            orvFactory.selectedDevice = fakePelto
            fakePelto.peltoMscState = true
            const dataTile = tile("Data Grabber")
            const info = findChild(dataTile, "infoButton")
            compare(info.state, "Info")
            mouseClick(info)
            compare(dataTile.state, "info")
            compare(info.state, "Cross")
            verify(findChild(dataTile, "infoPicture").visible)
            compare(findChild(dataTile, "infoPicture").source,
                    "qrc:/Images/GUI/ModuleIcons/infoLockable.png")
            tryCompare(dataTile, "state", "", 8000)
            compare(info.state, "Info")
            // The cross ends it at once.
            mouseClick(info)
            compare(dataTile.state, "info")
            mouseClick(info)
            compare(dataTile.state, "")
        }

        function test_everyTileOpensAPage_data() {
            return [
                { tag: "Global Settings", page: "qrc:/Qml/Settings/GlobalSettings.qml" },
                { tag: "Device Updates", page: "../../StagingTools/HardwareUpdate/GUI/HardwareUpdates.qml" },
                { tag: "Workspace", page: "../../Modules/Monitoring/GUI/WidgetWorkspace.qml" },
                { tag: "Robot discovery", page: "Ssh" }
            ]
        }
        function test_everyTileOpensAPage(data) {
            const pageTile = tile(data.tag)
            mouseClick(pageTile, pageTile.width / 2, pageTile.height / 3)
            compare(viewStack.source, data.page)
            verify(viewStack.currentPage !== null && viewStack.currentPage.visible)
            if (data.page === "Ssh")
                verify(findChild(viewStack.currentPage, "deviceTable") !== null)
        }

        // A tool whose page cannot be made leaves the user on the home screen and says so in
        // the notification list.
        function test_aPageThatCannotBeMadeStaysHome_data() {
            return [
                { tag: "missing file", module: "", path: "../../StagingTools/Nowhere/GUI/Gone.qml" },
                { tag: "missing type", module: "orvane.RobotCommunication", path: "NoSuchPage" }
            ]
        }
        function test_aPageThatCannotBeMadeStaysHome(data) {
            const view = viewStack.currentPage
            const name = "Broken " + data.tag
            view.tiles.append({ name: name, path: data.path, module: data.module, image: "",
                                available: true, lockable: false })
            const before = Notifications.notificationCount
            ignoreWarning(/^could not initialize UI component: .+/)
            ignoreWarning("could not initialize UI component")
            const brokenTile = tile(name)
            mouseClick(brokenTile, brokenTile.width / 2, brokenTile.height / 3)
            compare(viewStack.source, home)
            compare(viewStack.currentPage, view)
            verify(view.visible && view.enabled)
            compare(Notifications.notificationCount, before + 1)
            const list = Notifications.notificationList
            const note = list[list.length - 1]
            compare(note.level, Nimbrel.Error)
            compare(note.source, AbstractNotification.NimbrelLab)
            compare(note.title, "Could not open the page")
            verify(note.message.indexOf(name) >= 0, note.message)
            // Nothing stands in for the missing page: the other tools still open.
            const settings = tile("Global Settings")
            mouseClick(settings, settings.width / 2, settings.height / 3)
            compare(viewStack.source, "qrc:/Qml/Settings/GlobalSettings.qml")
            view.tiles.remove(view.tiles.count - 1)
            Notifications.clearNotifications()
        }

        function test_versionText() {
            compare(findChild(viewStack.currentPage, "versionText").text, "NIMBREL LAB 1.10.0")
        }

        // Develop and manufacturing builds only: the sandbox shows the device's messages by level.
        function test_sandboxTerminal() {
            if (RELEASE_MODE === 3) {
                compare(findChild(viewStack.currentPage, "tile_Develop Sandbox"), null)
                return
            }
            orvFactory.selectedDevice = fakePelto
            const sandbox = tile("Develop Sandbox")
            mouseClick(sandbox, sandbox.width / 2, sandbox.height / 3)
            compare(viewStack.source, "../../Modules/DeveloperModule/GUI/DeveloperModule.qml")
            const area = findChild(findChild(viewStack.currentPage, "sandboxTerminal"),
                                   "terminalText")
            const messages = [[1, "<b>info</b>"], [3, "warn & more"], [4, "err"], [5, "fatal"],
                              [6, "other"]]
            for (const m of messages)
                fakePelto.messageReceived(m[0], m[1])
            const shown = area.getText(0, area.length).split("\u2029").filter(l => l !== "")
            compare(shown, messages.map(m => m[1]))
            const html = area.text
            const colourOf = text => {
                const at = html.indexOf(text)
                verify(at > 0, text)
                const span = html.lastIndexOf("color:", at)
                return html.substr(span + 6, 7).toLowerCase()
            }
            compare(colourOf("&lt;b&gt;info"), "#80ff00")
            compare(colourOf("warn &amp; more"), "#ffff00")
            compare(colourOf("err"), "#ff0000")
            compare(colourOf("fatal"), "#ff0000")
            compare(colourOf("other"), "#80ff00")
        }
    }
}
