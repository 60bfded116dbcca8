import QtQuick
import QtQuick.Controls.Material
import Qt.labs.platform as Platform
import "Forms"

ApplicationWindow {
    id: window

    readonly property int hRef: Math.min(Screen.height, Screen.width)
    readonly property real uScale: hRef / 1080.01
    readonly property real frameBorderWidth: hRef * 9 / 1080
    property bool asynchronousLoadingEnabled: true
    readonly property alias viewStack: viewStack
    readonly property Item applicationMenu: menuLoader.item

    width: Math.max(Screen.width, Screen.height) * 0.75
    height: Screen.height * 0.75
    minimumWidth: Math.max(Screen.height, Screen.width) / 2
    minimumHeight: Screen.height - Screen.height * 1.6180 + Screen.height
    flags: Qt.Window
    title: "Nimbrel Lab"
    Material.theme: Material.Light

    Component.onCompleted: {
        showMaximized()
        requestActivate()
        viewStack.forceActiveFocus()
    }

    FontLoader { id: poppinsLight; source: "qrc:/Fonts/Poppins/Poppins-Light.ttf" }
    FontLoader { id: poppinsExtralight; source: "qrc:/Fonts/Poppins/Poppins-ExtraLight.ttf" }
    FontLoader { id: poppinsSemiBold; source: "qrc:/Fonts/Poppins/Poppins-SemiBold.ttf" }
    FontLoader { id: raleWayBold; source: "qrc:/Fonts/Raleway/Raleway-Bold.ttf" }
    FontLoader { id: raleWayLight; source: "qrc:/Fonts/Raleway/static/Raleway-Light.ttf" }

    // The system-tray icon (pages show balloon messages through sysTray.showMessage). Made after
    // the first frame: the first frame does not show it.
    property QtObject sysTray: null

    Component {
        id: trayComponent
        Platform.SystemTrayIcon {
            visible: true
            icon.source: "qrc:/Images/AppIcon.ico"
            tooltip: window.title
            onActivated: {
                window.showMaximized()
                window.requestActivate()
            }
        }
    }

    onFrameSwapped: {
        if (!sysTray)
            sysTray = trayComponent.createObject(window)
    }

    Loader {
        id: backgroundLoader
        anchors.fill: parent
        asynchronous: window.asynchronousLoadingEnabled
        sourceComponent: Rectangle { objectName: "background"; color: "#CCCBCA" }
    }

    Loader {
        id: menuLoader
        objectName: "menuLoader"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.topMargin: window.frameBorderWidth
        anchors.leftMargin: window.frameBorderWidth
        anchors.rightMargin: window.frameBorderWidth
        height: 83 * window.uScale
        asynchronous: window.asynchronousLoadingEnabled
        sourceComponent: Component { ApplicationMenu { objectName: "applicationMenu" } }
    }

    // A new screen gives new sizes: the top bar is built again for them.
    onUScaleChanged: {
        menuLoader.active = false
        menuLoader.active = true
    }

    Rectangle {
        id: pageArea
        color: "#FFFFFF"
        anchors.top: menuLoader.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.topMargin: window.hRef * 2 / 1080
        anchors.leftMargin: window.frameBorderWidth
        anchors.rightMargin: window.frameBorderWidth
        anchors.bottomMargin: window.frameBorderWidth

        OrvLoader {
            id: viewStack
            objectName: "viewStack"
            anchors.fill: parent
            clip: true
            source: "qrc:/Qml/Forms/ModuleView.qml"
        }
    }

    Text {
        anchors.centerIn: parent
        visible: RELEASE_MODE === 2
        text: "Manufacturing Mode"
        color: "red"
        opacity: 0.3
        font.pixelSize: 180
    }

    Text {
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        visible: RELEASE_MODE === 1
        text: "Develop Mode"
        color: "red"
        opacity: 0.3
        font.pixelSize: 80
    }
}
