import QtQuick
import "../../../Qml/OrvaneUI/OrvaneControls"
import "../../../Qml/Forms"

// One parameter row: its name, the entry field bound to the device's value and "Send".
Rectangle {
    id: row

    property var simulinkVariable: null

    height: 35 * uScale
    radius: height / 2
    color: "#F3F3F3"

    function send() {
        if (!field.isValid())
            return
        field.updateCurrentValuePrecision()
        row.simulinkVariable.setValue(0, field.getValue())
    }

    OrvToolTip {
        buttonToolTip: row.simulinkVariable ? row.simulinkVariable.path : ""
    }

    Text {
        id: nameText
        anchors.left: parent.left
        anchors.verticalCenter: parent.verticalCenter
        width: 210 * uScale
        horizontalAlignment: Text.AlignRight
        elide: Text.ElideRight
        text: row.simulinkVariable ? row.simulinkVariable.name : ""
        textFormat: Text.PlainText
        font.family: "Poppins"
        font.pixelSize: 12 * uScale
        color: "#191346"
    }

    Rectangle {
        id: separator
        anchors.left: nameText.right
        anchors.leftMargin: 8 * uScale
        anchors.verticalCenter: parent.verticalCenter
        width: 1
        height: parent.height * 0.6
        color: "#CCCBCA"
    }

    ParameterInputField {
        id: field
        objectName: "parameterField"
        anchors.left: separator.right
        anchors.right: sendButton.left
        anchors.margins: 6 * uScale
        anchors.verticalCenter: parent.verticalCenter
        currentValue: row.simulinkVariable ? row.simulinkVariable.currentValue : 0
        font.family: "Poppins"
        font.pixelSize: 12 * uScale
        onAccepted: sendButton.clicked()
    }

    SimpleButtonRev3 {
        id: sendButton
        objectName: "sendButton"
        anchors.right: parent.right
        anchors.rightMargin: 5 * uScale
        anchors.verticalCenter: parent.verticalCenter
        width: 75 * uScale
        height: 25 * uScale
        text: "Send"
        originalState: field.isDirty ? "green" : "black"
        enabled: field.isValid()
        onClicked: row.send()
    }
}
