#!/usr/bin/python3
"""Draws the application's pictures (Images/GUI/..., AppIcon.ico) with Pillow.

Run from anywhere: `/usr/bin/python3 app/qml/Images/generate_images.py`. The output is committed;
rerunning gives the same files.
"""
import math
import os

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
FONTS = os.path.join(ROOT, "qml", "Branding", "fonts")
SS = 4  # supersampling factor for smooth edges

TEAL = (61, 177, 153, 255)
INDIGO = (75, 70, 157, 255)
RED = (227, 31, 64, 255)
DARK = (34, 42, 50, 255)
GREY = (180, 180, 181, 255)
WHITE = (255, 255, 255, 255)


def font(name, size):
    family = name.split("_")[0]
    return ImageFont.truetype(os.path.join(FONTS, family, name + ".ttf"), size * SS)


def canvas(w, h, bg=(0, 0, 0, 0)):
    img = Image.new("RGBA", (w * SS, h * SS), bg)
    return img, ImageDraw.Draw(img)


def save(img, path, w, h):
    out = os.path.join(HERE, path)
    os.makedirs(os.path.dirname(out), exist_ok=True)
    img.resize((w, h), Image.LANCZOS).save(out, optimize=True)


def s(v):
    return v * SS


def box(cx, cy, r):
    return [s(cx - r), s(cy - r), s(cx + r), s(cy + r)]


def cross(d, cx, cy, r, colour, width):
    d.line([s(cx - r), s(cy - r), s(cx + r), s(cy + r)], fill=colour, width=s(width))
    d.line([s(cx - r), s(cy + r), s(cx + r), s(cy - r)], fill=colour, width=s(width))


def round_buttons():
    n = 64
    c = n / 2
    # 0 dark cross, 1 info, 2 cross, 3 red, 4 stop
    img, d = canvas(n, n)
    d.ellipse(box(c, c, 30), fill=DARK)
    cross(d, c, c, 10, WHITE, 5)
    save(img, "GUI/Buttons/RoundButton/RoundButton_state_0.png", n, n)
    img, d = canvas(n, n)
    d.ellipse(box(c, c, 30), fill=TEAL)
    d.ellipse(box(c, 19, 4), fill=WHITE)
    d.rounded_rectangle([s(c - 3.5), s(27), s(c + 3.5), s(48)], radius=s(3), fill=WHITE)
    save(img, "GUI/Buttons/RoundButton/RoundButton_state_1.png", n, n)
    img, d = canvas(n, n)
    d.ellipse(box(c, c, 30), fill=(243, 243, 243, 255), outline=GREY, width=s(2))
    cross(d, c, c, 10, DARK, 5)
    save(img, "GUI/Buttons/RoundButton/RoundButton_state_2.png", n, n)
    img, d = canvas(n, n)
    d.ellipse(box(c, c, 30), fill=RED)
    cross(d, c, c, 10, WHITE, 5)
    save(img, "GUI/Buttons/RoundButton/RoundButton_state_3.png", n, n)
    img, d = canvas(n, n)
    d.ellipse(box(c, c, 30), fill=DARK)
    d.rounded_rectangle([s(c - 10), s(c - 10), s(c + 10), s(c + 10)], radius=s(3), fill=WHITE)
    save(img, "GUI/Buttons/RoundButton/RoundButton_state_4.png", n, n)
    img, d = canvas(n, n)
    d.ellipse(box(c, c, 30), fill=TEAL)
    d.line([s(c), s(16), s(c), s(42)], fill=WHITE, width=s(5))
    d.line([s(c - 11), s(32), s(c), s(44), s(c + 11), s(32)], fill=WHITE, width=s(5), joint="curve")
    save(img, "GUI/BinList/Delegates/DownloadButton.png", n, n)


