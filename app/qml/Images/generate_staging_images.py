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
GREEN_BLUE = (30, 140, 159, 255)
INDIGO = (74, 74, 157, 255)


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
    product("Torvik.png", GREEN_BLUE, "TORVIK", "v1.2")
    product("Torvik_1.3.png", GREEN_BLUE, "TORVIK", "v1.3")
    product("Torvik_1.4.png", GREEN_BLUE, "TORVIK", "v1.4")
    product("Torvik_1.5.png", GREEN_BLUE, "TORVIK", "v1.5")
    product("Sorvyn.png", INDIGO, "SORVYN", "")
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


# >>> device picture of the Hardware Setup screen (the other board variants are drawn above)
def setup_pictures():
    product("Pelto.png", TEAL, "PELTO", "controller")
# <<< device picture of the Hardware Setup screen


if __name__ == "__main__":
    toolbar()
    file_marks()
    hatching()
    presence_container()
    product_pictures()
    card_marks()
    setup_pictures()
