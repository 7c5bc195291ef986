"""Bitmaps of the skinned controls: check boxes, row images, progress and busy
strips, list separators, tab-strip looks, and the button looks of the control
tests.

Every picture is described here in plain shapes and colours and drawn by the
small anti-aliased painter below, so the BMP files are made again from this
text on every build and never edited by hand. Magenta (255, 0, 255) is the
colour the controls treat as transparent.

    python3 controls.py OUTDIR [--rc FILE] [--tests]
        writes every bitmap as OUTDIR/<name>.bmp and, with --rc, a resource
        script fragment that names them by id (--tests adds the test looks)
"""

import math
import os
import struct
import sys

# ---------------------------------------------------------------------------
# Palette: a light blue-grey skin with one blue accent and a calm green for
# work in progress. The frame colours are the ones the frame painters use.

MAGENTA = (255, 0, 255)
MATTE = (250, 251, 253)          # what soft edges over magenta blend with
WHITE = (255, 255, 255)
FRAME = (190, 203, 212)          # panel frames
FRAME_LIGHT = (215, 223, 238)
TROUGH_TOP = (232, 236, 242)
TROUGH_BOTTOM = (245, 246, 250)  # the bars' background colour
ACCENT = (41, 121, 201)
ACCENT_DARK = (28, 92, 160)
ACCENT_LIGHT = (120, 178, 232)
BOX_BORDER = (122, 140, 163)
BOX_BORDER_FIXED = (178, 186, 196)
GREEN_TOP = (120, 214, 140)
GREEN_BOTTOM = (46, 160, 84)
GREEN_EDGE = (34, 128, 64)
INK = (70, 82, 98)
TAB_IDLE_TOP = (226, 233, 242)
TAB_IDLE_BOTTOM = (208, 218, 231)
TAB_HOT_TOP = (240, 246, 253)
TAB_HOT_BOTTOM = (219, 233, 248)
TAB_EDGE = (150, 168, 190)
STRIP_LINE = (150, 168, 190)


def mix(a, b, t):
    """Colour between a (t=0) and b (t=1)."""
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# ---------------------------------------------------------------------------
# The painter: an RGB canvas with shapes given by signed distances, so edges
# are anti-aliased by their exact coverage of each pixel.

class Canvas:
    def __init__(self, width, height, fill=MAGENTA):
        self.w, self.h = width, height
        self.px = [[fill] * width for _ in range(height)]

    def get(self, x, y):
        return self.px[y][x]

    def put(self, x, y, colour, alpha=1.0):
        if 0 <= x < self.w and 0 <= y < self.h and alpha > 0:
            if alpha >= 1:
                self.px[y][x] = tuple(colour)
            else:
                # Soft edges over the transparent colour are blended with a
                # light matte instead: magenta must never tint an outline.
                under = self.px[y][x]
                self.px[y][x] = mix(MATTE if under == MAGENTA else under, colour, alpha)

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the pixels x0..x1-1, y0..y1-1."""
        for y in range(max(0, y0), min(self.h, y1)):
            row = self.px[y]
            for x in range(max(0, x0), min(self.w, x1)):
                row[x] = tuple(colour)

    def vgradient(self, x0, y0, x1, y1, top, bottom):
        n = max(1, y1 - y0 - 1)
        for y in range(y0, y1):
            self.rect(x0, y, x1, y + 1, mix(top, bottom, (y - y0) / n))

    def shape(self, sdf, colour, box=None):
        """Paints where sdf(x, y) < 0 (pixel centres at +0.5), soft at the edge.
        colour may be a function of (x, y)."""
        x0, y0, x1, y1 = box or (0, 0, self.w, self.h)
        for y in range(max(0, int(y0)), min(self.h, int(math.ceil(y1)))):
            for x in range(max(0, int(x0)), min(self.w, int(math.ceil(x1)))):
                d = sdf(x + 0.5, y + 0.5)
                a = min(1.0, max(0.0, 0.5 - d))
                if a > 0:
                    c = colour(x, y) if callable(colour) else colour
                    self.put(x, y, c, a)

    def blit(self, other, dx, dy):
        for y in range(other.h):
            for x in range(other.w):
                self.put(dx + x, dy + y, other.px[y][x])

    def save_bmp(self, path):
        """24-bit bottom-up BMP, rows padded to 4 bytes."""
        pad = (4 - (self.w * 3) % 4) % 4
        rows = []
        for y in range(self.h - 1, -1, -1):
            rows.append(b"".join(struct.pack("BBB", c[2], c[1], c[0]) for c in self.px[y])
                        + b"\0" * pad)
        data = b"".join(rows)
        header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        with open(path, "wb") as f:
            f.write(header + info + data)


def rounded_box(x0, y0, x1, y1, r):
    """Signed distance to the rectangle [x0, x1] x [y0, y1] with corner radius r."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def d(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        out = math.hypot(max(qx, 0), max(qy, 0))
        return out + min(max(qx, qy), 0) - r
    return d


