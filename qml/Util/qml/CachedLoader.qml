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

        let page = internal.cachedPages[key]
        if (!page) {
            const component = ModuleComponents.fromModule(moduleUri, source)
            if (!component || component.status !== Component.Ready) {
                console.log("could not initialize UI component: "
                            + (component ? component.errorString()
                                         : "not a module and type name: " + moduleUri + " "
                                           + source))
                // The page shown before stays shown.
                return false
            }
            page = component.createObject(loader, properties)
            component.destroy()
            if (!page) {
                console.log("could not initialize UI component")
                return false
            }
            page.anchors.fill = loader
            internal.cachedPages[key] = page
        }

        const previous = internal.loadedPage !== "" ? internal.cachedPages[internal.loadedPage]
                                                    : null
        if (previous) {
            previous.visible = false
            previous.enabled = false
        }
        page.visible = true
        page.enabled = true
        internal.loadedPage = key
        return true
    }

    QtObject {
        id: internal
        // Page key -> page item; the pages are the loader's children and go with it.
        property var cachedPages: ({})
        property string loadedPage: ""
    }
}
