import QtQuick
import QtQuick.Controls.Material
// The settings bar of the application's Hardware Setup screen (its resources travel with the
// program and the screen tests).
import "qrc:/StagingTools/HardwareSettings/GUI"

// The toolchain section on a computer without MATLAB.
Column {
    id: root

    property real uScale: 1

    anchors.horizontalCenter: parent ? parent.horizontalCenter : undefined
    spacing: 2.5 * uScale

    component Message: Text {
        width: 300 * root.uScale
        font.family: "Poppins"
        font.weight: Font.ExtraLight
        font.pixelSize: 10.5 * root.uScale
        verticalAlignment: Text.AlignVCenter
    }

    HwSetting_BaseContainer {
        uScale: root.uScale
        title: qsTr("Matlab Version")
        controlWidth: 340 * root.uScale
        controlObject: Component {
            Message { text: qsTr("No Matlab installation was found on this system") }
        }
    }
    HwSetting_BaseContainer {
        uScale: root.uScale
        title: qsTr("Toolchain Version")
        controlWidth: 340 * root.uScale
        controlObject: Component {
            Message { text: qsTr("No toolchain installation was found on this system") }
        }
    }
    HwSetting_BaseContainer {
        uScale: root.uScale
        title: qsTr("Reinstall Toolchain")
        controlWidth: 340 * root.uScale
        controlObject: Component {
            Message { text: qsTr("Please install Matlab before installing the toolchain") }
        }
    }
}
