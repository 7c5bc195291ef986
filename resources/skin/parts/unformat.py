"""Pictures of the unformat road: the volume list's row images and the
location page's picture (the result page uses the caption and tool buttons of
recovery.py)."""
from skinlib import *

def hard_disk(c, x, s):
    """A hard disk seen from the front at (x, 0), s pixels square."""
    k = s / 24.0
    c.round_rect(x + 2 * k, 7 * k, x + 22 * k, 19 * k, 2.5 * k, darker((176, 188, 204), 0.25))
    c.round_rect(x + 2 * k, 6 * k, x + 22 * k, 17.5 * k, 2.5 * k, (214, 222, 232))
    c.round_rect(x + 3 * k, 7 * k, x + 21 * k, 11 * k, 1.5 * k, (236, 240, 246))
    c.fill_rect(int(x + 5 * k), int(13 * k), int(x + 14 * k), int(14.2 * k), (150, 162, 178))
    c.circle(x + 18.5 * k, 13.6 * k, 1.3 * k, GOOD)


def removable(c, x, s):
    """A USB stick."""
    k = s / 24.0
    c.round_rect(x + 5 * k, 3 * k, x + 12 * k, 8 * k, 1 * k, (200, 206, 214))
    c.fill_rect(int(x + 7 * k), int(4.5 * k), int(x + 8.5 * k), int(6 * k), (120, 130, 145))
    c.fill_rect(int(x + 9 * k), int(4.5 * k), int(x + 10.5 * k), int(6 * k), (120, 130, 145))
    c.round_rect(x + 3.5 * k, 7.5 * k, x + 13.5 * k, 21 * k, 2.5 * k, BRAND)
    c.round_rect(x + 4.5 * k, 8.5 * k, x + 12.5 * k, 12 * k, 1.5 * k, BRAND_LIGHT + (160,))
    c.circle(x + 8.5 * k, 17 * k, 1.2 * k, WHITE)


def volume_icons(c):
    hard_disk(c, 0, 24)
    removable(c, 24, 24)


def location_picture(c):
    """A disk with a circular arrow round it: what was there comes back."""
    c.fill_rect(0, 0, c.w, c.h, WHITE)
    cx, cy = c.w / 2, c.h / 2
    c.ring(cx, cy, 29, 4, BRAND_PALE)
    c.ring(cx, cy, 29, 4, BRAND, 110, 400)
    # the arrow head where the ring ends (110 degrees, counter-clockwise)
    import math
    a = math.radians(110)
    hx, hy = cx + 29 * math.cos(a), cy - 29 * math.sin(a)
    c.polygon([(hx - 7, hy - 1), (hx + 5, hy - 6), (hx + 3, hy + 7)], BRAND)
    c.round_rect(cx - 17, cy - 8, cx + 17, cy + 12, 4, darker((176, 188, 204), 0.2))
    c.round_rect(cx - 17, cy - 9, cx + 17, cy + 10, 4, (214, 222, 232))
    c.round_rect(cx - 15, cy - 7, cx + 15, cy - 1, 2, (241, 244, 248))
    c.fill_rect(int(cx - 12), int(cy + 3), int(cx + 4), int(cy + 5), (150, 162, 178))
    c.circle(cx + 11, cy + 4, 2, GOOD)


RESOURCES = [
    KeyedStrip(720, "volume list row images: disk, removable", 48, 24, volume_icons),
    Bitmap(721, "picture of the unformat road", 96, 80, location_picture, background=WHITE),
]
