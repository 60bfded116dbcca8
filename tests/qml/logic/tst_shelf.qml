import QtQuick
import QtQuick.Layouts
import QtTest
import orvane.Branding
import orvane.Controls

Item {
    id: root
    width: 1200
    height: 800

    Component { id: emptyShelf; Shelf {} }
    Component {
        id: filledShelf
        Shelf {
            Rectangle { objectName: "tall"; implicitWidth: 200; implicitHeight: 500 }
            ShelfSectionHeading { headingText: "Connection" }
            Rectangle { implicitWidth: 100; implicitHeight: 40 }
        }
    }

    TestCase {
        name: "Shelf"
        when: windowShown

        function handle(shelf) { return findChild(shelf, "shelfHandle") }

        function test_sizes_data() {
            return [
                { tag: "defaults", radii: 20, handleX: 12, bgHeight: 210, bgOpen: 82, bgClosed: 40,
                  padTop: 30, padLeft: 41 },
                { tag: "radius 10", radii: 10, handleX: 2, bgHeight: 170, bgOpen: 42, bgClosed: 20,
                  padTop: 20, padLeft: 21 }
            ]
        }

        function test_sizes(data) {
            const shelf = createTemporaryObject(emptyShelf, root, { contentRadii: data.radii })
            compare(handle(shelf).x, data.handleX)
            compare(handle(shelf).height, 108)
            compare(shelf.background.implicitHeight, data.bgHeight)
            compare(shelf.background.implicitWidth, data.bgOpen)
            compare(shelf.topPadding, data.padTop)
            compare(shelf.leftPadding, data.padLeft)
            if (data.radii === 20) {
                compare(shelf.implicitWidth, 134)
                compare(shelf.implicitHeight, 210)
            }
            shelf.opened = false
            compare(shelf.background.implicitWidth, data.bgClosed)
            compare(shelf.implicitWidth, data.bgClosed)
            compare(shelf.leftPadding, 0)
        }

        function test_contentAddsPaddings() {
            const shelf = createTemporaryObject(filledShelf, root)
            const column = findChild(shelf, "content")
            tryCompare(shelf, "implicitWidth", column.implicitWidth + 134)
            compare(shelf.implicitHeight, column.implicitHeight + 128)
            const height = shelf.implicitHeight
            shelf.opened = false
            compare(shelf.implicitWidth, 40)
            compare(shelf.implicitHeight, height)
            compare(findChild(shelf, "shelfContent").visible, false)
        }

        function test_tapClosesAndOpensOnlyWhenAllowed_data() {
            return [{ tag: "openable", openable: true, reopens: true },
                    { tag: "not openable", openable: false, reopens: false }]
        }

        function test_tapClosesAndOpensOnlyWhenAllowed(data) {
            const shelf = createTemporaryObject(emptyShelf, root,
                                                { manuallyOpenable: data.openable })
            shelf.width = 300
            shelf.height = 400
            const h = handle(shelf)
            mouseClick(h, h.width / 2, h.height / 2)
            compare(shelf.opened, false)
            mouseClick(h, h.width / 2, h.height / 2)
            compare(shelf.opened, data.reopens)
        }

        function test_gradientStop_data() {
            return [{ tag: "400", width: 400, stop: 0.6 }, { tag: "1000", width: 1000, stop: 0.8 }]
        }

        function test_gradientStop(data) {
            const shelf = createTemporaryObject(emptyShelf, root)
            shelf.width = data.width
            shelf.height = 600
            fuzzyCompare(findChild(shelf, "shelfBorder").middleStop, data.stop, 1e-9)
        }

        function test_windowPathOfTheWorkedExample() {
            const shelf = createTemporaryObject(emptyShelf, root)
            shelf.width = 400
            shelf.height = 600
            compare(findChild(shelf, "shelfBorder").windowPath(),
                    "M 400 550 A 20 20 0 0 1 380 570 L 60 570 A 20 20 0 0 1 40 550 L 40 50 "
                    + "A 20 20 0 0 1 60 30 L 380 30 A 20 20 0 0 1 400 50 L 400 0 Z")
        }

        function test_headingOverflowsEqually() {
            const shelf = createTemporaryObject(filledShelf, root)
            const heading = findChild(shelf, "content").children[1]
            compare(heading.height, 1)
            compare(heading.leftInset, -46)
            const label = findChild(heading, "headingLabel")
            compare(label.font.pixelSize, 16)
            const centre = label.mapToItem(heading, label.width / 2, 0).x
            fuzzyCompare(centre, heading.width / 2, 1)
        }
    }
}
