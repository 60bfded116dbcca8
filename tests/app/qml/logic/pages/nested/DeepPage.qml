import QtQuick
import "../../pages" as Pages

// A page that reaches a folder two levels up, as the staging pages reach "Qml/OrvaneUI".
Item {
    readonly property string fromOtherFolder: probe.objectName
    Pages.OtherPage { id: probe; objectName: "other folder" }
}