def checkboxes():
    n = 48
    img, d = canvas(n, n)
    d.rounded_rectangle([s(4), s(4), s(44), s(44)], radius=s(8), fill=TEAL)
    d.line([s(13), s(25), s(21), s(33), s(36), s(16)], fill=WHITE, width=s(5), joint="curve")
    save(img, "GUI/BinList/Delegates/CheckBoxChecked.png", n, n)
    img, d = canvas(n, n)
    d.rounded_rectangle([s(4), s(4), s(44), s(44)], radius=s(8), fill=WHITE, outline=GREY,
                        width=s(3))
    save(img, "GUI/BinList/Delegates/CheckboxUnchecked.png", n, n)


def wifi():
    w, h = 64, 52
    for state in range(5):
        img, d = canvas(w, h)
        cx, cy = 32, 46
        d.ellipse(box(cx, cy, 5), fill=DARK if state > 0 else GREY)
        for i, r in enumerate((16, 28, 40)):
            colour = DARK if state > i + 1 else (200, 201, 203, 255)
            d.arc([s(cx - r), s(cy - r), s(cx + r), s(cy + r)], 225, 315, fill=colour, width=s(6))
        save(img, "GUI/Indicators/Wifi Indicator/Wifi_Indicator_state_%d.png" % state, w, h)


def small_pictures():
    img, d = canvas(24, 24)
    d.polygon([(s(12), s(4)), (s(21), s(19)), (s(3), s(19))], fill=DARK)
    save(img, "GUI/FileViewer/HeaderLabels/LabelSortIcon.png", 24, 24)

    img, d = canvas(4, 120)
    for y in range(120 * SS):
        a = int(255 * math.sin(math.pi * y / (120 * SS)))
        d.line([0, y, s(4), y], fill=(180, 180, 181, a))
    save(img, "GUI/Separators/VerticalSeparator.png", 4, 120)

    img, d = canvas(400, 2)
    for x in range(400 * SS):
        a = int(255 * math.sin(math.pi * x / (400 * SS)))
        d.line([x, 0, x, s(2)], fill=(204, 203, 202, a))
    save(img, "GUI/Spacers/horizontalSpacer.png", 400, 2)

    n = 96
    img, d = canvas(n, n)
    d.ellipse(box(48, 48, 44), fill=TEAL)
    d.polygon([(s(38), s(28)), (s(70), s(48)), (s(38), s(68))], fill=WHITE)
    save(img, "GUI/MainMenu/Play.png", n, n)
    img, d = canvas(n, n)
    d.ellipse(box(48, 48, 44), fill=INDIGO)
    d.rounded_rectangle([s(34), s(28), s(44), s(68)], radius=s(2), fill=WHITE)
    d.rounded_rectangle([s(52), s(28), s(62), s(68)], radius=s(2), fill=WHITE)
    save(img, "GUI/MainMenu/Pause.png", n, n)

    img, d = canvas(40, 40)
    for i, x in enumerate((6, 16, 26)):
        d.line([s(x + 8), s(6), s(x), s(20), s(x + 8), s(34)], fill=WHITE, width=s(3),
               joint="curve")
    save(img, "GUI/MainMenu/BackLines.png", 40, 40)

    img, d = canvas(64, 32)
    d.rounded_rectangle([s(2), s(8), s(44), s(24)], radius=s(3), fill=DARK)
    d.rectangle([s(44), s(11), s(62), s(21)], fill=(120, 120, 120, 255))
    d.rectangle([s(49), s(14), s(52), s(17)], fill=WHITE)
    d.rectangle([s(55), s(14), s(58), s(17)], fill=WHITE)
    save(img, "GUI/MainMenu/Usb.png", 64, 32)

    for name, colour in (("red", (227, 31, 64)), ("orange", (245, 155, 35)),
                         ("green", (61, 177, 113))):
        img, d = canvas(32, 32)
        for r in range(15, 9, -1):
            d.ellipse(box(16, 16, r), fill=colour + (int(60 * (16 - r) / 6),))
        d.ellipse(box(16, 16, 9), fill=colour + (255,))
        d.ellipse(box(13, 13, 3), fill=(255, 255, 255, 140))
        save(img, "GUI/HomeScreen/Connection_indicator_%s.png" % name, 32, 32)


