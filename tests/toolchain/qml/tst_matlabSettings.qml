import QtQuick
import QtTest
import orvane.Branding
import MatLab.GUI

// The toolchain section as the Global Settings page shows it, rendered to
// screens/toolchain-<three|none>.png.
Rectangle {
    id: page

    width: 960
    height: 640
    color: "#ffffff"

    MatlabSettings {
        id: settings
        uScale: 1.5
        width: page.width
    }

    TestCase {
        name: "MatlabSettings"
        when: windowShown

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

        function save(name) {
            const image = grabImage(page)
            image.save(screensFolder + "/" + name)
        }

        function test_section() {
            const rows = toolchainInstall.installedMatlabs
            compare(rows.length, expectedReleases.length)
            if (expectedReleases.length === 0) {
                tryVerify(() => texts(settings, []).indexOf(
                              "No Matlab installation was found on this system") >= 0)
                const shown = texts(settings, [])
                verify(shown.indexOf("No toolchain installation was found on this system") >= 0)
                verify(shown.indexOf("Please install Matlab before installing the toolchain") >= 0)
                verify(shown.indexOf("Matlab Version") >= 0)
                save("toolchain-none.png")
                return
            }
            // Rows in release order, top to bottom.
            let lastY = -1
            for (let i = 0; i < expectedReleases.length; ++i) {
                const item = rowItem(expectedReleases[i])
                verify(item, expectedReleases[i])
                const y = item.mapToItem(page, 0, 0).y
                verify(y > lastY)
                lastY = y
                compare(rows[i].readableMatlabVersion, expectedReleases[i])
            }
            compare(rows.map(r => r.installButtonText),
                    ["Update to 1.10.0", "Reinstall", "Install 1.10.0"])
            compare(findChild(rowItem("R2022a"), "installButton").text, "Install")
            compare(findChild(rowItem("R2021a"), "installButton").text, "ReInstall")
            verify(!findChild(rowItem("R2022a"), "uninstallButton").visible)
            verify(!findChild(rowItem("R2021a"), "messageBar").visible)

            // Install on R2021a: the row shows the engine's message; no notification on screen.
            const before = Notifications.notificationCount
            mouseClick(findChild(rowItem("R2021a"), "installButton"))
            compare(rows[1].readableMsg, "Downloading latest toolchain version.")
            tryVerify(() => findChild(rowItem("R2021a"), "messageBar").visible)
            compare(Notifications.notificationCount, before)
            save("toolchain-three.png")

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
