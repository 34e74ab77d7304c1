#!/usr/bin/env python3
"""Writes the program's pictures (resources/pictures/*.svg) and the
application icon (resources/icons/vorpelconverter.svg), and refreshes the copy
of the icon shown inline on the support page (resources/support/index.html).

Everything is drawn from plain shapes here, including the small block
lettering on the format badges, so the output does not depend on the fonts
installed. Only SVG Tiny features are used (paths, rects, circles, linear and
radial gradients, opacity) so Qt's SVG renderer draws them like browsers do.

Run:  python3 resources/tools/draw_pictures.py
"""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
PICTURES = os.path.join(HERE, "..", "pictures")
ICONS = os.path.join(HERE, "..", "icons")

ACCENT = "#99CCFF"


def f(v):
    s = f"{v:.2f}".rstrip("0").rstrip(".")
    return "0" if s == "-0" else s


# ---------------------------------------------------------------- lettering
# Block capitals on a 4 x 6 grid (x right, y down). Each glyph is a list of
# strokes; a stroke ending in "Z" is closed.
GLYPHS = {
    "A": [[(0, 6), (0, 1.5), (1.5, 0), (2.5, 0), (4, 1.5), (4, 6)], [(0, 3.6), (4, 3.6)]],
    "B": [[(0, 3), (3, 3), (4, 2), (4, 1), (3, 0), (0, 0), (0, 6), (3, 6), (4, 5), (4, 4), (3, 3)]],
    "C": [[(4, 0.6), (3.4, 0), (1, 0), (0, 1), (0, 5), (1, 6), (3.4, 6), (4, 5.4)]],
    "D": [[(0, 0), (2.4, 0), (4, 1.6), (4, 4.4), (2.4, 6), (0, 6), "Z"]],
    "E": [[(4, 0), (0, 0), (0, 6), (4, 6)], [(0, 3), (3.2, 3)]],
    "F": [[(4, 0), (0, 0), (0, 6)], [(0, 3), (3.2, 3)]],
    "G": [[(4, 0.8), (3.2, 0), (1, 0), (0, 1), (0, 5), (1, 6), (3, 6), (4, 5), (4, 3.2), (2.2, 3.2)]],
    "H": [[(0, 0), (0, 6)], [(4, 0), (4, 6)], [(0, 3), (4, 3)]],
    "I": [[(0, 0), (2.4, 0)], [(1.2, 0), (1.2, 6)], [(0, 6), (2.4, 6)]],
    "J": [[(1.6, 0), (4, 0), (4, 5), (3, 6), (1, 6), (0, 5)]],
    "L": [[(0, 0), (0, 6), (4, 6)]],
    "M": [[(0, 6), (0, 0), (2, 3.2), (4, 0), (4, 6)]],
    "N": [[(0, 6), (0, 0), (4, 6), (4, 0)]],
    "O": [[(1, 0), (3, 0), (4, 1), (4, 5), (3, 6), (1, 6), (0, 5), (0, 1), "Z"]],
    "P": [[(0, 6), (0, 0), (3, 0), (4, 1), (4, 2.4), (3, 3.4), (0, 3.4)]],
    "R": [[(0, 6), (0, 0), (3, 0), (4, 1), (4, 2.4), (3, 3.4), (0, 3.4)], [(2, 3.4), (4, 6)]],
    "S": [[(4, 0.8), (3.2, 0), (1, 0), (0, 1), (0, 2), (1, 3), (3, 3), (4, 4), (4, 5), (3, 6), (0.8, 6), (0, 5.2)]],
    "T": [[(0, 0), (4, 0)], [(2, 0), (2, 6)]],
    "X": [[(0, 0), (4, 6)], [(4, 0), (0, 6)]],
    "2": [[(0, 1), (1, 0), (3, 0), (4, 1), (4, 2.2), (0, 6), (4, 6)]],
}
WIDTH = {"I": 2.4}


def lettering(text, x, y, w, h, colour="#ffffff", sw=1.0, narrow=None):
    """Block letters centred in the box (x, y, w, h) of the viewBox.

    The grid is snapped to whole units so that, drawn at 1x, every straight
    stroke falls on a pixel centre and stays sharp; 2x stays sharp as well.
    A word too wide for the box is drawn with narrower (3-unit) glyphs.
    """
    def widths(sx):
        # M and T keep their full width: squeezed, their middle strokes blur
        return [WIDTH.get(c, 4) if c in "MT" else max(1, round(WIDTH.get(c, 4) * sx)) for c in text]
    sx = 1.0
    if narrow or sum(widths(1.0)) + 2 * (len(text) - 1) + 1 > w:
        sx = 0.75
    ws = widths(sx)
    total = sum(ws) + 2 * (len(text) - 1) + 1          # pixel columns used
    rows = 7                                             # pixel rows used
    cx = x + math.floor((w - total) / 2) + 0.5
    cy = y + math.floor((h - rows) / 2) + 0.5
    d = []
    for c, gw in zip(text, ws):
        kx = gw / WIDTH.get(c, 4)
        for stroke in GLYPHS[c]:
            pts = [p for p in stroke if p != "Z"]
            d.append("M" + " L".join(f"{f(cx + px * kx)} {f(cy + py)}" for px, py in pts))
            if stroke[-1] == "Z":
                d.append("Z")
        cx += gw + 2
    return (f'<path d="{" ".join(d)}" fill="none" stroke="{colour}" stroke-width="{f(sw)}" '
            f'stroke-linecap="square" stroke-linejoin="miter"/>')


