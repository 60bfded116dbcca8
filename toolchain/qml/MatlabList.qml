import QtQuick

// The release list alone (no page uses it).
Loader {
    id: root

    property real uScale: 1

    visible: toolchainInstall.installedMatlabs.length > 0
    onLoaded: toolchainInstall.setVisibility(visible)
    onVisibleChanged: toolchainInstall.setVisibility(visible)
    sourceComponent: ListView {
        spacing: 80 * root.uScale
        model: toolchainInstall.installedMatlabs
        delegate: MatlabListDelegate {
            uScale: root.uScale
            width: ListView.view.width
        }
    }
}
