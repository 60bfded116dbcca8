import QtQuick
import MatLab.GUI

// The settings page. Its white container hosts the MATLAB toolchain list.
Item {
    id: page

    // The window's unit under a name of the page's own: the section has a uScale property of its
    // own, and a binding "uScale: uScale" would read that one.
    readonly property real pageUnit: uScale

    // The toolchain list goes in here.
    readonly property alias settingsContainer: toolchainSlot

    FontLoader { id: titleFont; source: "qrc:/Fonts/Poppins/Poppins-SemiBold.ttf" }
    FontLoader { id: poppinsBold; source: "qrc:/Fonts/Poppins/Poppins-Bold.ttf" }
    FontLoader { id: poppinsBlack; source: "qrc:/Fonts/Poppins/Poppins-Black.ttf" }
    FontLoader { id: titleFont2; source: "qrc:/Fonts/Raleway/Raleway-BoldItalic.ttf" }
    FontLoader { id: ralewayLight; source: "qrc:/Fonts/Raleway/static/Raleway-Light.ttf" }

    Rectangle {
        id: panel
        objectName: "settingsPanel"
        width: 920 * uScale
        height: page.height - 20 * uScale
        anchors.centerIn: parent
        radius: 14.6 * uScale
        clip: true
        gradient: Gradient {
            GradientStop { position: 0; color: "#E1E1E1" }
            GradientStop { position: 1; color: "#C5C5C5" }
        }

        Item {
            id: titleStrip
            width: parent.width
            height: container.y

            Rectangle {
                x: hRef * 32 / 1080
                anchors.verticalCenter: parent.verticalCenter
                width: 300 * uScale
                height: 0.8 * uScale
                color: "#1D252F"
            }
            Text {
                anchors.centerIn: parent
                text: qsTr("Global Settings")
                font.family: titleFont.name
                font.weight: Font.DemiBold
                font.pixelSize: Math.max(1, 12.5 * uScale)
                color: "#1D252F"
            }
            Rectangle {
                anchors.right: parent.right
                anchors.rightMargin: 32 * uScale
                anchors.verticalCenter: parent.verticalCenter
                width: 300 * uScale
                height: 0.8 * uScale
                color: "#1D252F"
            }
        }

        Rectangle {
            id: container
            objectName: "settingsContainer"
            width: panel.width - 4 * uScale
            height: panel.height - 44 * uScale
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 2 * uScale
            radius: 14.6 * uScale
            color: "white"
            clip: true

            Item {
                id: toolchainSlot
                objectName: "toolchainSlot"
                y: 50 * uScale
                width: parent.width
                height: parent.height - y

                MatlabSettings {
                    objectName: "matlabSettings"
                    uScale: page.pageUnit
                    width: parent.width
                }
            }
        }
    }
}
