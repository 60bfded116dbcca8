import QtQuick
import QtTest
import orvane.Branding

// The toolchain section on the real Global Settings page, rendered to
// screens/globalSettings-<three|none>.png.
Rectangle {
    id: root

    // The page loader's area of a 1920 x 1080 window, less the top bar.
    width: 1280
    height: 900
    color: "#ffffff"

    Loader {
        id: pageLoader
        anchors.fill: parent
        source: "qrc:/Qml/Settings/GlobalSettings.qml"
    }

    TestCase {
        name: "MatlabSettings"
        when: windowShown

        readonly property var page: pageLoader.item
        readonly property var settings: page ? findChild(page, "matlabSettings") : null

        function texts(item, found) {
            if (item.text !== undefined && item.visible)
                found.push(String(item.text))
            for (let i = 0; i < item.children.length; ++i)
                texts(item.children[i], found)
            return found
        }

        function rowItem(release) {
            return findChild(settings, "matlabRow_" + release)
        }

        function near(c, hex) {
            const want = Qt.color(hex)
            return Math.abs(c.r - want.r) * 255 <= 3 && Math.abs(c.g - want.g) * 255 <= 3
                    && Math.abs(c.b - want.b) * 255 <= 3
        }

        // The pixel at an item's point (x, y) in the picture of the whole window.
        function pixelAt(shot, item, x, y) {
            const p = item.mapToItem(root, x, y)
            return shot.pixel(Math.round(p.x), Math.round(p.y))
        }

        function save(name) {
            // Let the buttons' and the list's first frames settle.
            waitForRendering(root)
            wait(300)
            const image = grabImage(root)
            image.save(screensFolder + "/" + name)
            return image
        }

        // The section sits 50 units down in the page's white container, clear of its top edge.
        function test_sectionPlace() {
            compare(pageLoader.status, Loader.Ready)
            const container = findChild(page, "settingsContainer")
            verify(container !== null && page.pageUnit > 0)
            compare(settings.mapToItem(container, 0, 0).y, 50 * page.pageUnit)
        }

        function test_section() {
            compare(pageLoader.status, Loader.Ready)
            verify(settings !== null)
            const rows = toolchainInstall.installedMatlabs
            compare(rows.length, expectedReleases.length)
            if (expectedReleases.length === 0) {
                tryVerify(() => texts(settings, []).indexOf(
                              "No Matlab installation was found on this system") >= 0)
                const shown = texts(settings, [])
                verify(shown.indexOf("No toolchain installation was found on this system") >= 0)
                verify(shown.indexOf("Please install Matlab before installing the toolchain") >= 0)
                verify(shown.indexOf("Matlab Version") >= 0)
                verify(shown.indexOf("Matlab Toolchain") >= 0)
                verify(texts(page, []).indexOf("Global Settings") >= 0)
                const shot = save("globalSettings-none.png")
                verify(near(pixelAt(shot, findChild(page, "settingsContainer"), 10, 10),
                            "#FFFFFF"))
                return
            }
            // Rows in release order, top to bottom, inside the page's white container.
            const container = findChild(page, "settingsContainer")
            let lastY = -1
            for (let i = 0; i < expectedReleases.length; ++i) {
                const item = rowItem(expectedReleases[i])
                verify(item, expectedReleases[i])
                const y = item.mapToItem(container, 0, 0).y
                verify(y > lastY)
                verify(y + item.height <= container.height, expectedReleases[i])
                lastY = y
                compare(rows[i].readableMatlabVersion, expectedReleases[i])
            }
            // The rows know the texts of a button that names the version; the page's buttons
            // keep their own short texts.
            compare(rows.map(r => r.installButtonText),
                    ["Update to 1.10.0", "Reinstall", "Install 1.10.0"])
            compare(findChild(rowItem("R2022a"), "installButton").text, "Install")
            compare(findChild(rowItem("R2021a"), "installButton").text, "ReInstall")
            compare(findChild(rowItem("R2021a"), "uninstallButton").text, "uninstall")
            verify(!findChild(rowItem("R2022a"), "uninstallButton").visible)
            verify(!findChild(rowItem("R2021a"), "messageBar").visible)

            // Install on R2021a: the row shows the engine's message; no notification on screen.
            const before = Notifications.notificationCount
            mouseClick(findChild(rowItem("R2021a"), "installButton"))
            compare(rows[1].readableMsg, "Downloading latest toolchain version.")
            tryVerify(() => findChild(rowItem("R2021a"), "messageBar").visible)
            compare(Notifications.notificationCount, before)
            const shot = save("globalSettings-three.png")
            // The bars' face, beside the separator, and the panel's title colour strip.
            const firstBar = findChild(rowItem("R2020b"), "versionBar")
            verify(near(pixelAt(shot, firstBar, 60, firstBar.height / 2), "#F3F3F3"))
            // The one-unit separator lands on one of the pixels around x = 180 units.
            const separatorSeen = [-1, 0, 1].some(
                      dx => near(pixelAt(shot, firstBar, 180 * uScale + dx, firstBar.height / 2),
                                 "#D6D6D6"))
            verify(separatorSeen)

            // Leaving the page during the install shows its progress as a notification.
            settings.visible = false
            compare(Notifications.notificationCount, before + 1)
            const note = Notifications.notificationList[Notifications.notificationList.length - 1]
            compare(note.title, "Installing toolchain in MATLAB R2021a")
            compare(note.message, "Downloading latest toolchain version.")
            settings.visible = true
            compare(Notifications.notificationCount, before)
        }
    }
}
