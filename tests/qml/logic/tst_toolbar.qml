import QtQuick
import QtTest
import orvane.Branding
import orvane.Controls

Item {
    id: root
    width: 900
    height: 600

    function near(actual, expected) {
        const e = Qt.color(expected)
        return Math.abs(actual.r - e.r) * 255 <= 1 && Math.abs(actual.g - e.g) * 255 <= 1
                && Math.abs(actual.b - e.b) * 255 <= 1
    }

    Component { id: barComponent; ToolBar {} }
    Component { id: buttonComponent; ToolButton {} }
    Component { id: separatorComponent; Separator {} }
    FontMetrics { id: oracle; font.family: "Raleway"; font.pixelSize: 14; font.bold: true }

    TestCase {
        name: "ToolBar"
        when: windowShown

        function test_emptyBar() {
            const bar = createTemporaryObject(barComponent, root)
            compare(bar.implicitWidth, 36)
            compare(bar.implicitHeight, 120)
            compare(bar.spacing, 18)
            verify(root.near(bar.background.color, "#e6e6e6"))
            compare(findChild(bar.background, "toolBarBorder").height, 2)
        }

        function test_barFollowsItsRow() {
            const bar = createTemporaryObject(barComponent, root)
            const a = createTemporaryObject(buttonComponent, null, { text: "Alpha" })
            const b = createTemporaryObject(buttonComponent, null, { text: "Beta" })
            a.parent = findChild(bar, "toolContainer")
            b.parent = findChild(bar, "toolContainer")
            tryCompare(bar, "implicitWidth", a.implicitWidth + b.implicitWidth + 18 + 36)
        }
    }

    TestCase {
        name: "ToolButton"
        when: windowShown

        function metricsOf(button) {
            return findChild(button, "fontMetrics")
        }

        // Expected splits measured with a FontMetrics of the same font, independently of the
        // button's own scan.
        function test_labelSplit_data() {
            return [
                { tag: "empty", text: "", expected: () => 0 },
                { tag: "one word", text: "Settings",
                  expected: () => Math.trunc(oracle.advanceWidth("Settings")) },
                { tag: "two words", text: "Robot discovery",
                  expected: () => Math.trunc(Math.max(oracle.advanceWidth("Robot"),
                                                      oracle.advanceWidth("discovery"))) },
                { tag: "hyphen", text: "Wi-Fi settings",
                  expected: () => {
                      const afterWi = Math.max(oracle.advanceWidth("Wi-"),
                                               oracle.advanceWidth("Fi settings"))
                      const afterFi = Math.max(oracle.advanceWidth("Wi- Fi"),
                                               oracle.advanceWidth("settings"))
                      const whole = oracle.advanceWidth("Wi-Fi settings")
                      let best = whole
                      if (afterWi < best) {
                          best = afterWi
                          if (afterFi < best)
                              best = afterFi
                      }
                      return Math.trunc(best)
                  } }
            ]
        }

        function test_labelSplit(data) {
            const button = createTemporaryObject(buttonComponent, root, { text: data.text })
            compare(metricsOf(button).expectedWidth, data.expected())
        }

        function test_emptyButtonSize() {
            const button = createTemporaryObject(buttonComponent, root)
            compare(metricsOf(button).expectedHeight, 0)
            compare(button.implicitWidth, 60)
            compare(button.implicitHeight, 120)
        }

        function test_discAndHover() {
            const button = createTemporaryObject(buttonComponent, root, { text: "Robot discovery" })
            const disc = findChild(button, "iconBackground")
            const label = findChild(button, "label")
            verify(root.near(disc.color, "#3db199"))
            compare(label.lineCount, 2)
            mouseMove(button, button.width / 2, button.height / 2)
            tryCompare(button.background, "opacity", 1)
            verify(root.near(label.color, "#ffffff"))
            button.enabled = false
            compare(button.background.opacity, 0)
            verify(root.near(disc.color, "#cccccc"))
            button.overrideDisabledColor = true
            verify(root.near(disc.color, "#3db199"))
            mouseMove(root, root.width - 1, root.height - 1)
        }
    }

    TestCase {
        name: "Separator"
        when: windowShown

        function test_orientation_data() {
            return [
                { tag: "horizontal", orientation: Qt.Horizontal, w: 100, h: 1, hz: true, vt: false },
                { tag: "vertical", orientation: Qt.Vertical, w: 1, h: 100, hz: false, vt: true },
                { tag: "other", orientation: 7, w: 1, h: 1, hz: false, vt: false }
            ]
        }

        function test_orientation(data) {
            const separator = createTemporaryObject(separatorComponent, root,
                                                    { orientation: data.orientation })
            compare(separator.implicitWidth, data.w)
            compare(separator.implicitHeight, data.h)
            compare(separator.horizontal, data.hz)
            compare(separator.vertical, data.vt)
            compare(separator.gradient.stops[1].position, 0.2)
            compare(separator.gradient.stops[0].color.a, 0)
        }
    }
}