# ---------------------------------------------------------------- helpers
def svg(w, h, body, stretch=False, title=None):
    par = ' preserveAspectRatio="none"' if stretch else ""
    t = f"<title>{title}</title>\n" if title else ""
    return (f'<svg xmlns="http://www.w3.org/2000/svg" version="1.1" width="{w}" height="{h}" '
            f'viewBox="0 0 {w} {h}"{par}>\n{t}{body}\n</svg>\n')


def lin(id_, stops, x1=0, y1=0, x2=0, y2=1):
    s = "".join(f'<stop offset="{o}" stop-color="{c}"/>' for o, c in stops)
    return f'<linearGradient id="{id_}" x1="{x1}" y1="{y1}" x2="{x2}" y2="{y2}">{s}</linearGradient>'


def shade(hex_, k):
    """k < 1 darkens, k > 1 lightens towards white."""
    r, g, b = (int(hex_[i:i + 2], 16) for i in (1, 3, 5))
    if k <= 1:
        r, g, b = (int(v * k) for v in (r, g, b))
    else:
        t = k - 1
        r, g, b = (int(v + (255 - v) * t) for v in (r, g, b))
    return f"#{r:02x}{g:02x}{b:02x}"


def sheet(n, x0, y0, x1, y1, fold=6.0, sw=1.0):
    """A paper sheet with a folded top-right corner."""
    h = sw / 2
    a, b, c, d = x0 + h, y0 + h, x1 - h, y1 - h
    g = lin(f"{n}-paper", [(0, "#ffffff"), (1, "#dde3ea")])
    return (f"<defs>{g}</defs>"
            f'<path d="M{f(a)} {f(b + 1)} Q{f(a)} {f(b)} {f(a + 1)} {f(b)} L{f(c - fold)} {f(b)} '
            f'L{f(c)} {f(b + fold)} L{f(c)} {f(d - 1)} Q{f(c)} {f(d)} {f(c - 1)} {f(d)} L{f(a + 1)} {f(d)} '
            f'Q{f(a)} {f(d)} {f(a)} {f(d - 1)} Z" fill="url(#{n}-paper)" stroke="#3c4248" '
            f'stroke-width="{f(sw)}" stroke-linejoin="round"/>'
            f'<path d="M{f(c - fold)} {f(b)} L{f(c - fold)} {f(b + fold - 1)} Q{f(c - fold)} {f(b + fold)} '
            f'{f(c - fold + 1)} {f(b + fold)} L{f(c)} {f(b + fold)} Z" fill="#b7c1cc" stroke="#3c4248" '
            f'stroke-width="{f(sw)}" stroke-linejoin="round"/>')


def badge(n, text, colour, x, y, w, h, sw=1.0, rx=2.0):
    g = lin(f"{n}-badge", [(0, shade(colour, 1.18)), (1, shade(colour, 0.85))])
    return (f"<defs>{g}</defs>"
            f'<rect x="{f(x + 0.5)}" y="{f(y + 0.5)}" width="{f(w - 1)}" height="{f(h - 1)}" rx="{f(rx)}" '
            f'fill="url(#{n}-badge)" stroke="{shade(colour, 0.55)}" stroke-width="1"/>'
            + lettering(text, x + 1, y + 1, w - 2, h - 2, sw=sw))


def lines(xs, ys, colour="#7d8791", sw=None):
    """Text lines, one pixel high, snapped to pixel rows and columns."""
    out = []
    for i, yy in enumerate(ys):
        x0, x1 = xs[i] if isinstance(xs, list) else xs
        out.append(f'<path d="M{round(x0)} {math.floor(yy) + 0.5} H{round(x1)}" stroke="{colour}" stroke-width="1"/>')
    return "".join(out)


PICS = {}


def pic(name):
    def reg(fn):
        PICS[name] = fn
        return fn
    return reg


# ---------------------------------------------------------------- document panel (30 x 36)
W, H = 30, 36
BADGE = (1, 22, 28, 11)  # x, y, w, h


def doc_icon(n, text, colour, content):
    return svg(W, H, sheet(n, 4, 1, 26, 35) + content + badge(n, text, colour, *BADGE))


@pic("txt")
def _txt():
    n = "txt"
    c = lines([(8, 21), (8, 22), (8, 20), (8, 22), (8, 16)], [6, 9, 12, 15, 18])
    return doc_icon(n, "TXT", "#5f6b78", c)


@pic("rtf")
def _rtf():
    n = "rtf"
    c = ('<rect x="8" y="5" width="10" height="3" fill="#1f2a36"/>'
         '<rect x="8" y="10" width="5" height="2" fill="#c0392b"/>'
         '<rect x="14" y="10" width="8" height="2" fill="#7d8791"/>'
         '<rect x="8" y="13" width="3" height="2" fill="#7d8791"/>'
         '<rect x="12" y="13" width="10" height="2" fill="#2b6cb0"/>'
         '<rect x="8" y="16" width="11" height="2" fill="#7d8791"/>'
         '<rect x="8" y="19" width="11" height="1" fill="#c0392b"/>')
    return doc_icon(n, "RTF", "#b03a2e", c)


