"""The partition page: its background (the page look with the logo in the
band), the three operation tiles (back up, restore, rebuild; normal, pressed,
hover), the picture over them (a disk and its partition map) and the small
help link.

The page places its controls at the pixel positions in LAYOUT
(pages/partition_page.cpp keeps the same numbers), and each picture is drawn
over the part of the background it covers, so rounded corners show the page
behind them.
"""
from skinlib import *

PAGE_W, PAGE_H, HEADER = 640, 480, 64

# (x, y, width, height) in page pixels.
LAYOUT = {
    "picture": (336, 102, 280, 52),
    "backup": (336, 162, 280, 58),
    "restore": (336, 228, 280, 58),
    "rebuild": (336, 294, 280, 58),
    "link": (24, 428, 96, 26),
}

_background = None


def background():
    global _background
    if _background is None:
        c = Canvas(PAGE_W, PAGE_H, PAGE)
        draw_page_background(c, header=HEADER)
        # the logo on the band, where the other pages have their banner button
        draw_logo(c, 12, 8, 48)
        _background = c
    return _background


def page_background(c):
    c.blit(background(), 0, 0)


def behind(c, name):
    """Copies the background under control name into c."""
    x, y, w, h = LAYOUT[name]
    bg = background()
    for j in range(h):
        for i in range(w):
            c.put(i, j, bg.get(x + i, y + j))


# ---- the operation tiles ----------------------------------------------------
TILE_LOOKS = {
    "normal": {"face": (PANEL, (248, 250, 253)), "edge": FRAME_LIGHT, "plate": BRAND_PALE},
    "hover": {"face": ((246, 250, 255), (234, 243, 253)), "edge": BRAND_LIGHT, "plate": lighter(BRAND_LIGHT, 0.55)},
    "pressed": {"face": ((228, 238, 250), (238, 244, 252)), "edge": BRAND, "plate": lighter(BRAND_LIGHT, 0.45)},
}
ICON_BOX = 40   # the icon's plate, at (10, 9) of a 58-pixel tile


def tile(name, state, glyph):
    look = TILE_LOOKS[state]

    def draw(c):
        behind(c, name)
        c.round_rect(0, 0, c.w, c.h, 6, look["edge"])
        face = Canvas(c.w - 2, c.h - 2)
        face.vgradient(0, 0, face.w, face.h, [(0, look["face"][0]), (1, look["face"][1])])
        shape = Canvas(c.w - 2, c.h - 2)
        shape.round_rect(0, 0, shape.w, shape.h, 5, WHITE)
        for j in range(face.h):
            for i in range(face.w):
                a = shape.get(i, j)[3]
                if a:
                    c.put(1 + i, 1 + j, face.get(i, j)[:3] + (a,))
        if state == "hover":
            # a thin accent along the left edge: this is what the click does
            c.round_rect(1, 6, 4, c.h - 6, 1.5, BRAND_LIGHT)
        x0 = 10 + (1 if state == "pressed" else 0)
        y0 = (c.h - ICON_BOX) // 2 + (1 if state == "pressed" else 0)
        c.round_rect(x0, y0, x0 + ICON_BOX, y0 + ICON_BOX, 8, look["plate"])
        glyph(c, x0, y0, ICON_BOX)
    return draw


def draw_disk(c, x, y, w, h, body=(120, 134, 152)):
    """A hard disk seen from the front: a dark box with a light and a slot."""
    c.round_rect(x, y, x + w, y + h, h * 0.22, darker(body, 0.25))
    c.round_rect(x, y, x + w, y + h - 1.2, h * 0.22, body)
    c.round_rect(x + 1, y + 1, x + w - 1, y + h * 0.45, h * 0.18, lighter(body, 0.25) + (150,))
    c.fill_rect(int(x + w * 0.14), int(y + h * 0.58), int(x + w * 0.62), int(y + h * 0.58) + 2,
                darker(body, 0.35))
    c.circle(x + w * 0.8, y + h * 0.6, h * 0.12, GOOD)


def draw_document(c, x, y, w, h, colour=WHITE, edge=BRAND):
    fold = w * 0.32
    c.polygon([(x, y), (x + w - fold, y), (x + w, y + fold), (x + w, y + h), (x, y + h)], edge)
    c.polygon([(x + 1.3, y + 1.3), (x + w - fold - 0.4, y + 1.3), (x + w - 1.3, y + fold + 0.4),
               (x + w - 1.3, y + h - 1.3), (x + 1.3, y + h - 1.3)], colour)
    c.polygon([(x + w - fold, y), (x + w, y + fold), (x + w - fold, y + fold)], lighter(edge, 0.5))
    for i in range(3):
        ly = y + h * (0.42 + 0.17 * i)
        c.fill_rect(int(round(x + w * 0.2)), int(round(ly)), int(round(x + w * 0.8)), int(round(ly)) + 1,
                    lighter(edge, 0.45))


def arrow_down(c, cx, top, bottom, width, colour):
    head = width * 2.4
    c.fill_rect(int(round(cx - width / 2)), int(round(top)), int(round(cx + width / 2)),
                int(round(bottom - head * 0.6)), colour)
    c.polygon([(cx - head / 2 - 1, bottom - head * 0.7), (cx + head / 2 + 1, bottom - head * 0.7), (cx, bottom)],
              colour)


