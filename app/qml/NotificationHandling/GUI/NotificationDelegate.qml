import QtQuick
import QtQuick.Controls.Material
import com.orvane 1.0
import "../../Qml/OrvaneUI"

// One notification: level strip, texts, button and progress, CLEAR and MORE/LESS.
Rectangle_RoundClip {
    id: row

    required property var modelData
    readonly property var note: modelData
    // The two most severe levels (critical error and error) share the error look.
    readonly property bool errorLook: note.level === 1 || note.level === 2
    readonly property bool hasButton: note.type === AbstractNotification.Button_1
                                      || note.type === AbstractNotification.Button_2
                                      || note.type === AbstractNotification.ButtonProgress_1
                                      || note.type === AbstractNotification.ButtonProgress_2
    readonly property bool hasProgress: note.type === AbstractNotification.Progress_1
                                        || note.type === AbstractNotification.ButtonProgress_1
                                        || note.type === AbstractNotification.ButtonProgress_2
    readonly property string originLine: note.source === AbstractNotification.Device
                                         ? "Pelto | S/N:" + note.origin
                                         : "Nimbrel Lab | " + note.origin

    FontLoader { id: ralewayLight; source: "qrc:/Fonts/Raleway/static/Raleway-Light.ttf" }
    FontLoader { id: ralewaySemiBold; source: "qrc:/Fonts/Raleway/static/Raleway-SemiBold.ttf" }
    FontLoader { id: ralewayRegular; source: "qrc:/Fonts/Raleway/static/Raleway-Regular.ttf" }
    FontLoader { id: ralewayExtraBold; source: "qrc:/Fonts/Raleway/static/Raleway-ExtraBold.ttf" }

    color: "white"
    border.color: "white"
    borderWidth_mm: 0.28
    radius: hRef * 15 / 1080
    clipContent: content
    state: "collapsed"
    // The nominal heights hold a text-only row; a button, a progress bar or a long expanded
    // message needs more, and the row grows to hold it instead of cutting it off.
    readonly property real neededHeight: texts.y + texts.implicitHeight + uScale * 13
    height: Math.max(neededHeight,
                     state === "expanded" ? hRef * 120 / 1080 + message.height + hRef * 120 / 1080
                                          : hRef * 120 / 1080)
    Behavior on height { NumberAnimation { duration: 150; easing.type: Easing.OutQuad } }

    Connections {
        target: row.note
        function onExpandedChanged() { row.state = row.note.expanded ? "expanded" : "collapsed" }
    }

    states: [State { name: "collapsed" }, State { name: "expanded" }]

    Row {
        id: content
        anchors.fill: parent
        spacing: 0.35 * row.pixelDensity
        opacity: 0

        Rectangle {
            id: strip
            objectName: "levelStrip"
            width: row.width * 35 / 500
            height: parent.height
            color: row.errorLook ? "#F1DEE2" : "#F2EADF"
            Image {
                objectName: "levelImage"
                anchors.centerIn: parent
                width: strip.width / 3
                height: width
                mipmap: true
                source: row.errorLook ? "qrc:/Images/GUI/Notifications/app_error.png"
                                      : "qrc:/Images/GUI/Notifications/app_warning.png"
            }
        }

        Rectangle {
            id: textArea
            width: parent.width - strip.width - controls.width - 2 * parent.spacing
            height: parent.height
            color: "#F3F3F3"

            Column {
                id: texts
                x: uScale * 20
                y: uScale * 13
                width: parent.width - uScale * 20
                spacing: uScale * 10

                Text {
                    objectName: "titleText"
                    text: row.note.title
                    textFormat: Text.PlainText
                    font.family: ralewaySemiBold.name
                    font.weight: Font.DemiBold
                    font.pixelSize: Math.max(1, uScale * 14)
                    color: "#E31F40"
                    width: parent.width - uScale * 20
                    elide: Text.ElideRight
                }
                Text {
                    objectName: "timeText"
                    text: Qt.formatTime(row.note.time, "hh:mm:ss")
                    font.family: ralewaySemiBold.name
                    font.bold: true
                    font.pixelSize: Math.max(1, uScale * 14)
                }
                Text {
                    objectName: "originText"
                    text: row.originLine
                    textFormat: Text.PlainText
                    font.family: ralewayRegular.name
                    font.pixelSize: Math.max(1, uScale * 12)
                    width: parent.width - uScale * 20
                    elide: Text.ElideRight
                }
                Row {
                    visible: row.hasButton
                    height: visible ? uScale * 50 : 0
                    Button_rev1 {
                        objectName: "notificationButton"
                        height: parent.height
                        width: height * 3
                        text: row.hasButton ? row.note.buttonName : ""
                        enabled: row.hasButton ? row.note.buttonEnabled : false
                        onClicked: row.note.buttonPressed()
                    }
                }
                ProgressBar_rev1 {
                    objectName: "notificationProgress"
                    width: parent.width * 0.85
                    height: uScale * 5
                    // The bar is only a few pixels high: the widget's own padding would leave
                    // nothing of it on a small screen.
                    padding: 0
                    visible: row.hasProgress && row.note.progressEnabled
                    value: row.hasProgress ? row.note.progress : 0
                }
                Text {
                    id: message
                    objectName: "messageText"
                    text: row.note.message
                    textFormat: Text.PlainText
                    topPadding: uScale * 1
                    width: textArea.width - uScale * 40
                    wrapMode: Text.Wrap
                    elide: Text.ElideRight
                    maximumLineCount: row.state === "expanded" ? 10 : 1
                    font.family: ralewayLight.name
                    font.pixelSize: Math.max(1, uScale * 11)
                }
            }
        }

        Column {
            id: controls
            width: uScale * 100
            height: parent.height

            Rectangle {
                width: parent.width
                height: uScale * 55
                color: "white"
                Text {
                    anchors.centerIn: parent
                    text: "CLEAR"
                    font.family: ralewayExtraBold.name
                    font.weight: Font.ExtraBold
                    font.pixelSize: Math.max(1, uScale * 12)
                }
                MouseArea {
                    objectName: "clearArea"
                    anchors.fill: parent
                    onClicked: row.note.deleteSelf()
                }
            }

            Rectangle {
                id: moreLess
                width: parent.width
                height: parent.height - uScale * 55
                color: "#F3F3F3"
                Text {
                    objectName: "moreLessText"
                    anchors.horizontalCenter: parent.horizontalCenter
                    y: moreLess.width / 4
                    text: row.state === "expanded" ? "LESS" : "MORE"
                    color: row.state === "expanded" ? "black" : "#B4B4B5"
                    font.family: ralewayExtraBold.name
                    font.weight: Font.ExtraBold
                    font.pixelSize: Math.max(1, uScale * 12)
                }
                Image {
                    anchors.centerIn: parent
                    width: moreLess.width / 3.5
                    height: width
                    source: "qrc:/Images/GUI/Notifications/upArrow.png"
                    opacity: row.state === "expanded" ? 1 : 0
                    visible: opacity > 0
                    Behavior on opacity { NumberAnimation { easing.type: Easing.OutQuint } }
                }
                MouseArea {
                    objectName: "moreLessArea"
                    anchors.fill: parent
                    onClicked: row.note.setExpanded(row.state !== "expanded")
                }
            }
        }
    }
}
