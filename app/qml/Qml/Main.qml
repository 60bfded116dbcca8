import QtQuick
import QtQuick.Controls.Material

ApplicationWindow {
    id: window
    width: 1280
    height: 800
    visible: true
    title: "Nimbrel Lab"
    Material.theme: Material.Light
}
