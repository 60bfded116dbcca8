import QtQuick
import QtTest
import orvane.Branding
import orvane.Controls

Item {
    id: root
    width: 900
    height: 400

    Component {
        id: oneTab
        TabBar { width: 200; TabButton { text: "only" } }
    }

    Component {
        id: threeTabs
        TabBar {
            width: 600
            TabButton { text: "first tab" }
            TabButton { text: "second tab" }
            TabButton { text: "third tab" }
        }
    }

    Component {
        id: wideTabs
        TabBar {
            width: 300
            TabButton { text: "a"; width: 200 }
            TabButton { text: "b"; width: 200 }
            TabButton { text: "c"; width: 200 }
        }
    }

    TestCase {
        name: "TabBar"
        when: windowShown

        function buttons(bar) {
            const list = []
            for (let i = 0; i < bar.count; ++i)
                list.push(bar.itemAt(i))
            return list
        }

        function part(button, name) {
            return findChild(button, name)
        }

        function xScale(button) {
            return part(button, "overlapTransition").transform[0].xScale
        }

        function test_singleTab() {
            const bar = createTemporaryObject(oneTab, root)
            const tab = bar.itemAt(0)
            verify(tab.first && tab.last && tab.active)
            compare(part(tab, "overlapTransition").visible, false)
            compare(part(tab, "tabEndBase").visible, true)
            compare(part(tab, "tabInactiveContentTransition").visible, false)
            compare(part(tab, "tabEndInactiveContentTransition").visible, false)
            compare(tab.implicitHeight, 70)
            verify(tab.implicitWidth >= 42)
            compare(tab.leftPadding, 20)
            compare(tab.rightPadding, 20)
            compare(tab.bottomPadding, 20)
            compare(tab.topPadding, 0)
            verify(Qt.colorEqual(part(tab, "tabLabel").color, OrvaneColors.martian))
        }

        function test_mirroringFollowsTheCurrentTab_data() {
            return [
                { tag: "last current", current: 2, scales: [1, 1], nextIsActive: [false, true] },
                { tag: "first current", current: 0, scales: [-1, -1], nextIsActive: [false, false] },
                { tag: "middle current", current: 1, scales: [1, -1], nextIsActive: [true, false] }
            ]
        }

        function test_mirroringFollowsTheCurrentTab(data) {
            const bar = createTemporaryObject(threeTabs, root)
            bar.currentIndex = data.current
            const tabs = buttons(bar)
            compare(xScale(tabs[0]), data.scales[0])
            compare(xScale(tabs[1]), data.scales[1])
            compare(tabs[0].nextIsActive, data.nextIsActive[0])
            compare(tabs[1].nextIsActive, data.nextIsActive[1])
            // The current tab shows no content strip; the others do.
            for (let i = 0; i < 3; ++i) {
                compare(part(tabs[i], "tabInactiveContentTransition").visible, i !== data.current)
                verify(Qt.colorEqual(part(tabs[i], "tabLabel").color,
                                     i === data.current ? OrvaneColors.martian
                                                        : OrvaneColors.formFieldToggleFalse))
            }
            compare(part(tabs[2], "tabEndInactiveContentTransition").visible, data.current !== 2)
            // Earlier tabs lie on top of later ones.
            verify(tabs[0].z > tabs[1].z && tabs[1].z > tabs[2].z)
        }

        function test_clickSelects() {
            const bar = createTemporaryObject(threeTabs, root)
            const tabs = buttons(bar)
            mouseClick(tabs[2])
            compare(bar.currentIndex, 2)
            verify(tabs[2].active)
        }

        function test_footerPadsTheTop() {
            const bar = createTemporaryObject(oneTab, root, { position: TabBar.Footer })
            const tab = bar.itemAt(0)
            compare(tab.topPadding, 20)
            compare(tab.bottomPadding, 0)
            compare(part(tab, "tabBackground").transform[0].yScale, 1)
            bar.position = TabBar.Header
            compare(part(tab, "tabBackground").transform[0].yScale, -1)
        }

        function test_radiusChangesEverything() {
            const bar = createTemporaryObject(oneTab, root)
            bar.contentRadius = 10
            const tab = bar.itemAt(0)
            compare(tab.contentRadii, 10)
            compare(tab.leftPadding, 10)
            compare(tab.background.implicitHeight, 8 + 30 + 2)
        }

        function test_wideRowsFlick() {
            const bar = createTemporaryObject(wideTabs, root)
            const list = findChild(bar, "tabList")
            compare(list.interactive, true)
            verify(list.contentWidth > list.width)
            compare(list.boundsBehavior, Flickable.StopAtBounds)
            compare(list.snapMode, ListView.SnapToItem)
        }
    }
}
