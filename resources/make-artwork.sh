#!/bin/sh
# Regenerates every picture in this folder from scratch:
#   ATIVOABERTO.ico, ATIVOMEIOABERTO.ico, ATIVOFECHADO.ico  tray animation (64x64, 16 colours, 1-bit mask)
#   velmorix2.png (64x64), velmorix2-<size>.png              application icon for the hicolor theme
#   banner.jpg                                               the picture at the top of the window (401x102)
#   check.bmp                                                the confirm button's check mark (44x44, 24 bits)
#
# Tools: python3 with Pillow (Debian: python3-pil) draws everything at a large scale and shrinks it,
# ImageMagick 6 writes the ICO, JPEG and BMP files. Override with PYTHON=... and CONVERT=...
# Pillow cannot write 4-bit ICO files, and a plain "convert -colors 16" writes an all-zero AND mask,
# so the alpha channel is thresholded first; and an icon of greys only (the closed eye) would come out
# as 32 bits per pixel without -type PaletteAlpha.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
PYTHON=${PYTHON:-/usr/bin/python3}
CONVERT=${CONVERT:-/usr/bin/convert}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$PYTHON" - "$work" "$here" <<'EOF'
import os
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFont

work, here = sys.argv[1], sys.argv[2]


def box(cx, cy, r):
    return (cx - r, cy - r, cx + r, cy + r)


def disc(size, cx, cy, r):
    m = Image.new("L", size, 0)
    ImageDraw.Draw(m).ellipse(box(cx, cy, r), fill=255)
    return m


def almond(size, cx, cy, half_width, half_height, shrink=0.0):
    """Mask of a pointed eye shape: the overlap of two equal circles, one above and one below."""
    r = (half_width * half_width + half_height * half_height) / (2.0 * half_height)
    d = r - half_height
    upper = disc(size, cx, cy + d, r - shrink)  # its top arc is the upper lid
    lower = disc(size, cx, cy - d, r - shrink)  # its bottom arc is the lower lid
    return ImageChops.multiply(upper, lower)


def paint(img, mask, colour):
    img.paste(Image.new("RGB", img.size, colour), (0, 0), mask)


def draw_eye(img, alpha, s, cx, cy, hw, hh, iris, state, outline=(28, 28, 28), line=2.5):
    """Draws an eye in img (RGB) and its shape in alpha; every length is in output pixels times s.

    state: "open", "half" (the upper lid down to the middle) or "closed".
    """
    size = img.size
    outer = almond(size, cx * s, cy * s, hw * s, hh * s)
    inner = almond(size, cx * s, cy * s, hw * s, hh * s, shrink=line * s)
    alpha.paste(255, (0, 0), outer)
    paint(img, outer, outline)
    paint(img, inner, (255, 255, 255))
    if state == "closed":
        return
    ir = hh * 0.78
    ball = Image.new("RGB", size, (255, 255, 255))
    d = ImageDraw.Draw(ball)
    d.ellipse(box(cx * s, cy * s, ir * s), fill=iris[0])
    d.ellipse(box(cx * s, cy * s, ir * 0.82 * s), fill=iris[1])
    d.ellipse(box(cx * s, cy * s, ir * 0.45 * s), fill=(0, 0, 0))
    d.ellipse(box((cx - ir * 0.32) * s, (cy - ir * 0.32) * s, ir * 0.16 * s), fill=(255, 255, 255))
    img.paste(ball, (0, 0), inner)
    if state == "half":
        lid = Image.new("L", size, 0)
        ImageDraw.Draw(lid).rectangle((0, 0, size[0], cy * s), fill=255)
        paint(img, ImageChops.multiply(lid, inner), (255, 255, 255))
        edge = Image.new("L", size, 0)
        half_line = line * s / 2
        ImageDraw.Draw(edge).rectangle((0, cy * s - half_line, size[0], cy * s + half_line), fill=255)
        paint(img, ImageChops.multiply(edge, outer), outline)


def shrink(img, s):
    return img.reduce(s)


# ---- tray icons and application icon -------------------------------------------------------------
DARK_CYAN = ((0, 84, 92), (0, 132, 140))


def eye_icon(state, px):
    s = 16
    n = 64 * s
    rgb = Image.new("RGB", (n, n), (28, 28, 28))
    alpha = Image.new("L", (n, n), 0)
    draw_eye(rgb, alpha, s, 32, 32, 31, 19, DARK_CYAN, state, line=3.0)
    # Colour and alpha shrink separately: the colour under the soft edge is the outline colour.
    rgb = rgb.resize((px, px), Image.BOX)
    rgb.putalpha(alpha.resize((px, px), Image.BOX))
    return rgb


for name, state in (("ATIVOABERTO", "open"), ("ATIVOMEIOABERTO", "half"), ("ATIVOFECHADO", "closed")):
    eye_icon(state, 64).save(os.path.join(work, name + ".png"))

for px in (32, 48, 64, 128, 256):
    png = "velmorix2.png" if px == 64 else "velmorix2-%d.png" % px
    eye_icon("open", px).save(os.path.join(here, png), optimize=True)