def bars(w, h, colour, step, width):
    img, d = canvas(w, h)
    for x in range(-h, w + h, step):
        d.line([s(x), s(h), s(x + h), 0], fill=colour, width=s(width))
    return img


def tiles_and_overlays():
    save(bars(120, 40, (24, 19, 68, 110), 14, 4), "GUI/Buttons/Button/ButtonBars.png", 120, 40)
    save(bars(300, 300, (180, 180, 181, 150), 26, 8), "GUI/ModuleIcons/Overlay_rev2.png", 300, 300)

    img, d = canvas(64, 64)
    d.ellipse(box(32, 32, 30), fill=RED)
    d.ellipse(box(32, 32, 30), outline=WHITE, width=s(3))
    save(img, "GUI/ModuleIcons/UpdatesCounter.png", 64, 64)

    for name, lines in (("infoLockable", ["This tool is locked while", "the device is in",
                                          "mass-storage mode.", "Leave mass-storage mode",
                                          "to use it."]),
                        ("LockoutInfo", ["This option will be", "available with a",
                                         "later update."])):
        img, d = canvas(300, 300)
        d.rounded_rectangle([s(6), s(6), s(294), s(294)], radius=s(17), fill=(255, 255, 255, 235))
        d.ellipse(box(150, 70, 26), fill=TEAL)
        d.text((s(150), s(70)), "i", font=font("Poppins_700Bold", 34), fill=WHITE, anchor="mm")
        f = font("Raleway_500Medium", 19)
        y = 130
        for line in lines:
            d.text((s(150), s(y)), line, font=f, fill=DARK, anchor="mm")
            y += 27
        save(img, "GUI/ModuleIcons/%s.png" % name, 300, 300)

    def icon(name, draw):
        img, d = canvas(300, 300)
        draw(d)
        save(img, "GUI/ModuleIcons/%s.png" % name, 300, 300)

    W = 9

    def settings(d):
        cx, cy = 150, 118
        for i in range(8):
            a = i * math.pi / 4
            d.line([s(cx + 36 * math.cos(a)), s(cy + 36 * math.sin(a)), s(cx + 52 * math.cos(a)),
                    s(cy + 52 * math.sin(a))], fill=DARK, width=s(14))
        d.ellipse(box(cx, cy, 38), outline=DARK, width=s(W))
        d.ellipse(box(cx, cy, 14), outline=TEAL, width=s(W))

    def updates(d):
        cx, cy = 150, 118
        d.arc(box(cx, cy, 46), 200, 500, fill=DARK, width=s(W))
        d.polygon([(s(cx - 58), s(cy - 24)), (s(cx - 30), s(cy - 24)), (s(cx - 50), s(cy + 2))],
                  fill=DARK)
        d.line([s(cx), s(cy + 22), s(cx), s(cy - 20)], fill=TEAL, width=s(W))
        d.line([s(cx - 16), s(cy - 4), s(cx), s(cy - 22), s(cx + 16), s(cy - 4)], fill=TEAL,
               width=s(W), joint="curve")

    def hardware(d):
        d.rounded_rectangle([s(104), s(78), s(196), s(162)], radius=s(10), outline=DARK, width=s(W))
        d.rectangle([s(128), s(102), s(172), s(138)], fill=TEAL)
        for i in range(4):
            x = 116 + i * 22
            d.line([s(x), s(62), s(x), s(78)], fill=DARK, width=s(6))
            d.line([s(x), s(162), s(x), s(178)], fill=DARK, width=s(6))

    def binlist(d):
        d.polygon([(s(112), s(66)), (s(168), s(66)), (s(192), s(90)), (s(192), s(172)),
                   (s(112), s(172))], outline=DARK, width=s(W))
        d.text((s(152), s(124)), "01", font=font("Poppins_600SemiBold", 30), fill=TEAL, anchor="mm")

    def grabber(d):
        d.rounded_rectangle([s(100), s(70), s(200), s(170)], radius=s(12), outline=DARK, width=s(W))
        for i, hgt in enumerate((28, 52, 38, 64)):
            x = 118 + i * 20
            d.line([s(x), s(156), s(x), s(156 - hgt)], fill=TEAL, width=s(11))

    def workspace(d):
        d.rounded_rectangle([s(96), s(70), s(204), s(164)], radius=s(10), outline=DARK, width=s(W))
        pts = [(108, 140), (130, 112), (150, 128), (172, 92), (192, 104)]
        d.line([(s(x), s(y)) for x, y in pts], fill=TEAL, width=s(W), joint="curve")

    def sandbox(d):
        d.line([s(120), s(90), s(96), s(118), s(120), s(146)], fill=DARK, width=s(W), joint="curve")
        d.line([s(180), s(90), s(204), s(118), s(180), s(146)], fill=DARK, width=s(W), joint="curve")
        d.line([s(162), s(80), s(138), s(156)], fill=TEAL, width=s(W))

    for name, draw in (("GlobalSettings", settings), ("DeviceUpdates", updates),
                       ("HardwareSetup", hardware), ("BinList", binlist),
                       ("DataGrabber", grabber), ("Workspace", workspace),
                       ("DevelopSandbox", sandbox)):
        icon(name, draw)


