import QtQuick
import com.orvane 1.0

// Shows one page at a time. Every page is made once, on first request, and kept (hidden and
// disabled) while another page is shown, so going back shows the same object with its state.
// A page that cannot be made leaves the page shown before. The pages are the loader's children
// and go with it.
Item {
    id: loader

    property string source
    property string moduleURI
    property var cachedPages: ({})
    property string oldSource: ""
    // Tab while the loader has the keyboard focus goes back here.
    property string homeSource: "qrc:/Qml/Forms/ModuleView.qml"
    readonly property Item currentPage: oldSource !== "" ? (cachedPages[oldSource] || null) : null

    // A doubled separator in a page path names the same file, but the page's own relative
    // imports resolve against its URL as written: "StagingTools//LogDownloader/GUI/" plus
    // "../../../Qml" stops one folder short of the resource root. The page is made from the
    // collapsed URL; the cache key stays the source string.
    function pageUrl(path) {
        const url = String(Qt.resolvedUrl(path))
        const parts = /^([A-Za-z][A-Za-z0-9+.-]*:(?:\/\/)?)(.*)$/.exec(url)
        return parts ? parts[1] + parts[2].replace(/\/{2,}/g, "/") : url
    }

    function createPage() {
        let component
        if (moduleURI !== "") {
            component = ModuleComponents.fromModule(moduleURI, source)
            if (!component) {
                console.warn("could not initialize UI component: not a module and type name: "
                            + moduleURI + " " + source)
                return null
            }
        } else {
            component = Qt.createComponent(pageUrl(source), Component.PreferSynchronous, loader)
        }
        if (component.status !== Component.Ready)
            console.warn("could not initialize UI component: " + component.errorString())
        const page = component.status === Component.Ready ? component.createObject(loader) : null
        component.destroy()
        return page
    }

    onSourceChanged: {
        if (source === oldSource)
            return
        const previous = oldSource !== "" ? cachedPages[oldSource] : null
        if (previous) {
            previous.visible = false
            previous.enabled = false
        }
        let page = cachedPages[source]
        if (page) {
            page.enabled = true
            page.visible = true
        } else {
            page = createPage()
            if (!page) {
                console.warn("could not initialize UI component")
                // Shows the previous page again; oldSource stays as it was.
                source = oldSource
                if (previous) {
                    previous.enabled = true
                    previous.visible = true
                }
                return
            }
            page.anchors.fill = loader
            const pages = cachedPages
            pages[source] = page
            cachedPages = pages
        }
        oldSource = source
    }

    Keys.onTabPressed: source = homeSource
}
