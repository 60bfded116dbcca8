import QtQuick
import Qt.labs.settings

// One drop slot of a plot panel. A dropped signal element is stored under the slot's keys of the
// signal-selection memory, so the next start restores it, and handed to the plot container.
DropArea {
    id: slot

    property int plotNumber: 0
    property int slotNumber: 0
    property string color: "#3DB199"
    property var plotContainer: null
    property var externalMonitor: null
    readonly property string sigName: "SigName" + plotNumber + "-" + slotNumber
    readonly property string sigPath: "SigPath" + plotNumber + "-" + slotNumber
    readonly property string elementIndex: "ElementIndex" + plotNumber + "-" + slotNumber
    property string name: String(settings.value(sigName, ""))
    property var objectPointer: null
    property bool active: false

    Settings {
        id: settings
        category: "Monitoring_Signal_Selections"
    }

    function writeKeys(nameText, pathText, index) {
        settings.setValue(sigName, nameText)
        settings.setValue(sigPath, pathText)
        settings.setValue(elementIndex, index)
    }

    onDropped: function (drop) {
        const source = drop.source
        if (!source || !source.objectPointer)
            return
        objectPointer = source.objectPointer
        writeKeys(source.name, source.objectPointer.path, source.elementIndex)
        name = String(settings.value(sigName, ""))
        if (plotContainer && externalMonitor)
            plotContainer.addSignal(externalMonitor.signalFromPath(settings.value(sigPath)),
                                    source.elementIndex, slotNumber)
        active = true
        drop.accept()
    }

    Rectangle {
        objectName: "slotFill"
        anchors.fill: parent
        radius: 8 * uScale
        border.color: slot.color
        border.width: 1.5 * uScale
        color: slot.containsDrag ? Qt.rgba(fillColor.r, fillColor.g, fillColor.b, 0.6) : "#80FFFFFF"
        readonly property color fillColor: slot.color
        Behavior on color { ColorAnimation { duration: 300 } }
    }
}