def tag_glyph(cx, cy, colour, sw=1.8, s=1.0):
    """An angle-bracket pair with a slash: markup."""
    return (f'<path d="M{f(cx - 3 * s)} {f(cy - 3.5 * s)} L{f(cx - 7 * s)} {f(cy)} L{f(cx - 3 * s)} {f(cy + 3.5 * s)} '
            f'M{f(cx + 3 * s)} {f(cy - 3.5 * s)} L{f(cx + 7 * s)} {f(cy)} L{f(cx + 3 * s)} {f(cy + 3.5 * s)}" '
            f'fill="none" stroke="{colour}" stroke-width="{f(sw)}" stroke-linecap="round" stroke-linejoin="round"/>'
            f'<path d="M{f(cx + 1.3 * s)} {f(cy - 4 * s)} L{f(cx - 1.3 * s)} {f(cy + 4 * s)}" stroke="{shade(colour, 0.8)}" '
            f'stroke-width="{f(sw * 0.85)}" stroke-linecap="round"/>')


@pic("html")
def _html():
    n = "html"
    c = lines((8, 16), [6]) + tag_glyph(15, 14.5, "#d35400")
    return doc_icon(n, "HTML", "#e0631a", c)


@pic("xhtml")
def _xhtml():
    n = "xhtml"
    c = (tag_glyph(13.5, 12, "#1e7a43", s=0.85)
         + '<circle cx="20.5" cy="17" r="3.6" fill="#2ea15a" stroke="#14532d" stroke-width="0.8"/>'
         + '<path d="M18.8 17.1 L20.1 18.4 L22.3 15.7" fill="none" stroke="#ffffff" stroke-width="1.3" '
           'stroke-linecap="round" stroke-linejoin="round"/>')
    return doc_icon(n, "XHTML", "#23804a", c)


@pic("MicrosoftWord")
def _word():
    n = "word"
    c = ('<rect x="8" y="5" width="10" height="3" fill="#2b5fae"/>'
         + lines((8, 22), [10, 12, 14, 16], colour="#6f7a86")
         + lines((8, 17), [18], colour="#6f7a86"))
    return doc_icon(n, "DOC", "#2b5fae", c)


def globe(cx, cy, r, sw=1.0, fill="#4f9ad8", line="#ffffff"):
    return (f'<circle cx="{f(cx)}" cy="{f(cy)}" r="{f(r)}" fill="{fill}" stroke="{shade(fill, 0.55)}" stroke-width="{f(sw)}"/>'
            f'<ellipse cx="{f(cx)}" cy="{f(cy)}" rx="{f(r * 0.45)}" ry="{f(r - sw / 2)}" fill="none" stroke="{line}" stroke-width="{f(sw * 0.8)}"/>'
            f'<path d="M{f(cx - r + sw / 2)} {f(cy)} H{f(cx + r - sw / 2)} M{f(cx)} {f(cy - r + sw / 2)} V{f(cy + r - sw / 2)}" '
            f'stroke="{line}" stroke-width="{f(sw * 0.8)}"/>')


@pic("webarch")
def _webarch():
    n = "webarch"
    # a globe resting in an archive box
    c = (globe(15, 9.5, 5.2)
         + lin_defs(n + "-box", [(0, "#d8a46a"), (1, "#a8703a")])
         + '<rect x="7.5" y="13.5" width="15" height="8" rx="1" fill="url(#webarch-box)" stroke="#5c3a17" stroke-width="1"/>'
         + '<rect x="6.5" y="12" width="17" height="3" rx="0.8" fill="#c58d52" stroke="#5c3a17" stroke-width="1"/>'
         + '<rect x="12.5" y="16.3" width="5" height="1.8" rx="0.6" fill="#5c3a17"/>')
    return doc_icon(n, "ARCH", "#8b5a2b", c)


def lin_defs(id_, stops, **kw):
    return f"<defs>{lin(id_, stops, **kw)}</defs>"


@pic("xml1")
def _xml():
    n = "xml1"
    node = lambda x, y, col: (f'<rect x="{f(x)}" y="{f(y)}" width="5" height="3.4" rx="0.8" fill="{col}" '
                              f'stroke="{shade(col, 0.55)}" stroke-width="0.8"/>')
    c = ('<path d="M10 8.5 V18.2 H13 M10 13 H13" fill="none" stroke="#4b5560" stroke-width="1.1" stroke-linejoin="round"/>'
         + node(7.5, 4.8, "#0e7c86") + node(13, 11.3, "#2b5fae") + node(13, 16.5, "#2b5fae")
         + lines((19.5, 22.5), [13, 18.2], colour="#7d8791"))
    return doc_icon(n, "XML", "#0e7c86", c)


# ---------------------------------------------------------------- image panel (30 x 36)
def landscape(n, x, y, w, h, sky=("#6fb7f0", "#cfe8fb"), hill1="#3f9b4b", hill2="#2d7a3a", sun="#ffc83d"):
    g = lin(f"{n}-sky", [(0, sky[0]), (1, sky[1])])
    return (f"<defs>{g}</defs>"
            f'<rect x="{f(x)}" y="{f(y)}" width="{f(w)}" height="{f(h)}" fill="url(#{n}-sky)"/>'
            f'<circle cx="{f(x + w * 0.72)}" cy="{f(y + h * 0.3)}" r="{f(h * 0.17)}" fill="{sun}"/>'
            f'<path d="M{f(x)} {f(y + h * 0.78)} L{f(x + w * 0.3)} {f(y + h * 0.42)} L{f(x + w * 0.55)} {f(y + h * 0.72)} '
            f'L{f(x + w)} {f(y + h * 0.55)} V{f(y + h)} H{f(x)} Z" fill="{hill1}"/>'
            f'<path d="M{f(x)} {f(y + h)} L{f(x)} {f(y + h * 0.85)} Q{f(x + w * 0.5)} {f(y + h * 0.65)} {f(x + w)} {f(y + h * 0.9)} '
            f'V{f(y + h)} Z" fill="{hill2}"/>')


