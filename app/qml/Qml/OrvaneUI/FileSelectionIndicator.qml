import QtQuick

MouseArea {
    id: root

    property bool checkable: true
    property bool checked: false

    Image {
        anchors.fill: parent
        fillMode: Image.PreserveAspectFit
        mipmap: true
        source: root.checked ? "qrc:/Images/GUI/BinList/Delegates/CheckBoxChecked.png"
                             : "qrc:/Images/GUI/BinList/Delegates/CheckboxUnchecked.png"
    }
}
