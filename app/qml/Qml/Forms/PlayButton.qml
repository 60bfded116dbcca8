import QtQuick
import QtQuick.Templates as T

T.Switch {
    id: control

    text: qsTr("Switch")
    implicitWidth: 50 * uScale
    implicitHeight: 50 * uScale
    padding: 0
    indicator: null
    background: null
    contentItem: Item {
        implicitWidth: 50 * uScale
        implicitHeight: 50 * uScale
        Image {
            objectName: "picture"
            anchors.fill: parent
            fillMode: Image.PreserveAspectFit
            mipmap: true
            source: control.checked ? "qrc:/Images/GUI/MainMenu/Pause.png"
                                    : "qrc:/Images/GUI/MainMenu/Play.png"
        }
    }
}
