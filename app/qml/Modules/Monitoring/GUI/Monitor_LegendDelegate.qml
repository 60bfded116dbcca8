import QtQuick
import Qt.labs.settings
import "../../../Qml/OrvaneUI"

// One legend entry: the slot's colour and name, marked red when the signal's value is infinite or
// not a number, and a button that takes the signal off the plot and out of the stored selection.
Item {
    id: entry

    property int plotNumber: 0
    property int slotNumber: 0
    property var itemModel: null
    property var plotContainer: null
    readonly property var plotSlot: itemModel ? itemModel.get(slotNumber) : null
    readonly property string slotName: plotSlot ? plotSlot.name : ""
    readonly property int valueClass: plotSlot && plotSlot.objectPointer
                                      ? plotSlot.objectPointer.valueClass : 0
    readonly property string sigName: "SigName" + plotNumber + "-" + slotNumber
    readonly property string sigPath: "SigPath" + plotNumber + "-" + slotNumber
    readonly property string elementIndex: "ElementIndex" + plotNumber + "-" + slotNumber
    readonly property string labelText: slotName + (valueClass === 1 ? " (Inf)"
                                                    : valueClass === 2 ? " (NaN)" : "")

    width: 170 * uScale
    height: 28 * uScale
    visible: slotName !== ""

    Settings {
        id: settings
        category: "Monitoring_Signal_Selections"
    }

    function remove() {
        if (plotContainer)
            plotContainer.removeSignal(plotSlot.objectPointer, slotNumber)
        plotSlot.name = ""
        settings.setValue(sigName, "")
        settings.setValue(sigPath, "")
        settings.setValue(elementIndex, "")
    }

    Rectangle {
        id: dot
        anchors.left: parent.left
        anchors.verticalCenter: parent.verticalCenter
        width: 10 * uScale
        height: width
        radius: width / 2
        color: entry.plotSlot ? entry.plotSlot.color : "transparent"
    }

    Text {
        objectName: "legendLabel"
        anchors.left: dot.right
        anchors.leftMargin: 6 * uScale
        anchors.right: removeButton.left
        anchors.rightMargin: 4 * uScale
        anchors.verticalCenter: parent.verticalCenter
        elide: Text.ElideMiddle
        text: entry.labelText
        textFormat: Text.PlainText
        font.family: "Poppins"
        font.pixelSize: 11 * uScale
        color: entry.valueClass > 0 ? "#E31F40" : "black"
    }

    RoundButton_rev2 {
        id: removeButton
        objectName: "removeButton"
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        visible: entry.labelText !== ""
        state: "Cross"
        onClicked: entry.remove()
    }
}
