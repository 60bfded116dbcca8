import QtQuick
import QtQuick.Controls.Material
import QtQuick.Shapes
import orvane.Branding
import orvane.Controls

// A banner: the chosen device in a thin face, a dash and its connection status in bold, over an
// underlay tinted at its ends with a drop-down marker.
AbstractButton {
    id: connectionStatusRoot

    property string device: qsTr("Select Device...")
    property string status: qsTr("Not Connected")
    readonly property string statusText: device + " <b>- " + status + "</b>"

    // The device name and the status come from a device or the network: they are shown as the
    // text they are; only the dash and the bold face are markup.
    function escaped(text) {
        return text.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
    }

    Accessible.name: "Connection status"

    background: Item {
        id: connectionStatusBackground

        Rectangle {
            id: connectionStatusUnderlay
            objectName: "connectionStatusUnderlay"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            height: 20
            radius: height / 2
            gradient: Gradient {
                orientation: Gradient.Horizontal
                GradientStop {
                    position: 0.0
                    color: Qt.alpha(OrvaneColors.mainBorderColor, 0.5)
                }
                GradientStop {
                    position: (connectionStatusRoot.leftPadding - connectionStatusRoot.leftInset)
                              / connectionStatusUnderlay.width
                    color: Qt.alpha(OrvaneColors.mainBorderColor, 0)
                }
                GradientStop {
                    position: 1.0 - (connectionStatusRoot.rightPadding
                                     - connectionStatusRoot.rightInset)
                              / connectionStatusUnderlay.width
                    color: Qt.alpha(OrvaneColors.mainBorderColor, 0)
                }
                GradientStop {
                    position: 1.0
                    color: Qt.alpha(OrvaneColors.mainBorderColor, 0.5)
                }
            }

            Rectangle {
                id: dropDownIndicator
                objectName: "dropDownIndicator"
                anchors.top: parent.top
                anchors.right: parent.right
                anchors.topMargin: (parent.height - height) / 2
                anchors.rightMargin: (parent.height - height) / 2
                height: 0.7 * parent.height
                width: height
                radius: height / 2
                color: OrvaneColors.mainBorderColor

                Shape {
                    id: dropDownIndicatorIcon
                    width: dropDownIndicator.width / 2
                    height: width
                    anchors.centerIn: parent
                    ShapePath {
                        fillColor: OrvaneColors.background
                        strokeColor: "transparent"
                        startX: 0; startY: 0
                        PathLine { x: dropDownIndicatorIcon.width / 2; y: dropDownIndicatorIcon.height }
                        PathLine { x: dropDownIndicatorIcon.width; y: 0 }
                        PathLine { x: 0; y: 0 }
                    }
                }
            }
        }
    }

    contentItem: Item {
        id: statusTextContainer
        implicitWidth: statustext.contentWidth
        implicitHeight: statustext.font.pixelSize

        Text {
            id: statustext
            objectName: "statustext"
            anchors.centerIn: parent
            text: connectionStatusRoot.escaped(connectionStatusRoot.device) + " <b>- "
                  + connectionStatusRoot.escaped(connectionStatusRoot.status) + "</b>"
            textFormat: Text.StyledText
            font.family: "Raleway Thin"
            font.pixelSize: 35
            horizontalAlignment: Text.AlignHCenter
            color: OrvaneColors.primaryTextColor
        }
    }
}
