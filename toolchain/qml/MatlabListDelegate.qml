import QtQuick
import QtQuick.Controls.Material
// The application's own push button; the program and the screen tests carry its resources.
import "qrc:/Qml/OrvaneUI/OrvaneControls"

// One MATLAB release of the toolchain list (modelData is its row object).
Column {
    id: row

    required property var modelData
    property real uScale: 1

    objectName: "matlabRow_" + modelData.readableMatlabVersion
    // At least the row's nominal height; the message bar adds to it instead of covering the
    // next release.
    height: Math.max(80 * uScale, implicitHeight)
    spacing: 2.5 * uScale

    component Bar: Rectangle {
        id: bar
        property alias label: labelText.text
        property alias value: valueText.text
        default property alias content: extra.data

        width: 504 * row.uScale
        height: 28 * row.uScale
        radius: height / 2
        color: "#F3F3F3"

        Text {
            id: labelText
            anchors.right: separator.left
            anchors.rightMargin: 17 * row.uScale
            anchors.verticalCenter: parent.verticalCenter
            horizontalAlignment: Text.AlignRight
            font.family: "Poppins"
            font.weight: Font.DemiBold
            font.pixelSize: 11 * row.uScale
            color: "#1D252F"
        }
        Rectangle {
            id: separator
            x: 180 * row.uScale
            width: 1 * row.uScale
            height: parent.height
            color: "#D6D6D6"
        }
        Text {
            id: valueText
            x: separator.x + separator.width + 15 * row.uScale
            anchors.verticalCenter: parent.verticalCenter
            width: 50 * row.uScale
            height: 14 * row.uScale
            verticalAlignment: Text.AlignVCenter
            textFormat: Text.PlainText
            font.family: "Poppins"
            font.weight: Font.ExtraLight
            font.pixelSize: 10.5 * row.uScale
        }
        Item {
            id: extra
            anchors.fill: parent
        }
    }

    Bar {
        objectName: "versionBar"
        label: qsTr("Matlab Version")
        value: row.modelData.readableMatlabVersion
    }
    Bar {
        label: qsTr("Tool Chain Version")
        value: row.modelData.toolchainVersion
    }
    Bar {
        label: qsTr("Update Toolchain ")
        Row {
            anchors.right: parent.right
            anchors.rightMargin: 2.5 * row.uScale
            anchors.verticalCenter: parent.verticalCenter
            spacing: 20
            SimpleButtonRev3 {
                objectName: "installButton"
                width: 140 * row.uScale
                height: 23 * row.uScale
                originalState: "black"
                text: row.modelData.isInstalled ? qsTr("ReInstall") : qsTr("Install")
                onClicked: row.modelData.install()
            }
            SimpleButtonRev3 {
                objectName: "uninstallButton"
                visible: row.modelData.isInstalled
                width: 140 * row.uScale
                height: 23 * row.uScale
                originalState: "black"
                text: qsTr("uninstall")
                onClicked: row.modelData.uninstall()
            }
        }
    }
    Bar {
        objectName: "messageBar"
        visible: row.modelData.readableMsg !== ""
        label: qsTr("Matlab Message")
        value: row.modelData.readableMsg
    }
}
