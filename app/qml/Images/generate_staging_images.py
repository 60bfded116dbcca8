#!/usr/bin/python3
"""Draws the staging screens' pictures (tool bar buttons, file-state marks, the hatched action
background) with Pillow. Run from anywhere; the output is committed and rerunning gives the same
files."""
import os

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
SS = 4
TEAL = (61, 177, 153, 255)
AMBER = (251, 175, 55, 255)
RED = (227, 31, 64, 255)
DARK = (60, 69, 77, 255)
GREY = (180, 180, 181, 255)


def canvas(w, h):
    img = Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))
    return img, ImageDraw.Draw(img)


def save(img, path, w, h):
    out = os.path.join(HERE, path)
    os.makedirs(os.path.dirname(out), exist_ok=True)
    img.resize((w, h), Image.LANCZOS).save(out, optimize=True)


def s(v):
    return int(v * SS)


def toolbar():
    n = 48
    img, d = canvas(n, n)
    d.line([s(14), s(14), s(34), s(34)], fill=DARK, width=s(4))
    d.line([s(14), s(34), s(34), s(14)], fill=DARK, width=s(4))
    save(img, "GUI/Toolbar/BinList/Button_Cross.png", n, n)
    for name, up in (("Button_Down.png", False), ("Button_Up.png", True)):
        img, d = canvas(n, n)
        if up:
            d.line([s(24), s(36), s(24), s(12)], fill=DARK, width=s(4))
            d.polygon([(s(14), s(20)), (s(24), s(9)), (s(34), s(20))], fill=DARK)
        else:
            d.line([s(24), s(10), s(24), s(34)], fill=DARK, width=s(4))
            d.polygon([(s(14), s(26)), (s(24), s(37)), (s(34), s(26))], fill=DARK)
        d.line([s(10), s(41), s(38), s(41)], fill=DARK, width=s(3))
        save(img, "GUI/Toolbar/BinList/" + name, n, n)


def file_marks():
    n = 32
    for name, colour, fill in (("FilePresent.png", TEAL, True), ("FileMedium.png", AMBER, True),
                               ("FileAbsent.png", GREY, False)):
        img, d = canvas(n, n)
        page = [(s(8), s(4)), (s(19), s(4)), (s(25), s(10)), (s(25), s(28)), (s(8), s(28))]
        if fill:
            d.polygon(page, fill=colour)
            d.polygon([(s(19), s(4)), (s(19), s(10)), (s(25), s(10))], fill=(255, 255, 255, 160))
        else:
            d.line(page + [page[0]], fill=colour, width=s(2))
        save(img, "GUI/BinList/Delegates/" + name, n, n)


def presence_container():
    w, h = 96, 32
    img, d = canvas(w, h)
    d.rounded_rectangle([0, s(2), s(w), s(h - 2)], radius=s(14), fill=(230, 230, 230, 255))
    save(img, "GUI/BinList/Delegates/FIlePresenceContainer.png", w, h)


def hatching():
    w, h = 64, 32
    img, d = canvas(w, h)
    d.rectangle([0, 0, s(w), s(h)], fill=(217, 217, 217, 255))
    for x in range(-h, w, 6):
        d.line([s(x), s(h), s(x + h), 0], fill=(200, 200, 200, 255), width=s(1.5))
    save(img, "ImageAssets/hashedClippedDark.png", w, h)


# >>> device updates: product pictures, the card icons, the status indicators and the stripe
FONT_DIR = os.path.join(HERE, "..", "..", "..", "qml", "Branding", "fonts", "Poppins")
BODY = (60, 69, 77, 255)
BODY_LIGHT = (92, 102, 112, 255)
PORT = (34, 42, 50, 255)
WHITE = (255, 255, 255, 255)


def label_font(size):
    from PIL import ImageFont
    return ImageFont.truetype(os.path.join(FONT_DIR, "Poppins_600SemiBold.ttf"), s(size))


