"""Pieces the wizard pages share: their push buttons (a blue one for the step
forward, a white one for the way back), the logo of the header band, and the
band of the small boxes (stop question, busy boxes, settings)."""
from skinlib import *

# Page buttons are 90 x 30 pixels; they are stretched to other sizes.
BTN_W, BTN_H = 90, 30
PAGE_HEADER = 64      # the band of the page background (common.py)
BOX_BAND = 36         # the band of the small boxes


def primary(state):
    def draw(c):
        draw_button(c, state, radius=5)
    return draw


def secondary(state):
    """White face, grey edge; blue edge under the mouse."""
    looks = {
        "normal": ((255, 255, 255), (240, 244, 249), (170, 183, 199)),
        "hover": ((250, 252, 255), (232, 241, 252), lighter(BRAND, 0.25)),
        "pressed": ((226, 234, 244), (240, 244, 249), darker((170, 183, 199), 0.15)),
        "disabled": ((244, 245, 247), (236, 238, 241), (205, 210, 216)),
    }
    top, bottom, edge = looks[state]

    def draw(c):
        c.round_rect(0, 0, c.w, c.h, 5, edge)
        inner = Canvas(c.w - 2, c.h - 2)
        inner.vgradient(0, 0, inner.w, inner.h, [(0, top), (1, bottom)])
        shape = Canvas(c.w - 2, c.h - 2)
        shape.round_rect(0, 0, shape.w, shape.h, 4, WHITE)
        for j in range(inner.h):
            for i in range(inner.w):
                a = shape.get(i, j)[3]
                if a:
                    c.put(1 + i, 1 + j, inner.get(i, j)[:3] + (a,))
    return draw


def band_row(c, y, height):
    return gradient_at([(0, BRAND_LIGHT), (0.55, BRAND), (1, BRAND_DARK)], y / (height - 1))


def page_banner(c):
    """The mark on a page's band: 48 x 48 at (12, 8) of the 64-pixel band, so
    the band shows round the plate's corners."""
    for y in range(c.h):
        c.fill_rect(0, y, c.w, y + 1, band_row(c, y + 8, PAGE_HEADER))
    draw_logo(c, 0, 0, 48)


def box_band(c):
    """The band of the small boxes (stretched in width only)."""
    for y in range(c.h):
        c.fill_rect(0, y, c.w, y + 1, band_row(c, y, c.h))
    rings = Canvas(c.w, c.h)
    for i, r in enumerate((c.h * 1.6, c.h * 1.1)):
        rings.ring(c.w - c.h * 1.2, c.h * 0.5, r, 1.2, lighter(BRAND, 0.3 + 0.1 * i) + (70,))
    c.blit(rings, 0, 0)


def nothing_found(c):
    """An empty folder with a magnifier: the scan found nothing."""
    c.fill_rect(0, 0, c.w, c.h, WHITE)
    # folder
    back = lighter(BRAND, 0.55)
    c.round_rect(6, 14, 50, 22, 2, back)
    c.round_rect(6, 18, 70, 58, 3, lighter(BRAND, 0.35))
    c.round_rect(6, 24, 70, 58, 3, lighter(BRAND, 0.62))
    c.fill_rect(12, 30, 64, 31, lighter(BRAND, 0.45))
    # magnifier
    c.ring(60, 46, 13, 3.2, BRAND_DARK)
    c.circle(60, 46, 9.6, WHITE + (170,))
    c.line(69, 55, 77, 63, 5, BRAND_DARK)


def scan_picture(c):
    """A disk under a magnifier: the scan is running."""
    c.fill_rect(0, 0, c.w, c.h, WHITE)
    c.round_rect(6, 22, 62, 58, 5, darker(PANEL, 0.22))
    c.round_rect(6, 20, 62, 54, 5, (236, 240, 246))
    c.round_rect(6, 20, 62, 54, 5, (214, 222, 232))
    c.round_rect(8, 22, 60, 52, 4, (241, 244, 248))
    c.circle(50, 45, 2.5, GOOD)
    c.fill_rect(14, 44, 36, 46, (190, 200, 212))
    c.ring(52, 26, 14, 3.2, BRAND)
    c.circle(52, 26, 10.6, BRAND_PALE + (190,))
    c.line(62, 36, 72, 46, 5, BRAND)


RESOURCES = [
    Bitmap(600, "page button, forward", BTN_W, BTN_H, primary("normal")),
    Bitmap(601, "page button, forward, pressed", BTN_W, BTN_H, primary("pressed")),
    Bitmap(602, "page button, forward, mouse over it", BTN_W, BTN_H, primary("hover")),
    Bitmap(603, "page button, forward, disabled", BTN_W, BTN_H, primary("disabled")),
    Bitmap(604, "page button, back", BTN_W, BTN_H, secondary("normal")),
    Bitmap(605, "page button, back, pressed", BTN_W, BTN_H, secondary("pressed")),
    Bitmap(606, "page button, back, mouse over it", BTN_W, BTN_H, secondary("hover")),
    Bitmap(607, "page button, back, disabled", BTN_W, BTN_H, secondary("disabled")),
    Bitmap(608, "page logo banner", 48, 48, page_banner),
    Bitmap(610, "band of the small boxes", 400, BOX_BAND, box_band),
    Bitmap(611, "picture of the running scan", 80, 66, scan_picture, background=WHITE),
    Bitmap(612, "picture of a scan that found nothing", 80, 66, nothing_found, background=WHITE),
]
