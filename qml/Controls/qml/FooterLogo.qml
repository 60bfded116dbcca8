import QtQuick
import QtQuick.Controls.Material
import orvane.Controls

// The footer: the maker's logo, the word-mark with the build year, and the application's name
// and version.
Control {
    id: root

    topPadding: 30
    bottomPadding: 30
    rightPadding: 20

    contentItem: Item {
        implicitWidth: childrenRect.width
        implicitHeight: childrenRect.height

        Image {
            id: logo
            objectName: "logo"
            x: 0
            y: 0
            width: 192
            height: 80
            source: "qrc:/images/logo/orvane-logo.svg"
            fillMode: Image.PreserveAspectFit
        }
        Image {
            id: wordmark
            objectName: "wordmark"
            x: logo.x + logo.width + 40
            y: logo.y + 9
            width: 117
            height: 23
            source: "qrc:/images/logo/registered/orvane-wordmark.svg"
            fillMode: Image.PreserveAspectFit
            mipmap: true
        }
        Text {
            id: year
            objectName: "year"
            anchors.left: wordmark.right
            anchors.verticalCenter: wordmark.verticalCenter
            text: " \u00A9 " + BuildInfo.buildDateTime.getFullYear()
            font.family: "Poppins"
            font.styleName: "Light"
            font.pointSize: 12
        }
        Text {
            id: nameVersion
            objectName: "nameVersion"
            x: logo.x + logo.width + 40
            anchors.bottom: logo.bottom
            text: Application.name + " | " + Application.version
            font.family: "Poppins"
            font.styleName: "Light"
            font.pointSize: 17
            font.capitalization: Font.AllUppercase
            font.kerning: true
            font.letterSpacing: 3.5
            verticalAlignment: Text.AlignVCenter
        }
    }
}