def ssh_picture():
    # The robot discovery tile: a terminal window whose prompt reaches out to a found robot.
    img, d = canvas(300, 300)
    W = 9
    d.rounded_rectangle([s(92), s(76), s(196), s(164)], radius=s(10), outline=DARK, width=s(W))
    d.rounded_rectangle([s(92), s(76), s(196), s(98)], radius=s(10), fill=DARK)
    d.rectangle([s(92), s(88), s(196), s(98)], fill=DARK)
    for i, colour in enumerate((RED, TEAL, WHITE)):
        d.ellipse(box(106 + i * 12, 87, 3.5), fill=colour)
    d.line([s(108), s(114), s(128), s(130), s(108), s(146)], fill=TEAL, width=s(W),
           joint="curve")
    d.line([s(138), s(148), s(166), s(148)], fill=DARK, width=s(W))
    for r in (14, 26):
        d.arc(box(196, 76, r), 270, 360, fill=INDIGO, width=s(6))
    d.ellipse(box(196, 76, 6), fill=INDIGO)
    save(img, "ImageAssets/ssh.png", 300, 300)


def home_pictures():
    w, h = 418, 70
    img, d = canvas(w, h)
    d.ellipse(box(35, 35, 28), outline=TEAL, width=s(5))
    d.ellipse(box(35, 35, 16), outline=TEAL, width=s(5))
    d.ellipse(box(35, 35, 5), fill=TEAL)
    d.line([s(72), s(35), s(110), s(35)], fill=GREY, width=s(2))
    d.text((s(120), s(35)), "No updates available", font=font("Poppins_300Light", 26),
           fill=DARK, anchor="lm")
    save(img, "GUI/HomeScreen/updatesIndicator.png", w, h)

    w, h = 580, 120
    img, d = canvas(w, h)
    d.rectangle([0, s(12), s(290), s(108)], fill=(221, 8, 48, 255))
    d.text((s(150), s(60)), "ORVANE", font=font("Raleway_800ExtraBold", 52), fill=WHITE,
           anchor="mm")
    save(img, "GUI/HomeScreen/HomeBanner.png", w, h)


