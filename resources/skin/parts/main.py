"""The main window: its background (a taller band for the logo and the road
tabs), the logo banner, and the six mode buttons, each a white card with the
picture of its road (the caption and a line of explanation are drawn by the
button under the picture)."""
import math

from skinlib import *

MAIN_W, MAIN_H, MAIN_HEADER = 640, 510, 80
CARD_W, CARD_H = 144, 146


def band_colour(y, height=MAIN_HEADER):
    return gradient_at([(0, BRAND_LIGHT), (0.55, BRAND), (1, BRAND_DARK)], y / (height - 1))


def main_background(c):
    draw_page_background(c, header=MAIN_HEADER)
    # a quiet line above the tip and the links
    c.fill_rect(16, c.h - 44, c.w - 16, c.h - 43, FRAME_LIGHT)


def banner(c):
    """286 x 79 at the top left of the band: the logo; the name is the
    button's caption."""
    for y in range(c.h):
        c.fill_rect(0, y, c.w, y + 1, band_colour(y))
    rings = Canvas(c.w, c.h)
    c.blit(rings, 0, 0)
    draw_logo(c, 16, 11, 56)
    # the window frame above it and at its left, as the background has it
    draw_window_frame_edge(c)
    c.fill_rect(0, 0, 1, c.h, darker(BRAND, 0.35))


# ---- the pictures of the roads (64 x 64, drawn at (40, 14) of a card) ---------

def plate(c, x, y, colour):
    c.round_rect(x, y, x + 64, y + 64, 16, lighter(colour, 0.82))


def pic_deleted(c, x, y):
    col = BRAND
    plate(c, x, y, col)
    # a document with a folded corner
    d0, d1 = x + 19, x + 45
    c.polygon([(d0, y + 12), (d1 - 8, y + 12), (d1, y + 20), (d1, y + 52), (d0, y + 52)], WHITE)
    c.round_frame(d0 - 1, y + 11, d1 + 1, y + 53, 1.5, 1.6, col)
    c.polygon([(d1 - 8, y + 12), (d1, y + 20), (d1 - 8, y + 20)], lighter(col, 0.5))
    for i in range(3):
        c.fill_rect(d0 + 5, y + 27 + i * 6, d1 - 5, y + 29 + i * 6, lighter(col, 0.45))
    # the arrow that brings it back, on a round badge
    c.circle(x + 45, y + 45, 12.5, lighter(col, 0.82))
    c.circle(x + 45, y + 45, 11, WHITE)
    c.ring(x + 45, y + 45, 8.5, 3.0, ACCENT, 120, 360)
    c.polygon([(x + 33.5, y + 41), (x + 42, y + 41), (x + 37.5, y + 48)], ACCENT)


def pic_unformat(c, x, y):
    col = (22, 150, 140)
    plate(c, x, y, col)
    c.round_rect(x + 10, y + 20, x + 54, y + 46, 5, darker(col, 0.05))
    c.round_rect(x + 12, y + 22, x + 52, y + 40, 4, lighter(col, 0.25))
    c.circle(x + 46, y + 42.5, 1.8, (140, 240, 170))
    c.fill_rect(x + 16, y + 42, x + 34, y + 44, lighter(col, 0.5))
    # a circular arrow over the disk: the tree comes back
    c.ring(x + 32, y + 31, 9, 2.8, WHITE, 40, 330)
    c.polygon([(x + 38, y + 21), (x + 44, y + 27), (x + 36, y + 29)], WHITE)


def pic_deep(c, x, y):
    col = (118, 82, 200)
    plate(c, x, y, col)
    # sectors in rows
    for row in range(4):
        for k in range(5):
            shade = lighter(col, 0.35 if (row + k) % 3 else 0.0)
            c.round_rect(x + 10 + k * 9, y + 12 + row * 9, x + 17 + k * 9, y + 19 + row * 9, 1.2, shade)
    c.ring(x + 38, y + 38, 12, 3.6, darker(col, 0.25))
    c.circle(x + 38, y + 38, 8.6, WHITE + (200,))
    c.line(x + 46.5, y + 46.5, x + 55, y + 55, 5.5, darker(col, 0.25))