def frame(x, y, w, h, colour="#3c4248"):
    return (f'<rect x="{f(x + 0.5)}" y="{f(y + 0.5)}" width="{f(w - 1)}" height="{f(h - 1)}" fill="none" '
            f'stroke="{colour}" stroke-width="1"/>')


IMG = (7, 5, 16, 15)  # picture area on the sheet


def image_icon(n, text, colour, content):
    return svg(W, H, sheet(n, 4, 1, 26, 35) + content + badge(n, text, colour, *BADGE))


@pic("Picture1")
def _jpeg():
    n = "jpeg"
    return image_icon(n, "JPEG", "#d2601a", landscape(n, *IMG) + frame(*IMG))


@pic("Picture2")
def _gif():
    n = "gif"
    # flat, few-colour picture with frame ticks like a short animation
    x, y, w, h = IMG
    c = (f'<rect x="{x}" y="{y}" width="{w}" height="{h}" fill="#8fd0ff"/>'
         f'<rect x="{x}" y="{y + 10}" width="{w}" height="{h - 10}" fill="#4caf50"/>'
         f'<circle cx="{x + 5}" cy="{y + 7}" r="3" fill="#ffca28" stroke="#b7791f" stroke-width="0.8"/>'
         f'<circle cx="{x + 9}" cy="{y + 5}" r="2" fill="#ffca28" opacity="0.55"/>'
         f'<circle cx="{x + 12.3}" cy="{y + 3.4}" r="1.4" fill="#ffca28" opacity="0.3"/>'
         + frame(x, y, w, h))
    return image_icon(n, "GIF", "#2e9455", c)


@pic("icns")
def _tiff():
    n = "tiff"
    # a high-quality photo on a stack of pages (multi-page TIFF)
    x, y, w, h = IMG
    c = (f'<rect x="{x + 2}" y="{y - 1.5}" width="{w - 1}" height="{h - 1}" fill="#ffffff" stroke="#7d8791" stroke-width="0.8"/>'
         + landscape(n, x, y + 0.5, w - 1, h - 1, sky=("#8e6fd8", "#f3c6e8"), hill1="#5b4a9e", hill2="#3b2f74", sun="#fff3b0")
         + frame(x, y + 0.5, w - 1, h - 1))
    return image_icon(n, "TIFF", "#6c45ab", c)


@pic("png")
def _pict():
    n = "pict"
    # a drawing made of simple shapes (a picture of vector shapes)
    x, y, w, h = IMG
    c = (f'<rect x="{x}" y="{y}" width="{w}" height="{h}" fill="#eef7f8"/>'
         f'<rect x="{x + 1.8}" y="{y + 7}" width="7" height="6.5" fill="#1f8f99" stroke="#0b4d52" stroke-width="0.8"/>'
         f'<circle cx="{x + 10.8}" cy="{y + 5.2}" r="3.6" fill="#f2a93b" stroke="#8a5a10" stroke-width="0.8"/>'
         f'<path d="M{x + 8.5} {y + 13.5} L{x + 11.8} {y + 8} L{x + 15} {y + 13.5} Z" fill="#e05a5a" stroke="#7a1f1f" '
         f'stroke-width="0.8" stroke-linejoin="round"/>'
         + frame(x, y, w, h))
    return image_icon(n, "PICT", "#17808a", c)


@pic("tre")
def _png():
    n = "png"
    # transparency checkerboard behind a shape
    x, y, w, h = IMG
    sq = []
    s = 3
    for j in range(5):
        for i in range(6):
            if (i + j) % 2 == 0:
                ww = min(s, w - i * s)
                hh = min(s, h - j * s)
                if ww > 0 and hh > 0:
                    sq.append(f'<rect x="{f(x + i * s)}" y="{f(y + j * s)}" width="{f(ww)}" height="{f(hh)}" fill="#b3bac3"/>')
    c = (f'<rect x="{x}" y="{y}" width="{w}" height="{h}" fill="#ffffff"/>' + "".join(sq)
         + f'<circle cx="{x + 9.5}" cy="{y + 8.5}" r="4.6" fill="#2f6fc0" fill-opacity="0.8" stroke="#163a6b" stroke-width="0.9"/>'
         + f'<circle cx="{x + 8}" cy="{y + 7}" r="1.4" fill="#ffffff" fill-opacity="0.75"/>'
         + frame(x, y, w, h))
    return image_icon(n, "PNG", "#2f6fc0", c)


@pic("jpg")
def _psd():
    n = "psd"
    # stacked layers
    def layer(yy, col, op=1.0):
        return (f'<path d="M15 {f(yy)} L23 {f(yy + 3.6)} L15 {f(yy + 7.2)} L7 {f(yy + 3.6)} Z" fill="{col}" '
                f'fill-opacity="{op}" stroke="#0f2447" stroke-width="0.9" stroke-linejoin="round"/>')
    c = layer(12, "#8fb3e8") + layer(8.5, "#4f86d6") + layer(5, "#99CCFF")
    return image_icon(n, "PSD", "#1d4b8f", c)


