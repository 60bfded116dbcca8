import QtQuick

// A Tarnel module's place beside its Pelto: the picture only, no status or actions.
Column {
    id: card

    property url icon: "qrc:/Images/GUI/Hardware Updates/ProductImages/CANDot.png"
    property url productImage: "qrc:/Images/GUI/Hardware Updates/ProductImages/Tarnel.png"

    width: 200 * uScale
    height: 750 * uScale
    spacing: 20 * uScale

    Text {
        width: parent.width
        text: "Tarnel"
        color: "transparent"
        horizontalAlignment: Text.AlignHCenter
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
}
