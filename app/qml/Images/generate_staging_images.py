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


if __name__ == "__main__":
    toolbar()
    file_marks()
    hatching()
    presence_container()