@pic("qtif")
def _pdf():
    n = "pdf"
    # a printed page: picture above a column of text
    c = (landscape(n, 8, 5, 14, 7.5, sky=("#f6a5a0", "#fde3df"), hill1="#c62828", hill2="#8e1b1b", sun="#ffffff")
         + frame(8, 5, 14, 7.5, "#7a1f1f")
         + lines((8, 22), [15, 17.6], colour="#7d8791") + lines((8, 17), [20.2], colour="#7d8791"))
    return image_icon(n, "PDF", "#c62828", c)


@pic("gif")
def _jp2():
    n = "jp2"
    # photo split into a coarse-to-fine tiling (multi-resolution)
    x, y, w, h = IMG
    c = (landscape(n, x, y, w, h, sky=("#5aa6e6", "#cfe8fb"), hill1="#b8860b", hill2="#7a5a08", sun="#ffe08a")
         + f'<path d="M{x + w / 2} {y} V{y + h} M{x} {y + h / 2} H{x + w} M{x + w / 4} {y} V{y + h / 2} '
           f'M{x} {y + h / 4} H{x + w / 2}" stroke="#ffffff" stroke-opacity="0.85" stroke-width="0.7"/>'
         + frame(x, y, w, h))
    return image_icon(n, "JPG2", "#9a6a06", c)


@pic("BMP")
def _bmp():
    n = "bmp"
    # a picture shown as a grid of pixels
    x, y = 7, 5
    pal = {"s": "#9ed0f5", "y": "#ffc83d", "g": "#3f9b4b", "d": "#2d7a3a"}
    rows = ["ssssssss",
            "sssssyys",
            "sssssyys",
            "sggsssss",
            "gggggsgs",
            "ggdggggg",
            "dddddggd"]
    cell_w, cell_h = 2.0, 15 / 7
    out = []
    for j, row in enumerate(rows):
        for i, ch in enumerate(row):
            out.append(f'<rect x="{f(x + i * cell_w)}" y="{f(y + j * cell_h)}" width="{f(cell_w + 0.05)}" '
                       f'height="{f(cell_h + 0.05)}" fill="{pal[ch]}"/>')
    grid = "".join(f"M{f(x + i * cell_w)} {y} V{y + 15} " for i in range(1, 8)) + \
           "".join(f"M{x} {f(y + j * cell_h)} H{x + 16} " for j in range(1, 7))
    c = "".join(out) + f'<path d="{grid}" stroke="#ffffff" stroke-opacity="0.45" stroke-width="0.4"/>' + frame(x, y, 16, 15)
    return image_icon(n, "BMP", "#8a3b8f", c)


# ---------------------------------------------------------------- drop screen (26 x 26)
def rows_list(n, highlight=None):
    out = []
    for k, yy in enumerate((3, 9, 15)):
        sel = highlight == k
        fill = "#3b82d6" if sel else f"url(#{n}-row)"
        stroke = "#1b4f8f" if sel else "#3c4248"
        line = "#ffffff" if sel else "#7d8791"
        out.append(f'<rect x="1.5" y="{yy + 0.5}" width="19" height="5" rx="1.2" fill="{fill}" stroke="{stroke}" stroke-width="1"/>'
                   f'<path d="M4 {yy + 3.5} H{14 if k != 1 else 16}" stroke="{line}" stroke-width="1"/>')
    return lin_defs(f"{n}-row", [(0, "#ffffff"), (1, "#d9dfe6")]) + "".join(out)


def round_badge(n, cx, cy, r, colour):
    g = lin(f"{n}-dot", [(0, shade(colour, 1.25)), (1, shade(colour, 0.85))])
    return (f"<defs>{g}</defs>"
            f'<circle cx="{f(cx)}" cy="{f(cy)}" r="{f(r)}" fill="url(#{n}-dot)" stroke="{shade(colour, 0.5)}" stroke-width="1"/>')


@pic("all")
def _all():
    n = "all"
    body = (rows_list(n) + round_badge(n, 18.5, 18.5, 6.5, "#d93a2b")
            + '<path d="M16 16 L21 21 M21 16 L16 21" stroke="#ffffff" stroke-width="2" stroke-linecap="round"/>')
    return svg(26, 26, body)


@pic("single1")
def _single():
    n = "single1"
    body = (rows_list(n, highlight=1) + round_badge(n, 19.5, 19.5, 5.5, "#d93a2b")
            + '<path d="M16.7 19.5 H22.3" stroke="#ffffff" stroke-width="2.2" stroke-linecap="round"/>')
    return svg(26, 26, body)


@pic("info")
def _info():
    n = "info"
    body = (sheet(n, 3, 1.5, 18, 22, fold=5)
            # disk usage gauge on the sheet
            + '<rect x="5.5" y="7.5" width="9" height="3" fill="#d6dce3" stroke="#5a646e" stroke-width="1"/>'
            + '<rect x="6" y="8" width="5" height="2" fill="#3aa76d"/>'
            + lines((5.5, 12), [14], colour="#7d8791")
            + round_badge(n, 18.5, 18.5, 6.5, "#2f78c4")
            + '<circle cx="18.5" cy="15.2" r="1.25" fill="#ffffff"/>'
            + '<path d="M17.3 17.8 H18.7 V22 M17.2 22 H19.9" fill="none" stroke="#ffffff" stroke-width="1.6" '
              'stroke-linecap="round" stroke-linejoin="round"/>')
    return svg(26, 26, body)


