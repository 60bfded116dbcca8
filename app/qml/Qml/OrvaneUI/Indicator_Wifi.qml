import QtQuick

Image {
    id: root

    signal tapped

    state: "3"
    fillMode: Image.PreserveAspectFit
    mipmap: true
    source: "qrc:/Images/GUI/Indicators/Wifi Indicator/Wifi_Indicator_state_" + state + ".png"

    states: [State { name: "0" }, State { name: "1" }, State { name: "2" }, State { name: "3" },
        State { name: "4" }]

    MouseArea {
        anchors.fill: parent
        onClicked: root.tapped()
    }
}
