import QtQuick
import orvane.Branding

// One row of a device list: serial number, service name and a Connect button. The serial and
// the service name come from the network and are shown as plain text.
Rectangle {
    id: deviceListEntryRoot

    property string serial
    property string servicename
    signal connect()

    height: 30
    radius: height / 2
    width: ListView.view ? ListView.view.width : implicitWidth
    color: OrvaneColors.toolBarColor

    Text {
        id: serialColumn
        objectName: "serialColumn"
        Accessible.name: "Serial number"
        anchors.left: parent.left
        anchors.verticalCenter: parent.verticalCenter
        width: 100
        text: deviceListEntryRoot.serial
        textFormat: Text.PlainText
        font.family: "Poppins SemiBold"
        horizontalAlignment: Text.AlignRight
        leftPadding: 10
        rightPadding: 10
    }

    Rectangle {
        id: entryDivider
        anchors.left: serialColumn.right
        width: 1
        height: parent.height
        color: OrvaneColors.mainBorderColor
    }

    Text {
        id: nameColumn
        objectName: "Name"
        Accessible.name: deviceListEntryRoot.servicename
        anchors.left: entryDivider.right
        anchors.leftMargin: 10
        anchors.verticalCenter: parent.verticalCenter
        text: deviceListEntryRoot.servicename
        textFormat: Text.PlainText
        font.family: "Raleway"
    }

    Button {
        objectName: "connectButton"
        Accessible.name: "Connect"
        height: parent.height
        topInset: 3
        bottomInset: 3
        rightInset: 3
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        text: qsTr("Connect")
        onClicked: deviceListEntryRoot.connect()
    }
}
