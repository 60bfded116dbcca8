import QtQuick
import QtQuick.Templates as T
import QtQuick.Controls.impl
import orvane.Branding

// The button that leads home: the maker's footer logo with three bars over its left part.
T.ToolButton {
    id: control

    implicitWidth: Math.max(96 + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(40 + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)

    contentItem: null

    background: Image {
        id: logo
        objectName: "homeLogo"
        source: "qrc:/images/logo/orvane-logo.svg"
        fillMode: Image.PreserveAspectFit

        Image {
            objectName: "homeBars"
            x: logo.width / 5
            y: 0
            width: 2 * logo.width / 5
            height: logo.height
            source: "qrc:/images/UIAssets/3-bars.svg"
            fillMode: Image.PreserveAspectFit
        }
    }
}
