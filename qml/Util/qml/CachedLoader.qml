import QtQuick
import orvane.Util

// Shows one page at a time, making each page (module, type and initial properties) once and
// keeping it, hidden and disabled, while another is shown.
Item {
    id: loader

    readonly property Item item: internal.loadedPage !== ""
                                 ? internal.cachedPages[internal.loadedPage] || null : null

    function load(moduleUri, source, properties) {
        if (properties === undefined)
            properties = {}
        const key = moduleUri + "::" + source + "::" + JSON.stringify(properties)
        if (key === internal.loadedPage)
            return true

        // A load that fails shows no page at all rather than a page the caller moved away from.
        const previous = internal.loadedPage !== "" ? internal.cachedPages[internal.loadedPage]
                                                    : null
        if (previous) {
            previous.visible = false
            previous.enabled = false
        }

        let page = internal.cachedPages[key]
        if (!page) {
            const component = ModuleComponents.fromModule(moduleUri, source)
            if (!component || component.status !== Component.Ready) {
                console.log("could not initialize UI component: "
                            + (component ? component.errorString()
                                         : "not a module and type name: " + moduleUri + " "
                                           + source))
                internal.loadedPage = ""
                return false
            }
            page = component.createObject(loader, properties)
            component.destroy()
            if (!page) {
                console.log("could not initialize UI component")
                internal.loadedPage = ""
                return false
            }
            page.anchors.fill = loader
            internal.cachedPages[key] = page
        }

        internal.loadedPage = key
        page.visible = true
        page.enabled = true
        return true
    }

    QtObject {
        id: internal
        // Page key -> page item; the pages are the loader's children and go with it.
        property var cachedPages: ({})
        property string loadedPage: ""
    }
}