def ring(sdf, width):
    """The band of the given width just inside an outline."""
    return lambda x, y: max(sdf(x, y), -sdf(x, y) - width)


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def segment(ax, ay, bx, by, half_width):
    """A stroke from (ax, ay) to (bx, by) with round ends."""
    def d(x, y):
        px, py, vx, vy = x - ax, y - ay, bx - ax, by - ay
        t = max(0.0, min(1.0, (px * vx + py * vy) / (vx * vx + vy * vy)))
        return math.hypot(px - vx * t, py - vy * t) - half_width
    return d


def polyline(points, half_width):
    parts = [segment(*points[i], *points[i + 1], half_width) for i in range(len(points) - 1)]
    return lambda x, y: min(p(x, y) for p in parts)


def polygon(points):
    """Signed distance to a simple polygon (negative inside)."""
    def d(x, y):
        best = float("inf")
        inside = False
        n = len(points)
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[(i + 1) % n]
            vx, vy = bx - ax, by - ay
            t = max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)))
            best = min(best, math.hypot(x - ax - vx * t, y - ay - vy * t))
            if (ay > y) != (by > y) and x < ax + (y - ay) * vx / (by - ay):
                inside = not inside
        return -best if inside else best
    return d


def union(*sdfs):
    return lambda x, y: min(s(x, y) for s in sdfs)


