import QtQuick
import QtTest
import "qrc:/Qml"
import "qrc:/Qml/Forms"

// The page loader and the top bar against the real device factory.
Item {
    id: root

    readonly property int hRef: 1080
    readonly property real uScale: 1
    readonly property real frameBorderWidth: 9
    readonly property alias applicationMenu: menu

    width: 1600
    height: 900

    QtObject {
        id: pageLog
        property var created: []
    }

    ApplicationMenu {
        id: menu
        width: parent.width
        height: 83
    }

    OrvLoader {
        id: viewStack
        y: 90
        width: parent.width
        height: parent.height - 90
        homeSource: Qt.resolvedUrl("pages/OtherPage.qml")
    }

    TestCase {
        name: "Loader"
        when: windowShown

        readonly property string counted: Qt.resolvedUrl("pages/CountedPage.qml")
        readonly property string other: Qt.resolvedUrl("pages/OtherPage.qml")

        function init() {
            viewStack.moduleURI = ""
            viewStack.source = other
        }

        function test_aPageOpenedAgainIsTheSameObject() {
            pageLog.created = []
            viewStack.source = counted
            const first = viewStack.currentPage
            first.clicks = 7
            viewStack.source = other
            verify(!first.visible)
            verify(!first.enabled)
            viewStack.source = counted
            compare(viewStack.currentPage, first)
            verify(first.visible && first.enabled)
            compare(first.clicks, 7)
            // Made once at most in this run, never again when shown again.
            verify(pageLog.created.filter(u => u === counted).length <= 1)
            viewStack.source = other
            viewStack.source = counted
            verify(pageLog.created.filter(u => u === counted).length <= 1)
        }

        function test_aFailingPageLeavesThePreviousOne_data() {
            return [
                { tag: "broken file", module: "", source: Qt.resolvedUrl("pages/BrokenPage.qml") },
                { tag: "missing file", module: "", source: Qt.resolvedUrl("pages/Missing.qml") },
                { tag: "missing type", module: "orvane.Controls", source: "NoSuchType" }
            ]
        }
        function test_aFailingPageLeavesThePreviousOne(data) {
            viewStack.source = counted
            const shown = viewStack.currentPage
            const cached = Object.keys(viewStack.cachedPages).length
            ignoreWarning(/^could not initialize UI component: .+/)
            ignoreWarning("could not initialize UI component")
            viewStack.moduleURI = data.module
            viewStack.source = data.source
            compare(viewStack.source, counted)
            compare(viewStack.oldSource, counted)
            compare(viewStack.currentPage, shown)
            verify(shown.visible && shown.enabled)
            compare(Object.keys(viewStack.cachedPages).length, cached)
        }

        // The home screen names the Data Grabber with a doubled separator; its imports still
        // resolve, and the page is cached under the source as written.
        function test_doubledSeparatorInAPagePath_data() {
            return [
                { tag: "single", source: Qt.resolvedUrl("pages/nested/DeepPage.qml") },
                { tag: "doubled", source: Qt.resolvedUrl("pages//nested/DeepPage.qml") }
            ]
        }
        function test_doubledSeparatorInAPagePath(data) {
            viewStack.source = data.source
            compare(viewStack.source, data.source)
            const page = viewStack.currentPage
            verify(page !== null && page.visible)
            compare(page.fromOtherFolder, "other folder")
            verify(viewStack.cachedPages[data.source] === page)
        }

        function test_modulePagesAreCachedByName() {
            viewStack.moduleURI = "orvane.Controls"
            viewStack.source = "Label"
            const label = viewStack.currentPage
            verify(label !== null)
            viewStack.moduleURI = ""
            viewStack.source = other
            viewStack.moduleURI = "orvane.Controls"
            viewStack.source = "Label"
            compare(viewStack.currentPage, label)
        }

        function test_tabReturnsHome() {
            viewStack.source = counted
            viewStack.forceActiveFocus()
            keyClick(Qt.Key_Tab)
            compare(viewStack.source, other)
        }

        function test_backBannerOnlyAwayFromHome() {
            const banner = findChild(menu, "backBanner")
            menu.homeSource
            viewStack.source = menu.homeSource === other ? other : other
            // The harness's home page is not the home screen: the banner is out.
            tryCompare(banner, "x", -10)
            mouseClick(banner, banner.width - 20, banner.height / 2)
            compare(viewStack.source, "qrc:/Qml/Forms/ModuleView.qml")
        }

        function test_attemptShowsAddressAndAborts() {
            testRecorder.clear()
            const attempt = findChild(menu, "attemptText")
            const button = findChild(menu, "wifiButton")
            verify(!attempt.visible)
            compare(button.text, "Add Wi-Fi Connection")
            orvFactory.insertNetworkOrvDevice("127.0.0.77")
            compare(testRecorder.linkRequests, ["127.0.0.77"])
            tryCompare(orvFactory, "connectionAttempt", true)
            verify(attempt.visible)
            compare(attempt.text, "Attempting connection: 127.0.0.77")
            compare(button.text, "Abort attempt")
            mouseClick(button)
            tryCompare(orvFactory, "connectionAttempt", false)
            compare(button.text, "Add Wi-Fi Connection")
            verify(!attempt.visible)
        }
    }
}
