import QtQuick
import QtTest
import orvane.Util

Item {
    id: root
    width: 600
    height: 400

    Component {
        id: loaderComponent
        CachedLoader { anchors.fill: parent }
    }

    Component {
        id: dragComponent
        Rectangle {
            width: 300
            height: 300
            property alias handler: dragHandler
            ObservableDragHandler { id: dragHandler; target: null }
        }
    }

    TestCase {
        name: "CachedLoader"
        when: windowShown

        function test_pagesAreMadeOnceByKey() {
            const loader = createTemporaryObject(loaderComponent, root)
            verify(loader.load("QtQuick", "Rectangle"))
            const first = loader.item
            verify(first !== null)
            compare(first.width, loader.width)
            verify(loader.load("QtQuick", "Rectangle"))
            compare(loader.item, first)
            verify(loader.load("QtQuick", "Rectangle", { color: "red" }))
            const second = loader.item
            verify(second !== first)
            compare(first.visible, false)
            compare(first.enabled, false)
            // The same properties in another order are another page.
            verify(loader.load("QtQuick", "Rectangle", { width: 10, height: 20 }))
            const third = loader.item
            verify(loader.load("QtQuick", "Rectangle", { height: 20, width: 10 }))
            verify(loader.item !== third)
            verify(loader.load("QtQuick", "Rectangle"))
            compare(loader.item, first)
            compare(first.visible, true)
            compare(first.enabled, true)
            compare(loader.children.length, 4)
        }

        // A page that cannot be made leaves no page shown: the one shown before is hidden and
        // the loader holds no item; the next good load shows its page again.
        function test_failedLoadShowsNoPage_data() {
            return [
                { tag: "unknown type", uri: "QtQuick", type: "NoSuchPage" },
                { tag: "not a type name", uri: "QtQuick", type: "Item {} Rectangle" },
                { tag: "unknown module", uri: "orvane.Nowhere", type: "Page" }
            ]
        }

        function test_failedLoadShowsNoPage(data) {
            const loader = createTemporaryObject(loaderComponent, root)
            verify(loader.load("QtQuick", "Rectangle", { objectName: "shown" }))
            const shown = loader.item
            verify(shown !== null && shown.visible)
            verify(!loader.load(data.uri, data.type))
            compare(shown.visible, false)
            compare(shown.enabled, false)
            compare(loader.item, null)
            // Loading the page shown before is not "already loaded": it shows again.
            verify(loader.load("QtQuick", "Rectangle", { objectName: "shown" }))
            compare(loader.item, shown)
            compare(shown.visible, true)
            compare(shown.enabled, true)
            compare(loader.children.length, 1)
        }

        function test_pagesGoWithTheLoader() {
            const loader = createTemporaryObject(loaderComponent, root)
            loader.load("QtQuick", "Rectangle")
            let destroyed = false
            loader.item.Component.destruction.connect(() => { destroyed = true })
            loader.destroy()
            tryVerify(() => destroyed)
        }
    }

    TestCase {
        name: "ObservableDragHandler"
        when: windowShown

        function drag(area) {
            mousePress(area, 50, 50)
            mouseMove(area, 70, 60)
            mouseMove(area, 120, 90)
            mouseMove(area, 150, 120)
            mouseRelease(area, 150, 120)
        }

        function recorder(log, name) {
            return {
                grab: point => log.push(name + ":grab"),
                ungrab: point => log.push(name + ":ungrab"),
                axes: translation => log.push(name + ":axes")
            }
        }

        function test_highestInterestedPriorityWins_data() {
            return [
                { tag: "interested 1 over uninterested 2", observers: [[1, true], [2, false]],
                  winner: 0 },
                { tag: "tie goes to the first", observers: [[2, true], [2, true]], winner: 0 },
                { tag: "higher wins", observers: [[1, true], [3, true], [2, true]], winner: 1 },
                { tag: "negative never", observers: [[-1, true]], winner: -1 }
            ]
        }

        function test_highestInterestedPriorityWins(data) {
            const area = createTemporaryObject(dragComponent, root)
            const handler = area.handler
            const log = []
            let asked = 0
            const keys = []
            for (let i = 0; i < data.observers.length; ++i) {
                const [priority, interested] = data.observers[i]
                const r = recorder(log, "o" + i)
                keys.push(handler.addHandler(priority, point => { ++asked; return interested },
                                             r.grab, r.ungrab, r.axes))
            }
            compare(keys, data.observers.map((o, i) => i))
            mousePress(area, 50, 50)
            compare(asked, data.observers.length)
            compare(handler.activeObserverIndex, data.winner)
            mouseMove(area, 80, 70)
            mouseMove(area, 120, 90)
            mouseMove(area, 150, 120)
            mouseRelease(area, 150, 120)
            compare(handler.activeObserverIndex, -1)
            if (data.winner < 0) {
                compare(log.length, 0)
                return
            }
            const name = "o" + data.winner
            compare(log[0], name + ":grab")
            verify(log.indexOf(name + ":axes") > 0)
            compare(log[log.length - 1], name + ":ungrab")
            verify(log.every(entry => entry.startsWith(name + ":")))
        }

        function test_removingTheActiveObserverSilencesTheDrag() {
            const area = createTemporaryObject(dragComponent, root)
            const handler = area.handler
            const log = []
            const r = recorder(log, "o")
            const key = handler.addHandler(0, point => true, r.grab, r.ungrab, r.axes)
            mousePress(area, 50, 50)
            mouseMove(area, 80, 70)
            mouseMove(area, 120, 90)
            const before = log.length
            verify(before > 0)
            handler.removeHandler(key)
            mouseMove(area, 150, 120)
            mouseRelease(area, 150, 120)
            compare(log.length, before)
            handler.removeHandler(99)
            compare(handler.lastKey, 1)
        }
    }

    TestCase {
        name: "UtilTypes"
        when: windowShown

        function test_sharedPointerIsNotCreatable() {
            let error = ""
            try {
                Qt.createQmlObject("import orvane.Util\nQmlSharedPointer {}", root)
            } catch (e) {
                error = e.qmlErrors[0].message
            }
            compare(error, "This object cannot be created from QML")
        }

        function test_standardPathsInQml() {
            const paths = Qt.createQmlObject("import orvane.Util\nStandardPaths { group: 'a/b' }",
                                             root)
            compare(paths.subGroup("c").group, "a/b/c")
            verify(paths.getTempPath("f").endsWith("/f"))
            paths.destroy()
        }

        function test_singletonsAreThere() {
            verify(FileIo.tempFileUrl().toString().indexOf("NimbrelBrastel_") > 0)
            compare(ApplicationConfiguration.getConfiguration("anything"), undefined)
        }
    }
}
