"""Pieces every window shares: the program's icons, the hand cursor, the
caption buttons of the skinned windows and the page background."""
from skinlib import *

# Pages are laid out for 640 x 480 pixels; the background is stretched to the
# client area, so other sizes work too. The header band is 64 pixels high.
PAGE_W, PAGE_H, HEADER = 640, 480, 64


def band_stops():
    return [(0, BRAND_LIGHT), (0.55, BRAND), (1, BRAND_DARK)]


def page_background(c):
    draw_page_background(c, header=HEADER)


def caption_button(glyph, state, header=HEADER):
    """30 x 24 button for the top edge of a header band of that height (y 0..24),
    with the window frame above it (and right of the close button)."""
    def draw(c):
        for y in range(c.h):
            c.fill_rect(0, y, c.w, y + 1, gradient_at(band_stops(), y / (header - 1)))
        draw_caption_button(c, glyph, state)
        draw_window_frame_edge(c, right=glyph == "close")
    return draw


def app_icon(c, size):
    draw_logo(c, 0, 0, size)


def update_icon(c, size):
    """The logo plate with an upward arrow over a tray: getting the new version."""
    s = size / 32.0
    c.round_rect(1 * s, 1 * s, 31 * s, 31 * s, 7 * s, darker(BRAND, 0.25))
    c.round_rect(1 * s, 1 * s, 31 * s, 30 * s, 7 * s, BRAND)
    c.polygon([(16 * s, 5 * s), (24.5 * s, 14 * s), (19.5 * s, 14 * s), (19.5 * s, 20 * s),
               (12.5 * s, 20 * s), (12.5 * s, 14 * s), (7.5 * s, 14 * s)], WHITE)
    c.round_rect(7 * s, 22.5 * s, 25 * s, 26 * s, 1.2 * s, ACCENT)


# A pointing hand, hot spot at the fingertip.
HAND = [
    ".....XX.........................",
    "....XooX........................",
    "....XooX........................",
    "....XooX........................",
    "....XooX........................",
    "....XooXXX......................",
    "....XooXooXXX...................",
    "....XooXooXooXX.................",
    "XX..XooXooXooXoX................",
    "XoX.XooooooooXooX...............",
    "XooXXooooooooooooX..............",
    ".XooXoooooooooooooX.............",
    "..XoooooooooooooooX.............",
    "..XoooooooooooooooX.............",
    "...XooooooooooooooX.............",
    "...XoooooooooooooX..............",
    "....XooooooooooooX..............",
    "....XoooooooooooX...............",
    ".....XooooooooooX...............",
    ".....XooooooooooX...............",
    ".....XXXXXXXXXXXX...............",
]

RESOURCES = [
    Icon(256, "program icon", app_icon),
    Icon(477, "update dialog icon", update_icon, sizes=(16, 32, 48)),
    Cursor(137, "hand cursor for links and buttons", HAND, hotspot=(5, 0)),
    Bitmap(434, "page background", PAGE_W, PAGE_H, page_background),
    Bitmap(431, "close button", 30, 24, caption_button("close", "normal")),
    Bitmap(430, "close button, mouse over it", 30, 24, caption_button("close", "hover")),
    Bitmap(433, "minimise button", 30, 24, caption_button("minimise", "normal")),
    Bitmap(432, "minimise button, mouse over it", 30, 24, caption_button("minimise", "hover")),
    # The main window's band is 80 pixels high: its buttons carry that gradient.
    Bitmap(490, "main window close button", 30, 24, caption_button("close", "normal", 80)),
    Bitmap(491, "main window close button, mouse over it", 30, 24, caption_button("close", "hover", 80)),
    Bitmap(492, "main window minimise button", 30, 24, caption_button("minimise", "normal", 80)),
    Bitmap(493, "main window minimise button, mouse over it", 30, 24, caption_button("minimise", "hover", 80)),
]
