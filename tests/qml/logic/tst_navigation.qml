import QtQuick
import QtTest
import orvane.Branding
import orvane.Controls

Item {
    id: root
    width: 900
    height: 700

    Component { id: homeComponent; HomeButton { text: "ignored" } }
    Component { id: moduleComponent; ModuleButton { text: "Robot discovery" } }
    Component {
        id: notchComponent
        NotchToolBar { Rectangle { implicitWidth: 300; implicitHeight: 30 } }
    }
    Component { id: footerComponent; FooterLogo {} }

    TestCase {
        name: "Navigation"
        when: windowShown

        function test_homeButtonShowsOnlyTheLogo() {
            const home = createTemporaryObject(homeComponent, root)
            compare(home.implicitWidth, 96)
            compare(home.implicitHeight, 40)
            compare(home.contentItem, null)
            const bars = findChild(home, "homeBars")
            compare(bars.x, home.width / 5)
            compare(bars.width, 2 * home.width / 5)
        }

        function test_moduleButtonScales_data() {
            return [
                { tag: "300", size: 300, icon: 120, spacing: 30, pixelSize: 30 },
                { tag: "255", size: 255, icon: 102, spacing: 25.5, pixelSize: 25 }
            ]
        }

        function test_moduleButtonScales(data) {
            const tile = createTemporaryObject(moduleComponent, root)
            compare(tile.implicitWidth, 300)
            compare(tile.implicitHeight, 300)
            tile.width = data.size
            tile.height = data.size
            compare(tile.icon.width, data.icon)
            compare(tile.spacing, data.spacing)
            compare(tile.font.pixelSize, data.pixelSize)
        }

        function test_moduleButtonHover() {
            const tile = createTemporaryObject(moduleComponent, root)
            const face = findChild(tile, "moduleFace")
            verify(Qt.colorEqual(face.color, "#f3f3f3"))
            verify(!tile.background.gradient)
            mouseMove(tile, 150, 150)
            tryCompare(tile, "hovered", true)
            verify(Qt.colorEqual(face.color, "#d3d3d3"))
            verify(tile.background.gradient !== null)
            mouseMove(root, root.width - 1, root.height - 1)
            tryCompare(tile, "hovered", false)
            verify(!tile.background.gradient)
        }

        function test_notchGeometry() {
            const bar = createTemporaryObject(notchComponent, root)
            compare(bar.implicitHeight, 50)
            compare(bar.implicitWidth, 400)
            const notch = findChild(bar, "notch")
            compare(notch.leftCurveWidth, 50)
            bar.leftInset = 10
            compare(notch.leftCurveWidth, 40)
            bar.height = 80
            compare(notch.rightCurveWidth, 80)
        }

        function test_footerLogo() {
            const footer = createTemporaryObject(footerComponent, root)
            compare(footer.topPadding, 30)
            compare(footer.rightPadding, 20)
            const logo = findChild(footer, "logo")
            compare(logo.width, 192)
            compare(logo.height, 80)
            const wordmark = findChild(footer, "wordmark")
            compare(wordmark.x, 232)
            compare(wordmark.y, 9)
            const line = findChild(footer, "nameVersion")
            compare(line.x, 232)
            compare(line.y + line.height, 80)
            compare(line.text, Application.name + " | " + Application.version)
            verify(findChild(footer, "year").text.indexOf(String(BuildInfo.buildDateTime.getFullYear())) >= 0)
        }
    }
}