# ---- banner -------------------------------------------------------------------------------------
def font(size, *names):
    dirs = ("/usr/share/fonts/opentype/urw-base35", "/usr/share/fonts/truetype/dejavu")
    for name in names:
        for d in dirs:
            path = os.path.join(d, name)
            if os.path.exists(path):
                return ImageFont.truetype(path, size)
    raise SystemExit("no font among %s" % (names,))


def banner():
    s = 4
    w, h = 401, 102
    img = Image.new("RGB", (w * s, h * s))
    d = ImageDraw.Draw(img)
    for y in range(h * s):  # light grey, a shade darker towards the bottom
        g = round(226 - 16 * y / (h * s))
        d.line((0, y, w * s, y), fill=(g, g, g + 2))

    def r(x0, y0, x1, y1):
        return (x0 * s, y0 * s, x1 * s, y1 * s)

    ink = (40, 40, 48)

    # folder, behind the printer's left side
    d.rounded_rectangle(r(8, 58, 26, 66), radius=2 * s, fill=(214, 160, 40), outline=ink, width=s)
    d.rounded_rectangle(r(8, 62, 52, 97), radius=2 * s, fill=(232, 180, 52), outline=ink, width=s)
    d.line(r(10, 66, 50, 66), fill=(250, 214, 120), width=s)

    # printer: paper tray at the back, body, output slot, paper coming out, control panel
    d.rounded_rectangle(r(48, 56, 118, 68), radius=2 * s, fill=(170, 172, 180), outline=ink, width=s)
    d.rectangle(r(58, 46, 108, 66), fill=(255, 255, 255), outline=ink, width=s)
    for i, y in enumerate((51, 55, 59, 63)):
        d.line(r(63, y, 103 - 12 * (i % 2), y), fill=(120, 140, 170), width=s)
    d.rounded_rectangle(r(38, 66, 128, 92), radius=4 * s, fill=(206, 208, 214), outline=ink, width=s)
    d.rectangle(r(39, 66, 127, 70), fill=(150, 152, 160))
    d.rectangle(r(52, 80, 114, 84), fill=(70, 72, 80))
    d.rectangle(r(56, 86, 110, 97), fill=(255, 255, 255), outline=ink, width=s)
    d.ellipse(box(118 * s, 75 * s, 2 * s), fill=(40, 190, 60))
    d.ellipse(box(111 * s, 75 * s, 2 * s), fill=(220, 150, 30))

    # the eye watching over the printer
    layer = Image.new("RGB", img.size, (28, 28, 28))
    shape = Image.new("L", img.size, 0)
    draw_eye(layer, shape, s, 83, 23, 52, 20, ((20, 100, 30), (48, 160, 60)), "open", line=1.6)
    img.paste(layer, (0, 0), shape)

    # the name, blue with a soft shadow, its right end at x 395 and its baseline at y 32
    name = "Velmorix"
    f = font(42 * s, "NimbusSans-BoldItalic.otf", "DejaVuSans-BoldOblique.ttf")
    left, top, right, bottom = d.textbbox((0, 0), name, font=f, anchor="ls")
    x = 395 * s - right
    y = 32 * s
    d.text((x + 3 * s // 2, y + 3 * s // 2), name, font=f, fill=(168, 168, 176), anchor="ls")
    d.text((x, y), name, font=f, fill=(16, 64, 176), anchor="ls")

    # a thin rule under the name, stopping short of the version label
    for i in range(150 * s, 352 * s):
        t = (i - 150 * s) / (202 * s)
        c = (round(16 + 200 * (1 - t)), round(64 + 150 * (1 - t)), round(176 + 40 * (1 - t)))
        d.line((i, 40 * s, i, 41 * s), fill=c)

    # the small logo: the eye on a blue disc
    lx, ly = 380, 85
    d.ellipse(box(lx * s, ly * s, 13 * s), fill=(16, 64, 176), outline=(10, 40, 120), width=s)
    layer = Image.new("RGB", img.size, (10, 40, 120))
    shape = Image.new("L", img.size, 0)
    draw_eye(layer, shape, s, lx, ly, 10, 5.5, DARK_CYAN, "open", line=0.8)
    img.paste(layer, (0, 0), shape)

    return shrink(img, s)


banner().save(os.path.join(work, "banner.png"))


# ---- check mark ---------------------------------------------------------------------------------
def check():
    s = 16
    img = Image.new("L", (44 * s, 44 * s), 255)
    d = ImageDraw.Draw(img)
    pts = [(8, 23), (13, 18), (18, 24), (32, 9), (37, 14), (18, 33)]
    d.polygon([(x * s, y * s) for x, y in pts], fill=0)
    # Only black and white: white is the button's transparent colour, grey would show as a halo.
    small = img.resize((44, 44), Image.BOX).point(lambda v: 0 if v < 128 else 255)
    return small.convert("RGB")


check().save(os.path.join(work, "check.png"))
EOF

for name in ATIVOABERTO ATIVOMEIOABERTO ATIVOFECHADO; do
    "$CONVERT" "$work/$name.png" -channel A -threshold 50% +channel +dither -colors 16 -type PaletteAlpha "ICO:$here/$name.ico"
done
"$CONVERT" "$work/banner.png" -strip -density 300 -units PixelsPerInch -interlace none \
    -sampling-factor 1x1 -quality 95 "JPEG:$here/banner.jpg"
"$CONVERT" "$work/check.png" -alpha off -type TrueColor "BMP3:$here/check.bmp"
