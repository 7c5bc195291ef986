"""Pictures the preview area shows by itself ("Dat" resources): while a found
picture loads (418, a JPEG) and when it cannot be shown (367, a bitmap)."""
from skinlib import *

W, H = 240, 180


def photo_frame(c, colour):
    """A landscape-photo glyph in the middle of the canvas."""
    x0, y0, x1, y1 = W / 2 - 42, H / 2 - 40, W / 2 + 42, H / 2 + 22
    c.round_rect(x0, y0, x1, y1, 5, colour)
    c.round_rect(x0 + 4, y0 + 4, x1 - 4, y1 - 4, 3, PANEL)
    c.polygon([(x0 + 8, y1 - 8), (x0 + 30, y0 + 24), (x0 + 46, y1 - 22), (x0 + 56, y1 - 30),
               (x1 - 8, y1 - 8)], lighter(colour, 0.35))
    c.circle(x1 - 20, y0 + 17, 6, lighter(ACCENT, 0.2))


def no_preview(c):
    c.vgradient(0, 0, W, H, [(0, PANEL), (1, PAGE)])
    c.frame(0, 0, W, H, FRAME_LIGHT)
    photo_frame(c, TEXT_LIGHT)
    # a slash through it
    c.line(W / 2 - 46, H / 2 + 26, W / 2 + 46, H / 2 - 44, 5, PANEL)
    c.line(W / 2 - 46, H / 2 + 26, W / 2 + 46, H / 2 - 44, 2.5, (200, 80, 70))
    for i in range(3):
        c.fill_rect(W // 2 - 40, H // 2 + 40 + i * 9, W // 2 + 40 - i * 22, H // 2 + 43 + i * 9, FRAME)


def loading(c):
    c.vgradient(0, 0, W, H, [(0, PANEL), (1, PAGE)])
    c.frame(0, 0, W, H, FRAME_LIGHT)
    photo_frame(c, BRAND_LIGHT)
    for i in range(5):
        t = i / 4.0
        c.circle(W / 2 - 28 + i * 14, H / 2 + 44, 4, mix(BRAND, BRAND_PALE, t))


RESOURCES = [
    Data(367, "no preview possible", W, H, no_preview, fmt="bmp"),
    Data(418, "preview loading", W, H, loading, fmt="jpg"),
]