def notification_pictures():
    def bell(d, colour):
        d.pieslice([s(18), s(14), s(54), s(54)], 180, 360, fill=colour)
        d.rectangle([s(18), s(33), s(54), s(52)], fill=colour)
        d.polygon([(s(12), s(56)), (s(60), s(56)), (s(54), s(48)), (s(18), s(48))], fill=colour)
        d.ellipse(box(36, 60, 6), fill=colour)
        d.ellipse(box(36, 12, 4), fill=colour)

    img, d = canvas(72, 72)
    bell(d, (120, 124, 130, 255))
    save(img, "GUI/Notifications/Notification_zero.png", 72, 72)
    img, d = canvas(72, 72)
    bell(d, DARK)
    # the counter sits at the top right, in a red disc
    d.ellipse([s(44), s(1), s(70), s(27)], fill=RED)
    save(img, "GUI/Notifications/Notification_nonzero.png", 72, 72)

    w, h = 540, 870
    img, d = canvas(w, h)
    d.rounded_rectangle([s(3), s(3), s(537), s(867)], radius=s(22), fill=(236, 236, 236, 230),
                        outline=(255, 255, 255, 230), width=s(3))
    d.rounded_rectangle([s(3), s(3), s(537), s(58)], radius=s(22), fill=(29, 37, 47, 215))
    d.rectangle([s(3), s(36), s(537), s(58)], fill=(29, 37, 47, 215))
    d.text((s(270), s(31)), "NOTIFICATIONS", font=font("Raleway_800ExtraBold", 18), fill=WHITE,
           anchor="mm")
    save(img, "GUI/Notifications/NotificationFrame.png", w, h)

    img, d = canvas(48, 48)
    d.ellipse(box(24, 24, 21), fill=RED)
    cross(d, 24, 24, 8, WHITE, 5)
    save(img, "GUI/Notifications/app_error.png", 48, 48)
    img, d = canvas(48, 48)
    d.polygon([(s(24), s(3)), (s(46), s(43)), (s(2), s(43))], fill=(240, 160, 40, 255))
    d.line([s(24), s(16), s(24), s(30)], fill=WHITE, width=s(5))
    d.ellipse(box(24, 37, 3), fill=WHITE)
    save(img, "GUI/Notifications/app_warning.png", 48, 48)
    img, d = canvas(48, 48)
    d.line([s(10), s(32), s(24), s(16), s(38), s(32)], fill=DARK, width=s(5), joint="curve")
    save(img, "GUI/Notifications/upArrow.png", 48, 48)


def workspace_pictures():
    # The fold strip's arrow: a rounded chevron pointing right (the way the list folds away); the
    # page mirrors it while the list is folded.
    img, d = canvas(32, 64)
    d.line([s(11), s(18), s(22), s(32), s(11), s(46)], fill=(142, 146, 151, 255), width=s(4),
           joint="curve")
    for x, y in ((11, 18), (22, 32), (11, 46)):
        d.ellipse(box(x, y, 2), fill=(142, 146, 151, 255))
    save(img, "GUI/Workspace/FoldArrow.png", 32, 64)


def prompt_frame():
    w, h = 657, 470
    img, d = canvas(w, h)
    d.rounded_rectangle([0, 0, s(w - 1), s(h - 1)], radius=s(26), fill=(243, 243, 243, 255),
                        outline=(204, 203, 202, 255), width=s(3))
    d.rounded_rectangle([s(12), s(12), s(w - 13), s(h - 13)], radius=s(18), fill=WHITE)
    save(img, "GUI/Prompts/PromptFrame.png", w, h)


def app_icon():
    img, d = canvas(256, 256)
    d.rounded_rectangle([s(8), s(8), s(248), s(248)], radius=s(48), fill=(221, 8, 48, 255))
    d.text((s(128), s(132)), "N", font=font("Raleway_800ExtraBold", 160), fill=WHITE, anchor="mm")
    small = img.resize((256, 256), Image.LANCZOS)
    small.save(os.path.join(HERE, "AppIcon.ico"), sizes=[(16, 16), (32, 32), (48, 48), (256, 256)])
    small.save(os.path.join(HERE, "AppIcon.png"))


if __name__ == "__main__":
    round_buttons()
    checkboxes()
    wifi()
    small_pictures()
    tiles_and_overlays()
    ssh_picture()
    home_pictures()
    notification_pictures()
    prompt_frame()
    workspace_pictures()
    app_icon()