# ---------------------------------------------------------------- speech panel (34 x 40)
@pic("audio2")
def _audio():
    n = "audio2"
    body = (sheet(n, 5, 1, 29, 39, fold=6)
            + lines([(9, 18), (9, 21)], [6, 9], colour="#7d8791")
            # speaker
            + lin_defs(f"{n}-spk", [(0, "#8a66cc"), (1, "#4d2f8a")])
            + '<path d="M9 15 H12 L16.5 11.5 V24.5 L12 21 H9 Z" fill="url(#audio2-spk)" stroke="#2e1a57" '
              'stroke-width="1" stroke-linejoin="round"/>'
            + '<path d="M19 15 Q21 18 19 21 M21.5 12.8 Q25 18 21.5 23.2" fill="none" stroke="#4d2f8a" '
              'stroke-width="1.5" stroke-linecap="round"/>'
            + badge(n, "AIFF", "#6a3fb5", 2, 27, 30, 11))
    return svg(34, 40, body)


# ---------------------------------------------------------------- emblem and app icon
def arc_pts(cx, cy, r, a0, a1, steps=40):
    return [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
             cy + r * math.sin(math.radians(a0 + (a1 - a0) * i / steps))) for i in range(steps + 1)]


def arrow_arc(cx, cy, r, a0, a1, width, head, fill, stroke, sw):
    """A thick arc from angle a0 to a1 (degrees, clockwise on screen) ending in an arrow head."""
    ro, ri = r + width / 2, r - width / 2
    outer = arc_pts(cx, cy, ro, a0, a1)
    inner = arc_pts(cx, cy, ri, a1, a0)
    t = math.radians(a1)
    # tangent direction of travel (clockwise on screen = increasing angle)
    tx, ty = -math.sin(t), math.cos(t)
    nx, ny = math.cos(t), math.sin(t)
    bx, by = cx + r * nx, cy + r * ny
    hw = width / 2 + head * 0.55
    tip = (bx + tx * head, by + ty * head)
    p_out = (bx + nx * hw, by + ny * hw)
    p_in = (bx - nx * hw, by - ny * hw)
    pts = outer + [p_out, tip, p_in] + inner
    d = "M" + " L".join(f"{f(x)} {f(y)}" for x, y in pts) + " Z"
    return f'<path d="{d}" fill="{fill}" stroke="{stroke}" stroke-width="{f(sw)}" stroke-linejoin="round"/>'


def blade(n, cx, cy, length, angle, scale):
    """A slender sword: blade, guard, grip and pommel, centred on (cx, cy), rotated by angle."""
    s = scale
    L = length
    # drawn pointing up along -y, centred where blade meets guard at y=0; then moved
    bl = L * 0.66
    grads = []
    grads.append(lin(f"{n}-steel", [(0, "#ffffff"), (0.5, "#dbe9f7"), (0.51, "#9fb3c8"), (1, "#e6eef7")], x1=0, y1=0, x2=1, y2=0))
    grads.append(lin(f"{n}-gold", [(0, "#ffe08a"), (1, "#c98a12")]))
    grads.append(lin(f"{n}-grip", [(0, "#4a4a4a"), (1, "#1f1f1f")], x1=0, y1=0, x2=1, y2=0))
    defs = "<defs>" + "".join(grads) + "</defs>"
    w = 9 * s
    shapes = (
        f'<path d="M{f(-w)} 0 L{f(-w)} {f(-bl * 0.8)} L0 {f(-bl)} L{f(w)} {f(-bl * 0.8)} L{f(w)} 0 Z" '
        f'fill="url(#{n}-steel)" stroke="#1d2a38" stroke-width="{f(2.2 * s)}" stroke-linejoin="round"/>'
        f'<path d="M0 {f(-4 * s)} V{f(-bl * 0.78)}" stroke="#7f95ad" stroke-width="{f(1.6 * s)}" stroke-linecap="round"/>'
        f'<path d="M{f(-24 * s)} {f(-2 * s)} Q{f(-26 * s)} {f(-9 * s)} {f(-19 * s)} {f(-6 * s)} L{f(19 * s)} {f(-6 * s)} '
        f'Q{f(26 * s)} {f(-9 * s)} {f(24 * s)} {f(-2 * s)} L{f(20 * s)} {f(3 * s)} L{f(-20 * s)} {f(3 * s)} Z" '
        f'fill="url(#{n}-gold)" stroke="#5a3d05" stroke-width="{f(2 * s)}" stroke-linejoin="round"/>'
        f'<rect x="{f(-4.5 * s)}" y="{f(3 * s)}" width="{f(9 * s)}" height="{f(L * 0.22)}" rx="{f(2 * s)}" '
        f'fill="url(#{n}-grip)" stroke="#111111" stroke-width="{f(1.6 * s)}"/>'
        f'<circle cx="0" cy="{f(3 * s + L * 0.22 + 5 * s)}" r="{f(6.5 * s)}" fill="url(#{n}-gold)" '
        f'stroke="#5a3d05" stroke-width="{f(2 * s)}"/>'
    )
    return defs + f'<g transform="translate({f(cx)} {f(cy)}) rotate({f(angle)})">{shapes}</g>'


