"""The About box (dialog 277): background, its OK button and the logo banner."""
from skinlib import *

ABOUT_W, ABOUT_H, ABOUT_HEADER = 420, 270, 76


def about_background(c):
    draw_page_background(c, header=ABOUT_HEADER)
    # a white panel for the facts below the band
    c.round_rect(16, ABOUT_HEADER + 14, c.w - 16, c.h - 52, 6, FRAME_LIGHT)
    c.round_rect(17, ABOUT_HEADER + 15, c.w - 17, c.h - 53, 5, PANEL)


def ok_button(state):
    def draw(c):
        draw_button(c, state)
    return draw


def banner_logo(c):
    """The mark on the About box's band, 56 x 56 at (16, 10) of the background."""
    for y in range(c.h):
        c.fill_rect(0, y, c.w, y + 1, gradient_at([(0, BRAND_LIGHT), (0.55, BRAND), (1, BRAND_DARK)],
                                                  (y + 10) / (ABOUT_HEADER - 1)))
    draw_logo(c, 0, 0, 56)


def banner_mask(c):
    """Where the banner button is: the logo's plate (black), the rest white,
    so that the band of the background shows round the rounded corners."""
    c.fill_rect(0, 0, c.w, c.h, WHITE)
    plate = Canvas(c.w, c.h)
    draw_logo(plate, 0, 0, 56)
    for y in range(c.h):
        for x in range(c.w):
            if plate.get(x, y)[3] >= 128:
                c.put(x, y, BLACK)


RESOURCES = [
    Bitmap(445, "about box background", ABOUT_W, ABOUT_H, about_background),
    Bitmap(361, "about box OK button", 84, 26, ok_button("normal")),
    Bitmap(359, "about box OK button, pressed", 84, 26, ok_button("pressed")),
    Bitmap(360, "about box OK button, mouse over it", 84, 26, ok_button("hover")),
    Bitmap(480, "about box logo banner", 56, 56, banner_logo),
    Bitmap(481, "about box logo banner, its shape", 56, 56, banner_mask, background=WHITE),
]