def minus(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def vshade(y0, y1, top, bottom):
    """A colour function: vertical gradient between rows y0 and y1."""
    span = max(1e-6, y1 - y0)
    return lambda x, y: mix(top, bottom, min(1, max(0, (y + 0.5 - y0) / span)))


# ---------------------------------------------------------------------------
# Check boxes: state images 0 none, 1 unchecked, 2 partly, 3 checked, 4 fixed
# (the result tree-list, 20-pixel cells) and 0 none, 1 unchecked, 2 checked,
# 3 partly (the folder browse tree, 16-pixel cells).

def check_box(c, ox, oy, cell, look):
    if look == "none":
        return
    size = 13
    x0 = ox + (cell - size) / 2
    y0 = oy + (cell - size) / 2
    box = rounded_box(x0, y0, x0 + size, y0 + size, 2.5)
    fixed = look == "fixed"
    on = look in ("checked", "partly")
    if on:
        c.shape(box, vshade(y0, y0 + size, ACCENT_LIGHT, ACCENT))
        c.shape(ring(box, 1.0), ACCENT_DARK)
    else:
        top, bottom = ((238, 240, 243), (226, 229, 233)) if fixed else (WHITE, (236, 241, 247))
        c.shape(box, vshade(y0, y0 + size, top, bottom))
        c.shape(ring(box, 1.0), BOX_BORDER_FIXED if fixed else BOX_BORDER)
    if look in ("checked", "fixed"):
        tick = polyline([(x0 + 3.2, y0 + 6.8), (x0 + 5.6, y0 + 9.3), (x0 + 10.0, y0 + 3.9)], 0.95)
        c.shape(tick, WHITE if on else (150, 158, 170))
    elif look == "partly":
        c.shape(rounded_box(x0 + 3.5, y0 + 5.7, x0 + size - 3.5, y0 + size - 5.7, 0.8), WHITE)


def check_strip(cell, looks):
    c = Canvas(cell * len(looks), cell)
    for i, look in enumerate(looks):
        check_box(c, i * cell, 0, cell, look)
    return c


def treelist_checks():
    return check_strip(20, ["none", "unchecked", "partly", "checked", "fixed"])


def browse_checks():
    return check_strip(16, ["none", "unchecked", "checked", "partly"])


# ---------------------------------------------------------------------------
# Row images of the tree-list (16 x 16 each, ten in a row): closed folder,
# open folder, file, picture, document, music, video, web page, drive, disk.

FOLDER_BACK = (236, 182, 64)
FOLDER_FRONT_TOP = (255, 218, 120)
FOLDER_FRONT_BOTTOM = (245, 190, 70)
FOLDER_EDGE = (196, 140, 40)
PAGE_EDGE = (138, 150, 168)


def icon_folder(c, ox, open_):
    back = union(rounded_box(ox + 1.5, 3.5, ox + 7.5, 6.5, 1), rounded_box(ox + 1.5, 4.5, ox + 14.5, 13.5, 1.2))
    c.shape(back, FOLDER_BACK)
    c.shape(ring(back, 0.8), FOLDER_EDGE)
    if open_:
        c.shape(rounded_box(ox + 3, 5.5, ox + 13, 10, 0.5), WHITE)
        front = polygon([(ox + 3.5, 7.5), (ox + 15.5, 7.5), (ox + 13.8, 13.5), (ox + 1.5, 13.5)])
    else:
        front = rounded_box(ox + 1.5, 6.5, ox + 14.5, 13.5, 1.2)
    c.shape(front, vshade(6.5, 13.5, FOLDER_FRONT_TOP, FOLDER_FRONT_BOTTOM))
    c.shape(ring(front, 0.8), FOLDER_EDGE)


def page(c, ox, fill=WHITE):
    body = polygon([(ox + 3.5, 1.5), (ox + 10, 1.5), (ox + 13.5, 5), (ox + 13.5, 14.5), (ox + 3.5, 14.5)])
    c.shape(body, vshade(1.5, 14.5, fill, mix(fill, (225, 231, 240), 0.6)))
    c.shape(ring(body, 0.8), PAGE_EDGE)
    c.shape(polygon([(ox + 9.6, 1.8), (ox + 13.2, 5.4), (ox + 9.6, 5.4)]), (214, 222, 232))


def icon_file(c, ox):
    page(c, ox)


def icon_picture(c, ox):
    page(c, ox)
    sky = rounded_box(ox + 5, 6, ox + 12, 12.5, 0.5)
    c.shape(sky, vshade(6, 12.5, (150, 200, 245), (205, 230, 250)))
    c.shape(polygon([(ox + 5, 12.5), (ox + 8, 8.5), (ox + 10, 11), (ox + 11, 10), (ox + 12, 12.5)]), (70, 150, 90))
    c.shape(circle(ox + 10.3, 7.6, 0.9), (250, 200, 60))


def icon_document(c, ox):
    page(c, ox)
    for i, y in enumerate((6.5, 8.5, 10.5, 12.5)):
        right = ox + (11.5 if i < 3 else 9.5)
        c.shape(segment(ox + 5.5, y, right, y, 0.45), ACCENT)


def icon_music(c, ox):
    page(c, ox)
    c.shape(circle(ox + 6.8, 11.6, 1.5), (150, 80, 180))
    c.shape(circle(ox + 10.6, 10.6, 1.5), (150, 80, 180))
    c.shape(polyline([(ox + 8.1, 11.4), (ox + 8.1, 6.2), (ox + 11.9, 5.2), (ox + 11.9, 10.4)], 0.55), (150, 80, 180))


def icon_video(c, ox):
    film = rounded_box(ox + 1.5, 3.5, ox + 14.5, 12.5, 1.2)
    c.shape(film, (62, 72, 88))
    c.shape(rounded_box(ox + 4, 5, ox + 12, 11, 0.5), vshade(5, 11, (120, 170, 230), (70, 120, 190)))
    for x in (2.6, 13.4):
        for y in (5, 8, 11):
            c.shape(rounded_box(ox + x - 0.6, y - 0.6, ox + x + 0.6, y + 0.6, 0.2), (210, 215, 222))


def icon_web(c, ox):
    globe = circle(ox + 8, 8, 6.2)
    c.shape(globe, vshade(1.8, 14.2, (140, 200, 250), (40, 120, 200)))
    c.shape(ring(globe, 0.8), (30, 90, 160))
    c.shape(polygon([(ox + 4.5, 5.5), (ox + 8, 4), (ox + 8.5, 7), (ox + 6, 9.5), (ox + 4, 8)]), (90, 170, 100))
    c.shape(polygon([(ox + 9.5, 9), (ox + 12.5, 8.5), (ox + 11.5, 12), (ox + 9.5, 12.5)]), (90, 170, 100))


def icon_drive(c, ox):
    body = rounded_box(ox + 1.5, 5.5, ox + 14.5, 11.5, 1.5)
    c.shape(body, vshade(5.5, 11.5, (226, 230, 236), (170, 178, 190)))
    c.shape(ring(body, 0.8), (112, 122, 138))
    c.shape(segment(ox + 3.5, 9.5, ox + 8.5, 9.5, 0.5), (120, 130, 146))
    c.shape(circle(ox + 12, 9.2, 1.0), (60, 200, 90))


def icon_disk(c, ox):
    disc = circle(ox + 8, 8, 6.5)
    c.shape(disc, vshade(1.5, 14.5, (236, 240, 246), (176, 186, 200)))
    c.shape(ring(disc, 0.8), (112, 122, 138))
    c.shape(ring(circle(ox + 8, 8, 3.2), 0.7), (150, 160, 176))
    c.shape(circle(ox + 8, 8, 1.2), (112, 122, 138))


def treelist_rows():
    c = Canvas(160, 16)
    painters = [lambda o: icon_folder(c, o, False), lambda o: icon_folder(c, o, True),
                lambda o: icon_file(c, o), lambda o: icon_picture(c, o),
                lambda o: icon_document(c, o), lambda o: icon_music(c, o),
                lambda o: icon_video(c, o), lambda o: icon_web(c, o),
                lambda o: icon_drive(c, o), lambda o: icon_disk(c, o)]
    for i, p in enumerate(painters):
        p(i * 16)
    return c


# ---------------------------------------------------------------------------
# Progress and busy strips. The trough (510 x 17) has its frame on rows 0 and
# 15 and a soft shade on row 16; the bar tile (5 x 15) lands at y 0 from x 2,
# so it carries the top frame line itself and fills rows 1..14.

def bar_background():
    c = Canvas(510, 17, TROUGH_BOTTOM)
    c.vgradient(0, 0, 510, 16, TROUGH_TOP, TROUGH_BOTTOM)
    c.rect(0, 0, 510, 1, FRAME)
    c.rect(0, 15, 510, 16, FRAME)
    c.rect(0, 0, 1, 16, FRAME)
    c.rect(509, 0, 510, 16, FRAME)
    c.rect(1, 1, 509, 2, (222, 228, 236))     # inner shadow under the top line
    c.rect(0, 16, 510, 17, (236, 240, 245))
    return c


def bar_tile():
    c = Canvas(5, 15)
    c.rect(0, 0, 5, 1, FRAME)
    c.vgradient(0, 1, 5, 14, GREEN_TOP, GREEN_BOTTOM)
    c.rect(0, 1, 5, 2, (170, 232, 184))        # highlight
    c.rect(0, 14, 5, 15, GREEN_EDGE)
    c.rect(4, 2, 5, 14, mix(GREEN_TOP, GREEN_BOTTOM, 0.35))  # faint seam between tiles
    return c


def rolling_strip():
    """A run of blocks that fades out towards its tail (it rolls to the right)."""
    c = Canvas(54, 15)
    c.rect(0, 0, 54, 1, FRAME)
    c.vgradient(0, 1, 54, 15, TROUGH_TOP, TROUGH_BOTTOM)
    for i in range(6):
        x = 2 + i * 9
        strength = (i + 1) / 6
        top = mix(TROUGH_TOP, ACCENT_LIGHT, strength)
        bottom = mix(TROUGH_BOTTOM, ACCENT, strength)
        c.shape(rounded_box(x, 3, x + 7, 13, 1.5), vshade(3, 13, top, bottom))
    return c


def list_separator():
    c = Canvas(400, 2, WHITE)
    for x in range(400):
        # fades in and out at both ends so that it reads as a hairline
        t = min(1.0, x / 24, (399 - x) / 24)
        c.put(x, 0, mix(WHITE, (214, 222, 232), t))
    return c


# ---------------------------------------------------------------------------
# Tab strip: four tabs starting at x 0, 54, 108 and 162, each 66 wide with
# slanted sides, on a 228 x 26 strip. Look 4*s + h shows tab s selected and
# tab h highlighted (h == s: nothing highlighted). The captions are drawn by
# the control over the picture, in its own font.

TAB_W, TAB_H, TAB_STRIP_W = 66, 26, 228
TAB_STARTS = (0, 54, 108, 162)
TAB_SLANT = 7


def tab_points(i):
    x = TAB_STARTS[i]
    return [(x, TAB_H), (x + TAB_SLANT, 1), (x + TAB_W - TAB_SLANT, 1), (x + TAB_W, TAB_H)]


def tab_look(selected, hot):
    c = Canvas(TAB_STRIP_W, TAB_H, (246, 248, 251))
    order = [i for i in range(4) if i != selected][::-1] + [selected]
    for i in order:
        pts = [(x + 0.5, y + 0.5) for x, y in tab_points(i)]
        pts[0] = (pts[0][0], TAB_H + 1)
        pts[3] = (pts[3][0], TAB_H + 1)
        shape = polygon(pts)
        if i == selected:
            fill = vshade(1, TAB_H, WHITE, WHITE)
        elif i == hot:
            fill = vshade(1, TAB_H, TAB_HOT_TOP, TAB_HOT_BOTTOM)
        else:
            fill = vshade(1, TAB_H, TAB_IDLE_TOP, TAB_IDLE_BOTTOM)
        c.shape(shape, fill)
        c.shape(ring(shape, 1.0), TAB_EDGE)
        if i == selected:
            x = TAB_STARTS[i]
            c.shape(rounded_box(x + TAB_SLANT + 1, 1, x + TAB_W - TAB_SLANT - 1, 4, 1.2), ACCENT)
    # the base line, open under the selected tab
    x0 = TAB_STARTS[selected]
    for x in range(TAB_STRIP_W):
        if not (x0 + 1 <= x <= x0 + TAB_W - 1):
            c.put(x, TAB_H - 1, STRIP_LINE)
    return c


# ---------------------------------------------------------------------------
# Button looks used by the control tests: a rounded push button (normal,
# pressed, hover, disabled, focused and its mask) and a round badge whose
# mask cuts a non-rectangular window.

def push_button(look):
    w, h = 96, 28
    c = Canvas(w, h, WHITE)
    body = rounded_box(0.5, 0.5, w - 0.5, h - 0.5, 5)
    tops = {"normal": ((70, 148, 222), ACCENT), "pressed": (ACCENT_DARK, (36, 108, 180)),
            "hover": ((96, 168, 236), (52, 134, 214)), "disabled": ((214, 220, 228), (196, 204, 214)),
            "focused": ((70, 148, 222), ACCENT)}
    top, bottom = tops[look]
    c.shape(body, vshade(0, h, top, bottom))
    c.shape(ring(body, 1.0), (22, 80, 140) if look != "disabled" else (170, 180, 192))
    if look == "focused":
        c.shape(ring(rounded_box(2.5, 2.5, w - 2.5, h - 2.5, 3.5), 1.0), (190, 222, 250))
    return c


def push_mask():
    c = Canvas(96, 28, WHITE)
    c.shape(rounded_box(0.5, 0.5, 95.5, 27.5, 5), (0, 0, 0))
    for y in range(c.h):  # the mask is two-coloured: soft edge pixels become inside or outside
        for x in range(c.w):
            c.px[y][x] = WHITE if c.px[y][x][0] > 160 else (0, 0, 0)
    return c


def round_badge(look):
    c = Canvas(48, 48, WHITE)
    disc = circle(24, 24, 23)
    colours = {"normal": ((110, 200, 130), GREEN_BOTTOM), "pressed": (GREEN_BOTTOM, GREEN_EDGE),
               "hover": ((140, 220, 156), (60, 176, 98))}
    top, bottom = colours[look]
    c.shape(disc, vshade(1, 47, top, bottom))
    c.shape(ring(disc, 1.2), GREEN_EDGE)
    c.shape(polyline([(14, 25), (21, 32), (34, 17)], 2.4), WHITE)
    return c


def pill(look):
    """A segment of a choice row: the check and radio buttons of the tests."""
    w, h = 84, 24
    c = Canvas(w, h, WHITE)
    body = rounded_box(0.5, 0.5, w - 0.5, h - 0.5, 11.5)
    fills = {"normal": ((255, 255, 255), (240, 244, 249), (160, 175, 195)),
             "hover": ((246, 250, 255), (230, 240, 252), (120, 160, 210)),
             "checked": ((214, 233, 252), (190, 218, 247), ACCENT)}
    top, bottom, edge = fills[look]
    c.shape(body, vshade(0, h, top, bottom))
    c.shape(ring(body, 1.0), edge)
    return c


def round_mask():
    c = Canvas(48, 48, WHITE)
    for y in range(48):
        for x in range(48):
            if math.hypot(x + 0.5 - 24, y + 0.5 - 24) <= 23:
                c.px[y][x] = (0, 0, 0)
    return c


# ---------------------------------------------------------------------------
# What this part contributes: resource id -> (file name, painter). The ids
# below 1000 are the program's; the 9xxx ones only go into test programs.

TAB_LOOK_FIRST_ID = 601   # 601..616: look 4*s + h

BITMAPS = {
    158: ("browse_checks", browse_checks),
    166: ("treelist_checks", treelist_checks),
    167: ("treelist_rows", treelist_rows),
    228: ("rolling_strip", rolling_strip),
    260: ("bar_tile", bar_tile),
    408: ("bar_background", bar_background),
    469: ("list_separator", list_separator),
}
for _s in range(4):
    for _h in range(4):
        BITMAPS[TAB_LOOK_FIRST_ID + 4 * _s + _h] = (
            "tab_%d_%d" % (_s, _h), (lambda s=_s, h=_h: tab_look(s, h)))

TEST_BITMAPS = {
    9001: ("test_push_normal", lambda: push_button("normal")),
    9002: ("test_push_pressed", lambda: push_button("pressed")),
    9003: ("test_push_hover", lambda: push_button("hover")),
    9004: ("test_push_disabled", lambda: push_button("disabled")),
    9005: ("test_push_focused", lambda: push_button("focused")),
    9006: ("test_push_mask", push_mask),
    9011: ("test_badge_normal", lambda: round_badge("normal")),
    9012: ("test_badge_pressed", lambda: round_badge("pressed")),
    9013: ("test_badge_hover", lambda: round_badge("hover")),
    9014: ("test_badge_mask", round_mask),
    9021: ("test_pill_normal", lambda: pill("normal")),
    9022: ("test_pill_checked", lambda: pill("checked")),
    9023: ("test_pill_hover", lambda: pill("hover")),
}


def main(argv):
    args = argv[1:]
    rc = None
    if "--rc" in args:
        i = args.index("--rc")
        rc = args[i + 1]
        del args[i:i + 2]
    tables = [BITMAPS]
    if "--tests" in args:
        args.remove("--tests")
        tables.append(TEST_BITMAPS)
    out = os.path.abspath(args[0] if args else ".")
    os.makedirs(out, exist_ok=True)
    lines = []
    for table in tables:
        for rid, (name, paint) in sorted(table.items()):
            path = os.path.join(out, name + ".bmp")
            paint().save_bmp(path)
            lines.append('%d BITMAP "%s"' % (rid, path.replace("\\", "/")))
    if rc:
        with open(rc, "w") as f:
            f.write("// Generated by resources/skin/parts/controls.py: do not edit.\n")
            f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv)