def product(path, accent, label, sub, w=240, h=420, module=False):
    """A controller seen from the front: housing, a lid in the accent colour, connectors, status
    lights and the product name on the lid."""
    img, d = canvas(w, h)
    top = 40 if module else 20
    d.rounded_rectangle([s(20), s(top), s(w - 20), s(h - 20)], radius=s(22), fill=BODY)
    d.rounded_rectangle([s(28), s(top + 8), s(w - 28), s(h - 28)], radius=s(16), fill=BODY_LIGHT)
    lid_bottom = top + (h - top) * 0.46
    d.rounded_rectangle([s(40), s(top + 22), s(w - 40), s(lid_bottom)], radius=s(12), fill=accent)
    font = label_font(22 if len(label) < 8 else 18)
    box = d.textbbox((0, 0), label, font=font)
    d.text(((s(w) - (box[2] - box[0])) / 2, s(top + 44)), label, font=font, fill=WHITE)
    if sub:
        small = label_font(13)
        box = d.textbbox((0, 0), sub, font=small)
        d.text(((s(w) - (box[2] - box[0])) / 2, s(top + 82)), sub, font=small,
               fill=(255, 255, 255, 210))
    # Status lights under the lid.
    for i, colour in enumerate((TEAL, AMBER, RED)):
        cx = w / 2 - 30 + i * 30
        cy = lid_bottom + 26
        d.ellipse([s(cx - 6), s(cy - 6), s(cx + 6), s(cy + 6)], fill=colour)
    # Connector block and vents.
    rows = 2 if module else 3
    for r in range(rows):
        y = lid_bottom + 56 + r * 34
        for c in range(4):
            x = 52 + c * ((w - 104) / 3) - 12
            d.rounded_rectangle([s(x), s(y), s(x + 24), s(y + 20)], radius=s(4), fill=PORT)
    for k in range(5):
        y = h - 60 + k * 6
        d.line([s(60), s(y), s(w - 60), s(y)], fill=(72, 81, 90, 255), width=s(2))
    save(img, path, w, h)


def product_pictures():
    base = "GUI/Hardware Updates/ProductImages/"
    product(base + "Pelto.png", TEAL, "PELTO", "controller")
    product(base + "Tarnel.png", (180, 180, 181, 255), "TARNEL", "CAN module", module=True)
    # Torvik and Sorvyn share the device pictures of the Hardware Setup screen (below).
    product("Quintar.png", RED, "QUINTAR", "v1.0")


def card_marks():
    base = "GUI/Hardware Updates/ProductImages/"
    n = 48
    for name, colour in (("PeltoDot.png", TEAL), ("CANDot.png", (180, 180, 181, 255))):
        img, d = canvas(n, n)
        d.ellipse([s(4), s(4), s(n - 4), s(n - 4)], outline=colour, width=s(3))
        d.ellipse([s(15), s(15), s(n - 15), s(n - 15)], fill=colour)
        save(img, base + name, n, n)
    for name, colour in (("IndicatorGreen.png", TEAL), ("IndicatorRed.png", RED)):
        img, d = canvas(n, n)
        d.ellipse([s(2), s(2), s(n - 2), s(n - 2)], fill=(colour[0], colour[1], colour[2], 70))
        d.ellipse([s(8), s(8), s(n - 8), s(n - 8)], fill=colour)
        d.ellipse([s(15), s(13), s(25), s(21)], fill=(255, 255, 255, 120))
        save(img, base + name, n, n)
    w, h = 8, 80
    img, d = canvas(w, h)
    for y in range(0, h, 10):
        d.rounded_rectangle([s(3), s(y + 1), s(5), s(y + 7)], radius=s(1), fill=GREY)
    save(img, "GUI/Hardware Updates/VerticalStripe.png", w, h)
# <<< device updates


# >>> device pictures of the Hardware Setup screen
INK = (34, 42, 50, 255)
SLATE = (60, 69, 77, 255)
LIGHT = (243, 243, 243, 255)


def poppins(size):
    from PIL import ImageFont
    return ImageFont.truetype(os.path.join(FONT_DIR, "Poppins_600SemiBold.ttf"), size)