def pic_removable(c, x, y):
    col = ACCENT
    plate(c, x, y, col)
    # a memory card
    c.polygon([(x + 18, y + 12), (x + 40, y + 12), (x + 47, y + 19), (x + 47, y + 52), (x + 18, y + 52)],
              darker(col, 0.05))
    for k in range(4):
        c.fill_rect(x + 22 + k * 5, y + 15, x + 25 + k * 5, y + 22, lighter(col, 0.7))
    c.round_rect(x + 22, y + 30, x + 43, y + 47, 2, WHITE)
    # a small picture on its label
    c.polygon([(x + 24, y + 45), (x + 30, y + 37), (x + 35, y + 43), (x + 38, y + 40), (x + 42, y + 45)],
              lighter(BRAND, 0.2))
    c.circle(x + 38, y + 34, 1.8, ACCENT)


def pic_recycle(c, x, y):
    col = GOOD
    plate(c, x, y, col)
    # the bin
    c.round_rect(x + 17, y + 14, x + 47, y + 19, 1.5, darker(col, 0.1))
    c.round_rect(x + 27, y + 11, x + 37, y + 15, 1.5, darker(col, 0.1))
    c.polygon([(x + 19, y + 20), (x + 45, y + 20), (x + 42, y + 53), (x + 22, y + 53)], lighter(col, 0.15))
    for k in range(3):
        c.fill_rect(x + 25 + k * 6, y + 25, x + 27 + k * 6, y + 48, lighter(col, 0.55))
    # an arrow up out of it
    c.polygon([(x + 32, y + 26), (x + 41, y + 36), (x + 36, y + 36), (x + 36, y + 46), (x + 28, y + 46),
               (x + 28, y + 36), (x + 23, y + 36)], WHITE)


def pic_lostpart(c, x, y):
    col = (214, 76, 96)
    plate(c, x, y, col)
    cx, cy, r = x + 30, y + 34, 18

    def wedge(a0, a1, colour, dx=0.0, dy=0.0):
        pts = [(cx + dx, cy + dy)]
        steps = 24
        for i in range(steps + 1):
            a = math.radians(a0 + (a1 - a0) * i / steps)
            pts.append((cx + dx + r * math.cos(a), cy + dy - r * math.sin(a)))
        c.polygon(pts, colour)
    wedge(70, 360, lighter(col, 0.2))
    # the lost slice, pulled out
    wedge(10, 60, darker(col, 0.1), 6, -5)
    c.circle(cx, cy, 4, lighter(col, 0.82))


PICTURES = {
    "deleted": pic_deleted, "unformat": pic_unformat, "deep": pic_deep,
    "removable": pic_removable, "recycle": pic_recycle, "lostpart": pic_lostpart,
}


def card(picture, state):
    def draw(c):
        c.fill_rect(0, 0, c.w, c.h, lighter(PAGE, 0.15))
        if state == "hover":
            edge, face = lighter(BRAND, 0.25), (246, 250, 255)
        elif state == "pressed":
            edge, face = BRAND, (234, 242, 252)
        else:
            edge, face = FRAME_LIGHT, WHITE
        # a soft shadow, the card, its face
        c.round_rect(1, 3, c.w - 1, c.h, 9, (225, 231, 240))
        c.round_rect(0, 0, c.w, c.h - 2, 9, edge)
        width = 2 if state != "normal" else 1
        c.round_rect(width, width, c.w - width, c.h - 2 - width, 9 - width, face)
        off = 1 if state == "pressed" else 0
        PICTURES[picture](c, (c.w - 64) // 2 + off, 14 + off)
    return draw


def cards():
    # id order of each road: normal, pressed, hover (images.h)
    ids = {
        "deleted": (421, 422, 423), "unformat": (425, 424, 426), "deep": (427, 428, 429),
        "removable": (451, 450, 452), "recycle": (464, 463, 462), "lostpart": (467, 466, 465),
    }
    out = []
    for name, (normal, pressed, hover) in ids.items():
        out.append(Bitmap(normal, "mode button %s" % name, CARD_W, CARD_H, card(name, "normal")))
        out.append(Bitmap(pressed, "mode button %s, pressed" % name, CARD_W, CARD_H, card(name, "pressed")))
        out.append(Bitmap(hover, "mode button %s, mouse over it" % name, CARD_W, CARD_H, card(name, "hover")))
    return out


RESOURCES = [
    Bitmap(420, "main window background", MAIN_W, MAIN_H, main_background),
    Bitmap(482, "main window logo banner", 286, 79, banner),
] + cards()
