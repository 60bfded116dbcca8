import QtQuick
import QtTest
import QtQuick.Controls.Material
import orvane.Controls

// Pixels of what only a real scene graph draws: the shader face and the QImage element.
Item {
    id: root
    width: 640
    height: 480

    Button {
        id: pill
        x: 10
        y: 10
        width: 200
        height: 100
        text: ""
    }

    Rectangle {
        id: redSource
        x: 300
        y: 10
        width: 40
        height: 30
        color: "#ff0000"
    }

    QImage {
        id: picture
        x: 300
        y: 100
        width: 120
        height: 90
        fillMode: QImage.Stretch
    }

    TestCase {
        name: "Pixels"
        when: windowShown

        function near(color, r, g, b, a, tolerance) {
            return Math.abs(color.r * 255 - r) <= tolerance && Math.abs(color.g * 255 - g) <= tolerance
                    && Math.abs(color.b * 255 - b) <= tolerance
                    && Math.abs(color.a * 255 - a) <= tolerance
        }

        function describe(c) {
            return "rgba(" + Math.round(c.r * 255) + "," + Math.round(c.g * 255) + ","
                    + Math.round(c.b * 255) + "," + Math.round(c.a * 255) + ")"
        }

        function test_buttonGradient() {
            waitForRendering(pill)
            const image = grabImage(pill)
            const centre = image.pixel(100, 50)
            // Halfway between #000000 and #b4b4b4.
            verify(near(centre, 0x5a, 0x5a, 0x5a, 255, 4), describe(centre))
            // The dark end lies top right, the light end bottom left (inside the pill).
            const darkEnd = image.pixel(150, 5)
            const lightEnd = image.pixel(50, 95)
            verify(darkEnd.r < centre.r && lightEnd.r > centre.r,
                   describe(darkEnd) + " " + describe(lightEnd))
        }

        function test_imageShownThenClearedAtOnce() {
            picture.fillMode = QImage.Stretch
            testImages.assign(picture, 40, 30, "#ff0000", "#0000ff")
            compare(picture.implicitWidth, 40)
            compare(picture.implicitHeight, 30)
            waitForRendering(root)
            let shot = grabImage(root)
            // Stretched to 120 x 90: red on the left, blue on the right.
            verify(near(shot.pixel(330, 145), 255, 0, 0, 255, 3), describe(shot.pixel(330, 145)))
            verify(near(shot.pixel(390, 145), 0, 0, 255, 255, 3), describe(shot.pixel(390, 145)))

            testImages.clear(picture)
            compare(picture.implicitWidth, 0)
            waitForRendering(root)
            shot = grabImage(root)
            // The window's clear colour (white) shows again where the picture was.
            verify(near(shot.pixel(330, 145), 255, 255, 255, 255, 3),
                   describe(shot.pixel(330, 145)))
        }

        function test_fillModes_data() {
            return [
                { tag: "fit", mode: QImage.PreserveAspectFit, x: 330, y: 102, red: false },
                { tag: "fit centre", mode: QImage.PreserveAspectFit, x: 330, y: 145, red: true },
                { tag: "crop", mode: QImage.PreserveAspectCrop, x: 302, y: 102, red: true },
                { tag: "pad", mode: QImage.Pad, x: 302, y: 102, red: true },
                { tag: "pad outside", mode: QImage.Pad, x: 360, y: 145, red: false }
            ]
        }

        // A 40 x 20 picture in the 120 x 90 item.
        function test_fillModes(data) {
            testImages.assign(picture, 40, 20, "#ff0000", "#ff0000")
            picture.fillMode = data.mode
            waitForRendering(root)
            const shot = grabImage(root)
            const pixel = shot.pixel(data.x, data.y)
            if (data.red)
                verify(near(pixel, 255, 0, 0, 255, 3), describe(pixel))
            else
                verify(near(pixel, 255, 255, 255, 255, 3), describe(pixel))
            testImages.clear(picture)
        }
    }
}