def vertical_gradient(img, box, top, bottom, radius):
    """Fills a rounded box with a top-to-bottom gradient."""
    x0, y0, x1, y1 = box
    grad = Image.new("RGBA", (x1 - x0, y1 - y0))
    gd = ImageDraw.Draw(grad)
    for y in range(y1 - y0):
        t = y / max(1, y1 - y0 - 1)
        gd.line([0, y, x1 - x0, y], fill=tuple(int(a + (b - a) * t) for a, b in zip(top, bottom)))
    mask = Image.new("L", grad.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle([0, 0, x1 - x0 - 1, y1 - y0 - 1], radius, fill=255)
    img.paste(grad, (x0, y0), mask)


def device(name, label, badge=None, wide=False, rugged=False):
    w, h = 444, 333
    img, d = canvas(w, h)
    # Soft shadow under the enclosure.
    d.ellipse([s(40), s(262), s(404), s(312)], fill=(0, 0, 0, 40))
    left, right = (40, 404) if wide else (70, 374)
    if wide:
        # Mounting flanges with their screw holes.
        for fx in ((14, 70), (374, 430)):
            d.rounded_rectangle([s(fx[0]), s(200), s(fx[1]), s(262)], s(10), fill=SLATE)
            cx = (fx[0] + fx[1]) / 2
            d.ellipse([s(cx - 9), s(222), s(cx + 9), s(240)], fill=LIGHT)
    # Top face, drawn as a slanted band so the box reads as three-dimensional.
    d.polygon([(s(left + 30), s(60)), (s(right - 30), s(60)), (s(right), s(110)), (s(left), s(110))],
              fill=(88, 98, 106, 255))
    vertical_gradient(img, (s(left), s(100), s(right), s(272)), (60, 69, 77, 255), INK, s(18))
    d = ImageDraw.Draw(img)
    # Teal band with the name.
    d.rectangle([s(left), s(128), s(right), s(134)], fill=TEAL)
    font = poppins(s(30))
    tw = d.textlength(label, font=font)
    d.text(((s(left) + s(right) - tw) / 2, s(150)), label, font=font, fill=LIGHT)
    # Connector row along the front.
    n = 6 if wide else 4
    span = right - left - 80
    for i in range(n):
        cx = left + 40 + span * (i + 0.5) / n
        d.rounded_rectangle([s(cx - 16), s(222), s(cx + 16), s(248)], s(4), fill=(150, 150, 152, 255))
        d.rectangle([s(cx - 10), s(230), s(cx + 10), s(240)], fill=INK)
    # Status lights: power (teal) and fault (red).
    lx = right - (74 if rugged else 44)
    d.ellipse([s(lx), s(112), s(lx + 12), s(124)], fill=TEAL)
    d.ellipse([s(lx + 18), s(112), s(lx + 30), s(124)], fill=RED)
    # Antenna of the Wi-Fi module.
    d.rounded_rectangle([s(left + 40), s(18), s(left + 52), s(84)], s(6), fill=SLATE)
    d.ellipse([s(left + 38), s(10), s(left + 54), s(26)], fill=INK)
    if rugged:
        for bx, by in ((left, 100), (right - 34, 100), (left, 238), (right - 34, 238)):
            d.rounded_rectangle([s(bx - 6), s(by - 6), s(bx + 40), s(by + 40)], s(10), fill=RED)
    if badge:
        bf = poppins(s(22))
        bw = d.textlength(badge, font=bf)
        bx = (s(left) + s(right) - bw) / 2
        d.rounded_rectangle([bx - s(14), s(190), bx + bw + s(14), s(216)], s(13), fill=TEAL)
        d.text((bx, s(189)), badge, font=bf, fill=LIGHT)
    save(img, name, w, h)


def device_pictures():
    device("Pelto.png", "PELTO")
    device("Torvik.png", "TORVIK", wide=True)
    device("Torvik_1.3.png", "TORVIK", badge="v1.3", wide=True)
    device("Torvik_1.4.png", "TORVIK", badge="v1.4", wide=True)
    device("Torvik_1.5.png", "TORVIK", badge="v1.5", wide=True)
    device("Sorvyn.png", "SORVYN", rugged=True)
# <<< device pictures of the Hardware Setup screen


if __name__ == "__main__":
    toolbar()
    file_marks()
    hatching()
    presence_container()
    product_pictures()
    card_marks()
    device_pictures()
