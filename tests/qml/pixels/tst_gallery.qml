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
    height: 2900
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

        Caption { text: "TabBar (Header, Footer); ToolBar with ToolButtons and a Separator"
                  Layout.columnSpan: 5; font.bold: true }
        Rectangle {
            Layout.columnSpan: 2
            Layout.preferredWidth: 520
            Layout.preferredHeight: 200
            color: OrvaneColors.tableRowColor
            TabBar {
                id: headerTabs
                width: parent.width
                currentIndex: 1
                TabButton { text: "devices" }
                TabButton { text: "logs" }
                TabButton { text: "settings" }
            }
            Rectangle {
                anchors.top: headerTabs.bottom
                anchors.bottom: footerTabs.top
                width: parent.width
                color: OrvaneColors.background
                border.color: OrvaneColors.mainBorderColor
            }
            TabBar {
                id: footerTabs
                anchors.bottom: parent.bottom
                width: parent.width
                position: TabBar.Footer
                currentIndex: 0
                TabButton { text: "first" }
                TabButton { text: "second" }
            }
        }
        ToolBar {
            Layout.columnSpan: 3
            Layout.preferredWidth: 640
            ToolButton { text: "Robot discovery" }
            ToolButton { text: "Wi-Fi settings"; iconColor: OrvaneColors.martian }
            Separator { orientation: Qt.Vertical; Layout.preferredHeight: 80 }
            ToolButton { text: "Disabled"; enabled: false }
            ToolButton { text: "Override"; enabled: false; overrideDisabledColor: true }
        }

        Caption { text: "Shelf (open, closed); Table with header, selection and current row"
                  Layout.columnSpan: 5; font.bold: true }
        Row {
            Layout.columnSpan: 2
            spacing: 30
            Shelf {
                width: 360
                height: 420
                ShelfSectionHeading { headingText: "Connection" }
                CheckBox { text: "Auto"; drawBackground: false }
                Button { text: "Connect" }
            }
            Shelf {
                height: 420
                opened: false
                Button { text: "hidden" }
            }
        }
        Table {
            id: galleryTable
            Layout.columnSpan: 3
            Layout.preferredWidth: 700
            Layout.preferredHeight: 300
            header: HeaderContainer {
                HeaderColumn { text: "Serial"; Layout.preferredWidth: 150 }
                HeaderColumn { text: "Service"; Layout.fillWidth: true }
                HeaderColumn { text: "SSH"; Layout.preferredWidth: 60 }
            }
            model: ["PEL-0001", "PEL-0002 <i>markup stays text</i>", "PEL-0003"]
            row: TableRow {
                required property string modelData
                required property int index
                selectable: true
                markCurrent: true
                selected: index === 1
                TableTextEntry { columnWidth: 150; text: modelData }
                TableTextField { columnWidth: 100; Layout.fillWidth: true; readOnly: true
                                 text: "_ssh._tcp.local" }
                TableColumn {
                    columnWidth: 60
                    TableActionButton {
                        anchors.centerIn: parent
                        width: parent.height * 0.9
                        height: width
                        text: "terminal"
                        font.family: "Material Symbols Rounded"
                        font.pixelSize: height * 0.9
                    }
                }
            }
            Component.onCompleted: listView.currentIndex = 2
        }

        Caption { text: "Forms: LabelContainer, GroupBox, FormTextField, FormComboBox, SpinBox"
                  Layout.columnSpan: 5; font.bold: true }
        LabelContainer {
            Layout.columnSpan: 2
            label: "address"
            labelWidth: 200
            FormTextField { text: "10.0.0.7" }
        }
        GroupBox {
            title: "Network"
            FormComboBox { model: ["Wi-Fi", "USB"] }
        }
        SpinBox { value: 42; Layout.alignment: Qt.AlignBottom }
        Item { Layout.fillWidth: true }

        Caption { text: "FormTumbler, FormTimeField, DatePicker (pick is 15th of next month)"
                  Layout.columnSpan: 5; font.bold: true }
        FormTumbler { model: ["alpha", "beta", "gamma", "delta"]; currentIndex: 1 }
        FormTimeField { hourValue: 7; minuteValue: 5 }
        DatePicker {
            Layout.columnSpan: 3
            selectedDate: new Date(new Date().getFullYear(), new Date().getMonth() + 1, 15)
        }

        Caption { text: "ConnectionStatus, DeviceListEntry, HomeButton, ModuleButton, NotchToolBar, FooterLogo"
                  Layout.columnSpan: 5; font.bold: true }
        ConnectionStatus {
            Layout.columnSpan: 2
            device: "PEL-0001 <b>tag</b>"
            status: "Connected"
            leftPadding: 40
            rightPadding: 40
            Layout.preferredWidth: 600
            Layout.preferredHeight: 60
        }
        ListView {
            Layout.columnSpan: 3
            Layout.preferredWidth: 500
            Layout.preferredHeight: 70
            spacing: 5
            model: ["PEL-0001", "PEL-0002"]
            delegate: DeviceListEntry {
                required property string modelData
                serial: modelData
                servicename: "pelto-ssh._ssh._tcp"
            }
        }
        HomeButton { Layout.preferredWidth: 120; Layout.preferredHeight: 50 }
        ModuleButton {
            text: "Robot discovery"
            icon.source: "qrc:/images/UIAssets/3-bars.svg"
            Layout.preferredWidth: 200
            Layout.preferredHeight: 200
        }
        NotchToolBar {
            Layout.columnSpan: 3
            Layout.preferredWidth: 500
            Text { text: "notch tool bar"; font.family: "Raleway"; font.pixelSize: 20 }
        }
        FooterLogo { Layout.columnSpan: 5 }
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
