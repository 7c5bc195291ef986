"""The update dialog (dialog 473): its background, stretched over the dialog."""
from skinlib import *

# The same band as the pages, so that the close button (431/430) sits on it.
UPDATE_W, UPDATE_H, HEADER = 560, 170, 64


def update_background(c):
    draw_page_background(c, header=HEADER)
    # a white panel behind the status line and the bar
    c.round_rect(12, HEADER + 10, c.w - 12, c.h - 14, 6, FRAME_LIGHT)
    c.round_rect(13, HEADER + 11, c.w - 13, c.h - 15, 5, PANEL)


RESOURCES = [
    Bitmap(478, "update dialog background", UPDATE_W, UPDATE_H, update_background),
]