def emblem(n, cx, cy, R, scale, plate=True, bold=1.0):
    """Two chasing arrows (the conversion cycle) cut through by a blade."""
    out = []
    if plate:
        out.append("<defs>"
                   f'<radialGradient id="{n}-plate" cx="0.45" cy="0.35" r="0.7">'
                   '<stop offset="0" stop-color="#5c5c5c"/><stop offset="1" stop-color="#262626"/></radialGradient>'
                   + lin(f"{n}-rim", [(0, ACCENT), (1, "#3f6f9e")]) + "</defs>")
        out.append(f'<circle cx="{f(cx)}" cy="{f(cy)}" r="{f(R)}" fill="url(#{n}-plate)" '
                   f'stroke="url(#{n}-rim)" stroke-width="{f(5 * scale)}"/>')
    out.append("<defs>" + lin(f"{n}-a1", [(0, "#d6ebff"), (1, ACCENT)])
               + lin(f"{n}-a2", [(0, "#74b4f2"), (1, "#3579c2")]) + "</defs>")
    r = R * 0.66
    width = R * 0.2 * bold
    head = R * 0.19 * bold
    out.append(arrow_arc(cx, cy, r, 200, 318, width, head, f"url(#{n}-a1)", "#1d3a5a", 2.2 * scale))
    out.append(arrow_arc(cx, cy, r, 20, 138, width, head, f"url(#{n}-a2)", "#0f2a4a", 2.2 * scale))
    out.append(blade(n, cx - R * 0.1, cy + R * 0.14, R * 1.9, 40, scale * 1.15 * bold))
    return "".join(out)


@pic("vorpel_S")
def _vorpel():
    return svg(290, 280, emblem("vorpel", 145, 140, 128, 1.0), title="VorpelConverter")


def app_icon():
    n = "app"
    g = ("<defs>" + lin(f"{n}-bg", [(0, "#4d4d4d"), (1, "#262626")])
         + lin(f"{n}-edge", [(0, ACCENT), (1, "#3f6f9e")]) + "</defs>")
    body = (g + f'<rect x="10" y="10" width="236" height="236" rx="44" fill="url(#{n}-bg)" '
                f'stroke="url(#{n}-edge)" stroke-width="6"/>'
            + emblem(n, 128, 128, 112, 1.0, plate=False, bold=1.35))
    return svg(256, 256, body, title="VorpelConverter")


# ---------------------------------------------------------------- backdrops (dark, stretched)
def backdrop(n, w, h, top="#474747", bottom="#2b2b2b", label_band=None, accent_y=None, rx=0):
    out = ["<defs>" + lin(f"{n}-bg", [(0, top), (1, bottom)]) + "</defs>",
           f'<rect x="0" y="0" width="{w}" height="{h}" rx="{rx}" fill="url(#{n}-bg)"/>',
           # bevel: light top edge, dark bottom edge
           f'<rect x="0" y="0" width="{w}" height="1" fill="#ffffff" fill-opacity="0.14"/>',
           f'<rect x="0" y="{h - 1}" width="{w}" height="1" fill="#000000" fill-opacity="0.35"/>',
           f'<rect x="0" y="0" width="1" height="{h}" fill="#ffffff" fill-opacity="0.06"/>',
           f'<rect x="{w - 1}" y="0" width="1" height="{h}" fill="#000000" fill-opacity="0.25"/>']
    if label_band:
        y0 = h - label_band
        out.append(f'<rect x="1" y="{y0}" width="{w - 2}" height="{label_band - 1}" fill="#1e1e1e" fill-opacity="0.55"/>')
        out.append(f'<rect x="1" y="{y0}" width="{w - 2}" height="1" fill="{ACCENT}" fill-opacity="0.35"/>')
    if accent_y is not None:
        out.append(f'<rect x="1" y="{accent_y}" width="{w - 2}" height="1" fill="{ACCENT}" fill-opacity="0.3"/>')
    return svg(w, h, "\n".join(out), stretch=True)


# The category strip's pictures sit where the Drop Screen's five square buttons are (46 x 46
# boxes, strip coordinates; the buttons' faces are see-through).
CATEGORY_BOXES = {"documents": (50, 14), "images": (150, 14), "audio": (242, 14),
                  "lock": (333, 14), "unlock": (422, 14)}


def cat_documents(n, x, y):
    back = sheet(n + "-b", x + 14, y + 5, x + 36, y + 33, fold=6)
    front = sheet(n + "-f", x + 9, y + 10, x + 31, y + 40, fold=6)
    text = lines((x + 13, x + 26), [y + 19, y + 22, y + 25, y + 28], colour="#7d8791") + \
        lines((x + 13, x + 21), [y + 31], colour="#7d8791")
    head = f'<rect x="{x + 13}" y="{y + 14}" width="9" height="2" fill="#2b5fae"/>'
    return back + front + head + text


def cat_images(n, x, y):
    px, py, pw, ph = x + 7, y + 10, 32, 26
    return (f'<rect x="{px - 2.5}" y="{py - 2.5}" width="{pw + 5}" height="{ph + 5}" rx="1.5" fill="#f4f1ea" '
            f'stroke="#3c4248" stroke-width="1"/>'
            + landscape(n, px, py, pw, ph) + frame(px, py, pw, ph))


