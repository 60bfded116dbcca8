import QtQuick

Rectangle {
    color: "#DDDDDD"
    Component.onCompleted: pageLog.created.push(Qt.resolvedUrl("OtherPage.qml"))
}
