import QtQuick
import QtQuick.Controls.Material

// The "Matlab Toolchain" section of the Global Settings page: every MATLAB release with its
// toolchain, or the empty state without MATLAB. The host sets uScale (the window's unit).
Rectangle {
    id: root

    property real uScale: 1

    width: parent ? parent.width : 800 * uScale
    height: 100 * uScale

    Column {
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        anchors.topMargin: 50 * root.uScale
        spacing: 50 * root.uScale
        width: 504 * root.uScale

        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Matlab Toolchain")
            font.family: "Poppins"
            font.weight: Font.Black
            font.pixelSize: 15 * root.uScale
        }

        Item {
            width: parent.width
            height: 300 * root.uScale

            Loader {
                id: listLoader
                objectName: "matlabListLoader"
                anchors.fill: parent
                visible: toolchainInstall.installedMatlabs.length > 0
                onLoaded: toolchainInstall.setVisibility(visible)
                onVisibleChanged: toolchainInstall.setVisibility(visible)
                sourceComponent: ListView {
                    objectName: "matlabList"
                    anchors.fill: parent
                    spacing: 20 * root.uScale
                    interactive: contentHeight > height
                    model: toolchainInstall.installedMatlabs
                    delegate: MatlabListDelegate {
                        uScale: root.uScale
                        width: ListView.view.width
                    }
                }
            }

            Loader {
                anchors.fill: parent
                visible: toolchainInstall.installedMatlabs.length < 1
                sourceComponent: MatlabSettings_NoMatlab {
                    uScale: root.uScale
                }
            }
        }
    }
}
