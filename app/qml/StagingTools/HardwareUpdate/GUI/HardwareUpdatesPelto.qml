import QtQuick
import "../../../Qml/OrvaneUI"
import "../../../Qml/OrvaneUI/OrvaneControls"
import "../../../Qml/Forms"
import "UpdateRules.js" as Rules

// The card of one device on the "Device Updates" page: its picture, the firmware state of its
// update row and the button that starts the update.
Column {
    id: card

    // The device's update row (DeviceUpdateEntry).
    property var entry: null
    // The device factory (its selected device) and the binary library (names of build ids).
    property var factory: null
    property var binaries: null
    property string deviceType: "Pelto"
    property url icon: Rules.deviceIcon
    property url productImage: "qrc:/Images/GUI/Hardware Updates/ProductImages/Pelto.png"

    readonly property int updateState: entry ? entry.updateState : Rules.NoUpdateAvailable
    // The version catalogue; without one ever loaded the card claims no version and no
    // up-to-date state.
    property var catalogue: typeof versionControl !== "undefined" ? versionControl : null
    readonly property bool catalogueMissing: catalogue ? catalogue.catalogueAvailable === false
                                                       : false
    readonly property real progress: entry ? entry.updateProgress : 0
    readonly property var selectedDevice: factory ? factory.selectedDevice : null

    width: 200 * uScale
    // Long texts (an unknown application, a long version) may need more than the card's height:
    // the card grows rather than drawing into the row below.
    height: Math.max(750 * uScale, implicitHeight)
    spacing: 20 * uScale

    // The row keeps the build id as hex text; the library knows binaries by the id's bytes.
    function nameOfBuild(hex) {
        if (!binaries)
            return ""
        const text = String(hex)
        const bytes = new Uint8Array(Math.floor(text.length / 2))
        for (let i = 0; i < bytes.length; ++i)
            bytes[i] = parseInt(text.substr(2 * i, 2), 16)
        return binaries.getBinaryNameByBuildID(bytes.buffer)
    }

    Text {
        objectName: "cardTitle"
        width: parent.width
        text: card.deviceType
        textFormat: Text.PlainText
        horizontalAlignment: Text.AlignHCenter
        color: "#222A32"
        font.family: "Playfair Display"
        font.weight: Font.Black
        font.pixelSize: 20 * uScale
    }
    Image {
        anchors.horizontalCenter: parent.horizontalCenter
        height: 36 * uScale
        width: height
        fillMode: Image.PreserveAspectFit
        source: card.icon
    }
    Image {
        anchors.horizontalCenter: parent.horizontalCenter
        height: 40 * uScale
        fillMode: Image.PreserveAspectFit
        source: "qrc:/Images/GUI/Hardware Updates/VerticalStripe.png"
    }
    Image {
        objectName: "productImage"
        width: parent.width
        height: 350 * uScale
        fillMode: Image.PreserveAspectFit
        source: card.productImage
    }
    Image {
        anchors.horizontalCenter: parent.horizontalCenter
        height: 40 * uScale
        fillMode: Image.PreserveAspectFit
        source: "qrc:/Images/GUI/Hardware Updates/VerticalStripe.png"
    }

    Item {
        width: parent.width
        height: 38 * uScale

        CircularProgressBar_rev1 {
            objectName: "progressRing"
            anchors.centerIn: parent
            width: 38 * uScale
            height: 38 * uScale
            visible: Rules.showsProgress(card.progress)
            progress: Math.max(0, Math.min(1, card.progress))
        }
        Image {
            objectName: "stateIndicator"
            anchors.centerIn: parent
            width: 38 * uScale
            height: 38 * uScale
            visible: !Rules.showsProgress(card.progress)
            source: Rules.indicatorFor(card.entry ? card.entry.updateAvailable : false)
            OrvToolTip {
                objectName: "latestVersionTip"
                horizontalPosition: OrvToolTip.HPosition.Center
                verticalPosition: OrvToolTip.VPosition.Above
                buttonToolTip: "Latest firmware version:  " + (card.entry ? card.entry.latestFwVersion : "")
            }
        }
    }

    Column {
        width: parent.width
        spacing: 5 * uScale

        Text {
            objectName: "progressText"
            width: parent.width
            visible: Rules.showsProgressText(card.progress)
            text: !card.entry ? ""
                  : String(card.catalogueMissing && card.updateState === Rules.NoUpdateAvailable
                           ? "Version catalogue could not be reached"
                           : card.entry.progressText).toUpperCase()
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
            color: "#222A32"
            font.family: "Raleway"
            font.weight: Font.Light
            font.bold: true
            font.pixelSize: 13.3 * uScale
        }
        Text {
            objectName: "currentFirmware"
            width: parent.width
            text: "CURRENT FIRMWARE:  " + (!card.entry ? ""
                                           : card.catalogueMissing
                                             ? "Unknown (catalogue not reached)"
                                             : card.entry.currentFwVersion)
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
            color: "#222A32"
            font.family: "Raleway"
            font.weight: Font.Bold
            font.pixelSize: 13.3 * uScale
        }
        Repeater {
            objectName: "componentLines"
            model: card.entry ? Rules.componentLines(card.entry.componentVersions, card.nameOfBuild)
                              : []
            delegate: Row {
                required property var modelData
                width: card.width
                spacing: 4 * uScale
                Text {
                    id: label
                    text: modelData.label
                    textFormat: Text.PlainText
                    color: "#B4B4B5"
                    font.family: "Raleway"
                    font.weight: Font.Light
                    font.pixelSize: 11 * uScale
                }
                Text {
                    objectName: "componentValue"
                    width: card.width - label.width - parent.spacing
                    text: modelData.value
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    color: "#B4B4B5"
                    font.family: "Raleway"
                    font.weight: Font.Light
                    font.italic: true
                    font.pixelSize: 11 * uScale
                }
            }
        }
    }

    Text {
        objectName: "errorText"
        width: parent.width
        visible: Rules.errorShown(card.updateState)
        text: "FIRMWARE IN ERROR STATE"
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        color: "#E31F40"
        font.family: "Raleway"
        font.weight: Font.Bold
        font.pixelSize: 13.3 * uScale
    }
    Text {
        objectName: "stopHint"
        width: parent.width
        visible: Rules.stopHintShown(card.updateState, card.selectedDevice)
        text: "STOP APPLICATION IN ORDER TO UPDATE"
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        color: "#3C454D"
        font.family: "Raleway"
        font.weight: Font.Bold
        font.pixelSize: 13.3 * uScale
    }
    SimpleButtonRev3 {
        objectName: "updateButton"
        anchors.horizontalCenter: parent.horizontalCenter
        text: Rules.buttonText(card.entry ? card.entry.updateAvailable : false)
        enabled: Rules.buttonEnabled(card.updateState)
        visible: Rules.buttonShown(card.updateState, card.selectedDevice)
        onClicked: {
            console.log("start update pressed")
            card.entry.startUpdate()
        }
    }
}