def cat_audio(n, x, y):
    g = lin_defs(f"{n}-spk", [(0, "#8a66cc"), (1, "#4d2f8a")])
    return (g + f'<path d="M{x + 8} {y + 17} H{x + 14} L{x + 22} {y + 10} V{y + 36} L{x + 14} {y + 29} H{x + 8} Z" '
            f'fill="url(#{n}-spk)" stroke="#e8e0f7" stroke-width="1.2" stroke-linejoin="round"/>'
            f'<path d="M{x + 27} {y + 18} Q{x + 30} {y + 23} {x + 27} {y + 28} M{x + 31} {y + 14} Q{x + 36.5} {y + 23} '
            f'{x + 31} {y + 32} M{x + 35} {y + 10} Q{x + 43} {y + 23} {x + 35} {y + 36}" fill="none" '
            f'stroke="{ACCENT}" stroke-width="2" stroke-linecap="round"/>')


def padlock(n, x, y, open_):
    g = lin_defs(f"{n}-body", [(0, "#ffd86b"), (1, "#c98a12")])
    # the shackle: closed, both legs go into the body; open, it is lifted clear on the left
    if open_:
        path = (f'M{x + 15} {y + 14} V{y + 11} Q{x + 15} {y + 3} {x + 23} {y + 3} Q{x + 31} {y + 3} '
                f'{x + 31} {y + 11} V{y + 22}')
    else:
        path = (f'M{x + 15} {y + 22} V{y + 14} Q{x + 15} {y + 6} {x + 23} {y + 6} Q{x + 31} {y + 6} '
                f'{x + 31} {y + 14} V{y + 22}')
    shackle = f'<path d="{path}" fill="none" stroke="#c5ccd4" stroke-width="3.6" stroke-linecap="round"/>'
    body = (f'<rect x="{x + 10.5}" y="{y + 20.5}" width="25" height="19" rx="3" fill="url(#{n}-body)" '
            f'stroke="#5a3d05" stroke-width="1"/>'
            f'<circle cx="{x + 23}" cy="{y + 28.5}" r="2.6" fill="#5a3d05"/>'
            f'<rect x="{x + 22}" y="{y + 29}" width="2" height="6" rx="0.8" fill="#5a3d05"/>')
    return g + shackle + body


def category_pictures():
    d = CATEGORY_BOXES
    return (cat_documents("topbl-doc", *d["documents"]) + cat_images("topbl-img", *d["images"])
            + cat_audio("topbl-aud", *d["audio"]) + padlock("topbl-lock", *d["lock"], False)
            + padlock("topbl-unlock", *d["unlock"], True))


@pic("topbl")
def _topbl():
    s = backdrop("topbl", 526, 75, top="#4a4a4a", bottom="#2e2e2e", label_band=17)
    return s.replace("\n</svg>", "\n" + category_pictures() + "\n</svg>")


@pic("beh1")
def _beh1():
    n = "beh1"
    w, h = 243, 67
    inset = (f'<rect x="4" y="4" width="{w - 8}" height="{h - 8}" rx="3" fill="#000000" fill-opacity="0.18"/>'
             f'<rect x="4" y="{h - 5}" width="{w - 8}" height="1" fill="#ffffff" fill-opacity="0.08"/>')
    s = backdrop(n, w, h, top="#444444", bottom="#2c2c2c")
    return s.replace("\n</svg>", "\n" + inset + "\n</svg>")


@pic("beh12")
def _beh12():
    n = "beh12"
    w, h = 222, 251
    s = backdrop(n, w, h, top="#424242", bottom="#2f2f2f", accent_y=2)
    inset = (f'<rect x="5" y="6" width="{w - 10}" height="{h - 11}" rx="4" fill="#000000" fill-opacity="0.14"/>'
             f'<rect x="5" y="{h - 6}" width="{w - 10}" height="1" fill="#ffffff" fill-opacity="0.07"/>')
    return s.replace("\n</svg>", "\n" + inset + "\n</svg>")


@pic("beh")
def _beh():
    n = "beh"
    w, h = 263, 29
    out = ["<defs>" + lin(f"{n}-bg", [(0, "#3a3a3a"), (1, "#242424")]) + "</defs>",
           f'<rect x="0" y="0" width="{w}" height="{h}" fill="url(#{n}-bg)"/>',
           f'<rect x="0" y="0" width="{w}" height="1" fill="#000000" fill-opacity="0.4"/>',
           f'<rect x="0" y="1" width="{w}" height="1" fill="{ACCENT}" fill-opacity="0.3"/>',
           f'<rect x="0" y="2" width="{w}" height="1" fill="#ffffff" fill-opacity="0.06"/>']
    return svg(w, h, "\n".join(out), stretch=True)


def main():
    os.makedirs(PICTURES, exist_ok=True)
    os.makedirs(ICONS, exist_ok=True)
    for name, fn in PICS.items():
        with open(os.path.join(PICTURES, name + ".svg"), "w") as fh:
            fh.write(fn())
    with open(os.path.join(ICONS, "vorpelconverter.svg"), "w") as fh:
        fh.write(app_icon())
    # the support page shows the application icon inline
    page = os.path.join(HERE, "..", "support", "index.html")
    if os.path.exists(page):
        with open(page) as fh:
            html = fh.read()
        begin, end = "<!-- icon:begin -->", "<!-- icon:end -->"
        a, b = html.index(begin) + len(begin), html.index(end)
        icon = app_icon().replace('width="256" height="256" ', 'width="72" height="72" aria-hidden="true" ')
        with open(page, "w") as fh:
            fh.write(html[:a] + "\n" + icon + html[b:])
    print(f"wrote {len(PICS)} pictures and the application icon")


if __name__ == "__main__":
    main()
