import QtQuick
import QtQuick.Layouts
import QtTest
import orvane.Controls

Item {
    id: root
    width: 800
    height: 600

    Component {
        id: headerComponent
        HeaderContainer {
            width: 500
            HeaderColumn { text: "Name"; Layout.preferredWidth: 100 }
            HeaderColumn { text: "Serial"; Layout.preferredWidth: 200; Layout.fillWidth: true }
            HeaderColumn { text: "Service"; Layout.preferredWidth: 100 }
        }
    }

    Component {
        id: emptyHeaderComponent
        HeaderContainer { width: 300 }
    }

    TestCase {
        name: "HeaderContainer"
        when: windowShown

        function test_cellsAndSeparators() {
            const header = createTemporaryObject(headerComponent, root)
            compare(header.height, 50)
            const layout = findChild(header, "headerContainerLayout")
            const cells = layout.children
            compare(cells.length, 3)
            const edges = [[0, 100], [101, 399], [400, 500]]
            for (let i = 0; i < 3; ++i) {
                compare(cells[i].x, edges[i][0])
                compare(cells[i].x + cells[i].width, edges[i][1])
                compare(cells[i].height, 50)
            }
            const band = findChild(header, "headerBand")
            compare(band.y, 10)
            compare(band.height, 30)
            compare(findChild(cells[1], "headerText").text, "Serial")
        }

        function test_emptyHeaderShowsTheBand() {
            const header = createTemporaryObject(emptyHeaderComponent, root)
            const band = findChild(header, "headerBand")
            compare(band.width, 300)
            compare(band.height, 30)
        }
    }
}