def glyph_backup(c, x, y, s):
    """The disk's table going into a file: disk, arrow down, document."""
    draw_disk(c, x + 6, y + 6, 20, 11)
    arrow_down(c, x + 16, y + 18, y + 30, 3, BRAND)
    draw_document(c, x + 21, y + 15, 14, 18)
    c.circle(x + 31, y + 30, 5.5, GOOD)
    c.line(x + 28.6, y + 30.2, x + 30.5, y + 32.1, 1.4, WHITE)
    c.line(x + 30.5, y + 32.1, x + 33.6, y + 28.2, 1.4, WHITE)


def glyph_restore(c, x, y, s):
    """A backup file going back onto the disk: document, a turning arrow, disk."""
    draw_document(c, x + 5, y + 5, 14, 18)
    draw_disk(c, x + 13, y + 27, 22, 10)
    cx, cy, r = x + 21, y + 16, 9
    c.ring(cx, cy, r, 2.6, BRAND, 330, 95)
    px, py = cx + (r - 1.3) * 0.866, cy + (r - 1.3) * 0.5
    c.polygon([(px - 4, py - 1), (px + 4, py - 1), (px, py + 5)], BRAND)


def glyph_rebuild(c, x, y, s):
    """The partition map of a disk, searched with a magnifier."""
    bar_y = y + 8
    segs = [(0, 3, BRAND_DEEP), (3, 13, BRAND), (13, 21, GOOD), (21, 28, ACCENT)]
    for a, b, col in segs:
        c.fill_rect(x + 6 + a, bar_y, x + 6 + b, bar_y + 9, col)
        c.fill_rect(x + 6 + b, bar_y, x + 7 + b, bar_y + 9, WHITE)
    c.frame(x + 5, bar_y - 1, x + 35, bar_y + 10, darker(BRAND, 0.2))
    c.ring(x + 21, y + 26, 7, 2.6, BRAND_DARK)
    c.circle(x + 21, y + 26, 5.3, WHITE + (200,))
    c.line(x + 26, y + 31, x + 32, y + 37, 3.4, BRAND_DARK)


# ---- the picture over the operations ----------------------------------------
def partition_picture(c):
    """A disk and its partition map: the table in front, then the partitions."""
    behind(c, "picture")
    c.round_rect(0, 0, c.w, c.h, 6, FRAME_LIGHT)
    c.round_rect(1, 1, c.w - 1, c.h - 1, 5, PANEL)
    draw_disk(c, 12, 13, 40, 24)
    x0, x1, y0, y1 = 66, c.w - 14, 15, 37
    parts = [(0.0, 0.035, BRAND_DEEP), (0.035, 0.36, BRAND), (0.36, 0.62, lighter(BRAND, 0.35)),
             (0.62, 0.86, GOOD), (0.86, 1.0, (222, 226, 232))]
    width = x1 - x0
    for a, b, col in parts:
        xa, xb = x0 + int(round(a * width)), x0 + int(round(b * width))
        c.vgradient(xa, y0, xb, y1, [(0, lighter(col, 0.18)), (1, col)])
        c.fill_rect(xb, y0, xb + 1, y1, WHITE)
    c.frame(x0 - 1, y0 - 1, x1 + 1, y1 + 1, darker(FRAME, 0.1))
    # the table at the front of the disk, pointed at from below
    tx = x0 + int(round(0.0175 * width))
    c.polygon([(tx - 4, y1 + 8), (tx + 4, y1 + 8), (tx, y1 + 3)], ACCENT)


# ---- the help link ----------------------------------------------------------
def help_link(state):
    def draw(c):
        behind(c, "link")
        if state == "hover":
            c.round_rect(0, 0, c.w, c.h, 4, BRAND_PALE)
        c.circle(13, c.h / 2, 7, BRAND if state == "normal" else BRAND_DARK)
        # a question mark
        c.ring(13, c.h / 2 - 1.6, 3.0, 1.5, WHITE, 300, 170)
        c.line(14.3, c.h / 2 + 0.6, 13, c.h / 2 + 2.2, 1.5, WHITE)
        c.circle(13, c.h / 2 + 4.2, 0.95, WHITE)
    return draw


def tile_set(name, ids, glyph):
    normal, pressed, hover = ids
    w, h = LAYOUT[name][2], LAYOUT[name][3]
    return [
        Bitmap(normal, "%s tile" % name, w, h, tile(name, "normal", glyph)),
        Bitmap(pressed, "%s tile, pressed" % name, w, h, tile(name, "pressed", glyph)),
        Bitmap(hover, "%s tile, mouse over it" % name, w, h, tile(name, "hover", glyph)),
    ]


RESOURCES = (
    [Bitmap(206, "partition page background", PAGE_W, PAGE_H, page_background)]
    + tile_set("backup", (205, 203, 204), glyph_backup)
    + tile_set("restore", (209, 207, 208), glyph_restore)
    + tile_set("rebuild", (214, 212, 213), glyph_rebuild)
    + [
        Bitmap(412, "partition page picture", LAYOUT["picture"][2], LAYOUT["picture"][3], partition_picture),
        Bitmap(328, "help link", LAYOUT["link"][2], LAYOUT["link"][3], help_link("normal")),
        Bitmap(329, "help link, mouse over it", LAYOUT["link"][2], LAYOUT["link"][3], help_link("hover")),
    ]
)
