import QtQuick
import QtTest
import QtQuick.Controls.Material
import orvane.Branding
import orvane.Controls

Item {
    id: root
    width: 1200
    height: 900

    Component {
        id: dialogComponent
        Dialog {
            title: "Connect to Device"
            width: 600
            standardButtons: Dialog.Ok | Dialog.Cancel
            Text { text: "content" }
        }
    }

    Component {
        id: bareDialogComponent
        Dialog { title: "Bare"; width: 400 }
    }

    Component {
        id: errorComponent
        ErrorDialog {}
    }

    TestCase {
        name: "Dialog"
        when: windowShown

        function near(actual, expected) {
            const e = Qt.color(expected)
            return Math.abs(actual.r - e.r) * 255 <= 1 && Math.abs(actual.g - e.g) * 255 <= 1
                    && Math.abs(actual.b - e.b) * 255 <= 1
        }

        function openDialog(component) {
            const dialog = createTemporaryObject(component, root)
            dialog.open()
            tryCompare(dialog, "opened", true)
            return dialog
        }

        function test_titleBandAndPanel() {
            const dialog = openDialog(dialogComponent)
            const title = dialog.header
            compare(title.font.capitalization, Font.AllUppercase)
            compare(title.font.letterSpacing, 3)
            compare(title.font.family, "Poppins SemiBold")
            // Three text lines high, and twice as wide as its text by itself.
            compare(title.topPadding, title.contentHeight)
            compare(title.implicitHeight, 3 * title.contentHeight)
            compare(dialog.leftPadding, 60)
            compare(dialog.topPadding, dialog.implicitHeaderHeight + dialog.topInset)
            const underline = findChild(title, "titleUnderline")
            compare(underline.height, 1)
            compare(underline.width, Math.min((dialog.width + title.contentWidth) / 2, dialog.width))
            verify(near(underline.color, "#1d252e"))
            const panel = findChild(dialog.background, "dialogPanel")
            compare(panel.radius, 13)
            const border = findChild(dialog.background, "dialogBackgroundBorder")
            verify(near(border.gradient.stops[0].color, "#ffe1b1"))
            verify(near(border.gradient.stops[1].color, "#FBAF37"))
            // The panel starts 2 below the header and leaves 2 of orange at the sides.
            const origin = panel.mapToItem(dialog.background, 0, 0)
            compare(origin.x, 2)
            compare(origin.y, dialog.implicitHeaderHeight + 2)
        }

        function test_footerButtonsByRole() {
            const dialog = openDialog(dialogComponent)
            const ok = dialog.standardButton(Dialog.Ok)
            const cancel = dialog.standardButton(Dialog.Cancel)
            verify(ok && cancel)
            fuzzyCompare(ok.width, cancel.width, 1)
            verify(near(findChild(cancel, "dialogButtonLabel").color, "#EE1E47"))
            verify(near(findChild(ok, "dialogButtonLabel").color, "#1d252e"))
            // The first button of the model sits at the right end, 5 from the next.
            const first = dialog.footer.contentModel.get(0)
            const second = dialog.footer.contentModel.get(1)
            verify(first.x > second.x)
            fuzzyCompare(first.x - (second.x + second.width), 5, 1)
            ok.text = "Connect"
            compare(findChild(ok, "dialogButtonLabel").text, "Connect")
        }

        function test_closeButtonRejects() {
            const dialog = openDialog(dialogComponent)
            let rejected = 0
            dialog.rejected.connect(() => ++rejected)
            const close = findChild(dialog.header, "closeButton")
            compare(close.width, 22.5)
            compare(close.Accessible.name, "Close")
            mouseClick(close)
            compare(rejected, 1)
            tryCompare(dialog, "visible", false)
        }

        function test_noButtonsNoFooter() {
            const dialog = openDialog(bareDialogComponent)
            compare(dialog.footer.count, 0)
            compare(dialog.footer.visible, false)
        }

        function test_disabledButtonKeepsItsFace() {
            const dialog = openDialog(dialogComponent)
            const ok = dialog.standardButton(Dialog.Ok)
            ok.enabled = false
            compare(ok.opacity, 0.5)
            mouseMove(ok, ok.width / 2, ok.height / 2)
            verify(near(ok.background.color, "#f3f3f3"))
            ok.enabled = true
            tryCompare(ok, "hovered", true)
            verify(near(ok.background.color, "#d3d3d3"))
            mouseMove(root, 1, 1)
        }
    }

    TestCase {
        name: "ErrorDialog"
        when: windowShown

        function test_repeatsAppendOthersReplace() {
            const dialog = createTemporaryObject(errorComponent, root)
            dialog.showError("A", "x")
            tryCompare(dialog, "opened", true)
            dialog.showError("A", "y")
            compare(dialog.detail, "x\n===\ny")
            dialog.showError("B", { toString: () => "z" })
            compare(dialog.message, "B")
            compare(dialog.detail, "z")
            compare(dialog.width, 550)
            compare(dialog.availableWidth, 430)
        }

        // Without a detail (or with null) the dialog opens all the same.
        function test_missingDetailStillOpens_data() {
            return [{ tag: "no argument", detail: undefined, omit: true },
                    { tag: "null", detail: null, omit: false }]
        }

        function test_missingDetailStillOpens(data) {
            const dialog = createTemporaryObject(errorComponent, root)
            if (data.omit)
                dialog.showError("Link lost")
            else
                dialog.showError("Link lost", data.detail)
            tryCompare(dialog, "opened", true)
            compare(dialog.message, "Link lost")
            compare(dialog.detail, "")
        }
    }
}
