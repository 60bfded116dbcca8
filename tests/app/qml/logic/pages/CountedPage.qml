import QtQuick

// A page that counts how often it is made, through the test's own log object.
Rectangle {
    property int clicks: 0
    color: "#EEEEEE"
    Component.onCompleted: pageLog.created.push(Qt.resolvedUrl("CountedPage.qml"))
}
