import QtQuick
import QtQuick.Layouts
import QtTest
import QtQuick.Controls.Material
import orvane.Branding
import orvane.Controls

// Every control of orvane.Controls in its states, rendered to screens/gallery.png.
Rectangle {
    id: gallery
    width: 1400
    height: 900
    color: OrvaneColors.background

    component Caption: Text {
        font.family: "Raleway"
        font.pixelSize: 14
        color: OrvaneColors.secondaryTextColor
    }

    GridLayout {
        id: grid
        anchors.fill: parent
        anchors.margins: 30
        columns: 5
        rowSpacing: 24
        columnSpacing: 30

        Caption { text: "Button"; Layout.columnSpan: 5; font.bold: true }
        Button { text: "Connect"; Layout.preferredHeight: 60 }
        Button { text: "Disconnect"; Layout.preferredHeight: 60; color: OrvaneColors.dangerButtonColor }
        Button { text: "Disabled"; Layout.preferredHeight: 60; enabled: false }
        Button { text: "Tall"; Layout.preferredHeight: 90 }
        Item { Layout.fillWidth: true }

        Caption { text: "CheckBox"; Layout.columnSpan: 5; font.bold: true }
        CheckBox {}
        CheckBox { checked: true }
        CheckBox { text: "Auto connect"; checked: true; width: 320; Layout.preferredWidth: 320 }
        CheckBox { text: "Bare"; drawBackground: false }
        CheckBox { text: "Disabled"; enabled: false; drawBackground: false; checked: true }

        Caption { text: "CheckIndicator"; Layout.columnSpan: 5; font.bold: true }
        Row {
            spacing: 12
            Repeater {
                model: [Qt.Unchecked, Qt.PartiallyChecked, Qt.Checked]
                Rectangle {
                    required property int modelData
                    width: 26; height: 26; radius: 13; color: "white"
                    border.color: OrvaneColors.borderColor
                    CheckIndicator { anchors.centerIn: parent; checkState: parent.modelData }
                }
            }
        }
        Item { Layout.columnSpan: 4; Layout.fillWidth: true }

        Caption { text: "TextField: empty, with text, disabled; HeaderContainer"
                  Layout.columnSpan: 5; font.bold: true }
        TextField { placeholderText: "Device Address"; Layout.preferredWidth: 220 }
        TextField { placeholderText: "Username"; text: "pelto"; Layout.preferredWidth: 220 }
        TextField { placeholderText: "Disabled"; enabled: false; Layout.preferredWidth: 220 }
        HeaderContainer {
            Layout.columnSpan: 2
            Layout.preferredWidth: 420
            HeaderColumn { text: "Name"; Layout.preferredWidth: 100 }
            HeaderColumn { text: "Serial"; Layout.fillWidth: true }
            HeaderColumn { text: "Service"; Layout.preferredWidth: 100 }
        }

        Caption { text: "QImage element: Stretch, PreserveAspectFit, PreserveAspectCrop, Pad"
                  Layout.columnSpan: 5; font.bold: true }
        Repeater {
            model: [QImage.Stretch, QImage.PreserveAspectFit, QImage.PreserveAspectCrop,
                    QImage.Pad]
            Rectangle {
                required property int modelData
                Layout.preferredWidth: 160
                Layout.preferredHeight: 100
                color: OrvaneColors.tableRowColor
                clip: true
                QImage {
                    objectName: "galleryImage"
                    anchors.fill: parent
                    fillMode: parent.modelData
                }
            }
        }
        Item { Layout.fillWidth: true }
    }

    Dialog {
        id: dialog
        title: "Connect to Device"
        width: 640
        x: (gallery.width - width) / 2
        y: 120
        standardButtons: Dialog.Ok | Dialog.Cancel
        contentItem: TextField { placeholderText: "Device Address" }
    }

    TestCase {
        name: "Gallery"
        when: windowShown

        function test_renderGallery() {
            for (const child of findAll(grid, "galleryImage"))
                testImages.assign(child, 120, 60, OrvaneColors.martian, OrvaneColors.accentBorderColor)
            // Let the switches finish sliding into their initial states.
            wait(300)
            waitForRendering(gallery)
            let saved = false
            gallery.grabToImage(result => { saved = result.saveToFile(screensFolder + "/gallery.png") })
            tryVerify(() => saved, 5000)
        }

        function test_renderDialog() {
            dialog.open()
            tryCompare(dialog, "opened", true)
            dialog.standardButton(Dialog.Ok).text = "Connect"
            waitForRendering(gallery)
            let saved = false
            gallery.Window.window.contentItem.grabToImage(result => {
                saved = result.saveToFile(screensFolder + "/dialog.png")
            })
            tryVerify(() => saved, 5000)
            dialog.close()
        }

        function findAll(item, name) {
            let found = []
            for (let i = 0; i < item.children.length; ++i) {
                const child = item.children[i]
                if (child.objectName === name)
                    found.push(child)
                found = found.concat(findAll(child, name))
            }
            return found
        }
    }
}
