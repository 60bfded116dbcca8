import QtQuick

Image {
    source: "qrc:/Images/GUI/Separators/VerticalSeparator.png"
    fillMode: Image.Stretch
}
