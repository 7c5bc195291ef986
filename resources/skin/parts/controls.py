"""Bitmaps of the skinned controls: check boxes, row images, the progress and
rolling strips, the list separator, the tab strip's looks, and the button
looks that only the control tests use.

Image strips (check boxes, row images) are magenta where nothing is drawn;
their soft edges are blended with a light matte rather than with magenta, so
that no outline takes a pink fringe when the image list cuts the magenta out.

    python3 controls.py OUTDIR --rc FILE [--tests]
        renders this part alone (with --tests only the test looks) and writes
        a resource-script fragment naming the files; the control tests use it.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from skinlib import *  # noqa: E402,F401,F403

MATTE = (250, 251, 253)
BOX_EDGE = (122, 140, 163)
FIXED_FILL = (236, 238, 242)
FIXED_EDGE = (178, 186, 196)
FOLDER_BACK = (232, 176, 58)
FOLDER_FRONT = (252, 206, 96)
FOLDER_EDGE = (196, 140, 40)
PAGE_EDGE = (138, 150, 168)
PAGE_FOLD = (214, 222, 232)
TROUGH_TOP = (232, 236, 242)
TAB_IDLE = (222, 230, 240)
TAB_HOT = (238, 245, 253)
TAB_EDGE = (150, 168, 190)


class Strip(Bitmap):
    """An image strip: magenta where nothing is drawn."""

    def __init__(self, rid, name, width, height, draw):
        Bitmap.__init__(self, rid, name, width, height, draw, background=MAGENTA)

    def render(self):
        c = Canvas(self.width, self.height)  # transparent
        self.draw(c)
        out = Canvas(self.width, self.height, MAGENTA)
        for y in range(c.h):
            for x in range(c.w):
                r, g, b, a = c.get(x, y)
                if a:
                    t = a / 255.0
                    out.fill_rect(x, y, x + 1, y + 1, mix(MATTE, (r, g, b), t))
        return "bmp", out.bmp_bytes(MAGENTA), c


# ---- check boxes -----------------------------------------------------------
# Result tree-list: 0 none, 1 unchecked, 2 partly, 3 checked, 4 fixed (20 px).
# Folder browse tree: 0 none, 1 unchecked, 2 checked, 3 partly (16 px).

def check_box(c, ox, cell, look):
    if look == "none":
        return
    s = 13
    x0 = ox + (cell - s) / 2.0
    y0 = (cell - s) / 2.0
    if look in ("checked", "partly"):
        c.round_rect(x0, y0, x0 + s, y0 + s, 2.5, BRAND_DARK)
        c.round_rect(x0 + 1, y0 + 1, x0 + s - 1, y0 + s - 1, 1.8, BRAND)
        c.fill_rect(int(x0 + 3), int(y0 + 1), int(x0 + s - 3), int(y0 + 2), lighter(BRAND, 0.25))
    else:
        fixed = look == "fixed"
        c.round_rect(x0, y0, x0 + s, y0 + s, 2.5, FIXED_EDGE if fixed else BOX_EDGE)
        c.round_rect(x0 + 1, y0 + 1, x0 + s - 1, y0 + s - 1, 1.8, FIXED_FILL if fixed else WHITE)
    if look in ("checked", "fixed"):
        ink = WHITE if look == "checked" else (150, 158, 170)
        c.line(x0 + 3.2, y0 + 6.8, x0 + 5.6, y0 + 9.3, 1.9, ink)
        c.line(x0 + 5.6, y0 + 9.3, x0 + 10.0, y0 + 3.9, 1.9, ink)
    elif look == "partly":
        c.round_rect(x0 + 3.5, y0 + 5.6, x0 + s - 3.5, y0 + s - 5.6, 0.8, WHITE)


def check_strip(cell, looks):
    def draw(c):
        for i, look in enumerate(looks):
            check_box(c, i * cell, cell, look)
    return draw


# ---- row images (16 x 16): the ten kinds of rows ---------------------------

def outlined_polygon(c, points, edge, fill, inset):
    c.polygon(points, edge)
    cx = sum(p[0] for p in points) / len(points)
    cy = sum(p[1] for p in points) / len(points)
    inner = []
    for x, y in points:
        dx, dy = cx - x, cy - y
        d = max(1e-6, (dx * dx + dy * dy) ** 0.5)
        inner.append((x + dx / d * inset, y + dy / d * inset))
    c.polygon(inner, fill)


def folder(c, ox, open_):
    c.round_rect(ox + 1, 3, ox + 8, 7, 1, FOLDER_EDGE)
    c.round_rect(ox + 1, 4, ox + 15, 14, 1.2, FOLDER_EDGE)
    c.round_rect(ox + 2, 5, ox + 14, 13, 0.8, FOLDER_BACK)
    if open_:
        c.fill_rect(ox + 3, 6, ox + 13, 10, WHITE)
        outlined_polygon(c, [(ox + 3.5, 7.5), (ox + 15.5, 7.5), (ox + 13.8, 14), (ox + 1, 14)],
                         FOLDER_EDGE, FOLDER_FRONT, 1.1)
    else:
        c.round_rect(ox + 1, 7, ox + 15, 14, 1.2, FOLDER_EDGE)
        c.round_rect(ox + 2, 8, ox + 14, 13, 0.8, FOLDER_FRONT)


def page(c, ox):
    pts = [(ox + 3, 1), (ox + 10, 1), (ox + 14, 5), (ox + 14, 15), (ox + 3, 15)]
    outlined_polygon(c, pts, PAGE_EDGE, WHITE, 1.1)
    c.polygon([(ox + 9.6, 1.5), (ox + 13.5, 5.4), (ox + 9.6, 5.4)], PAGE_FOLD)


def picture(c, ox):
    page(c, ox)
    c.fill_rect(ox + 5, 7, ox + 12, 13, (176, 214, 246))
    c.polygon([(ox + 5, 13), (ox + 8, 9), (ox + 10, 11.5), (ox + 11, 10.5), (ox + 12, 13)], GOOD)
    c.circle(ox + 10.3, 8.4, 0.9, (250, 200, 60))


def document(c, ox):
    page(c, ox)
    for i, y in enumerate((6, 8, 10, 12)):
        c.fill_rect(ox + 5, y, ox + (12 if i < 3 else 10), y + 1, BRAND)


def music(c, ox):
    page(c, ox)
    violet = (140, 80, 176)
    c.circle(ox + 6.8, 11.8, 1.6, violet)
    c.circle(ox + 10.8, 10.8, 1.6, violet)
    c.line(ox + 8.2, 11.6, ox + 8.2, 6.2, 1.0, violet)
    c.line(ox + 12.2, 10.6, ox + 12.2, 5.2, 1.0, violet)
    c.line(ox + 8.2, 6.2, ox + 12.2, 5.2, 1.4, violet)


def video(c, ox):
    c.round_rect(ox + 1, 3, ox + 15, 13, 1.2, (62, 72, 88))
    c.fill_rect(ox + 4, 5, ox + 12, 11, BRAND_LIGHT)
    c.fill_rect(ox + 4, 8, ox + 12, 11, BRAND)
    for x in (2, 13):
        for y in (4, 7, 10):
            c.fill_rect(ox + x, y, ox + x + 1, y + 2, (210, 215, 222))


def web(c, ox):
    c.circle(ox + 8, 8, 6.6, BRAND_DARK)
    c.circle(ox + 8, 8, 5.8, BRAND_LIGHT)
    c.polygon([(ox + 4.5, 5.5), (ox + 8, 4), (ox + 8.5, 7), (ox + 6, 9.5), (ox + 4, 8)], GOOD)
    c.polygon([(ox + 9.5, 9), (ox + 12.5, 8.5), (ox + 11.5, 12), (ox + 9.5, 12.5)], GOOD)


def drive(c, ox):
    c.round_rect(ox + 1, 5, ox + 15, 12, 1.5, (112, 122, 138))
    c.round_rect(ox + 2, 6, ox + 14, 11, 1.0, (214, 219, 226))
    c.fill_rect(ox + 2, 9, ox + 14, 11, (188, 195, 205))
    c.fill_rect(ox + 4, 9, ox + 9, 10, (120, 130, 146))
    c.circle(ox + 12, 9.5, 1.0, (60, 200, 90))


def disk(c, ox):
    c.circle(ox + 8, 8, 7, (112, 122, 138))
    c.circle(ox + 8, 8, 6.2, (222, 227, 234))
    c.ring(ox + 8, 8, 3.6, 0.8, (150, 160, 176))
    c.circle(ox + 8, 8, 1.3, (112, 122, 138))


ROW_PAINTERS = [lambda c, o: folder(c, o, False), lambda c, o: folder(c, o, True), page, picture, document,
                music, video, web, drive, disk]


def row_images(c):
    for i, paint in enumerate(ROW_PAINTERS):
        paint(c, i * 16)


# ---- progress and rolling strips --------------------------------------------
# The track (510 x 17) has its frame on rows 0 and 15 and a soft shade on row
# 16; the bar tile (5 x 15) lands at y 0 from x 2, so it carries the top frame
# line itself and fills rows 1..14.

def progress_track(c):
    c.vgradient(0, 0, c.w, 16, [(0, TROUGH_TOP), (1, TRACK)])
    c.frame(0, 0, c.w, 16, FRAME)
    c.fill_rect(1, 1, c.w - 1, 2, (222, 228, 236))
    c.fill_rect(0, 16, c.w, 17, (236, 240, 245))


def progress_tile(c):
    c.fill_rect(0, 0, 5, 1, FRAME)
    c.vgradient(0, 1, 5, 14, [(0, lighter(GOOD, 0.45)), (1, GOOD)])
    c.fill_rect(0, 1, 5, 2, lighter(GOOD, 0.6))
    c.fill_rect(0, 14, 5, 15, darker(GOOD, 0.2))
    c.fill_rect(4, 2, 5, 14, lighter(GOOD, 0.25))


def rolling(c):
    """A run of blocks that fades towards its tail (it rolls to the right)."""
    c.fill_rect(0, 0, c.w, 1, FRAME)
    c.vgradient(0, 1, c.w, 15, [(0, TROUGH_TOP), (1, TRACK)])
    for i in range(6):
        x = 2 + i * 9
        c.round_rect(x, 3, x + 7, 13, 1.5, mix(TRACK, BRAND_LIGHT, (i + 1) / 6.0))


def list_separator(c):
    for x in range(c.w):
        t = min(1.0, x / 24.0, (c.w - 1 - x) / 24.0)
        c.fill_rect(x, 0, x + 1, 1, mix(WHITE, (214, 222, 232), t))
    c.fill_rect(0, 1, c.w, 2, WHITE)


# ---- tab strip --------------------------------------------------------------
# Four tabs starting at x 0, 54, 108 and 162, each 66 wide with slanted sides,
# on a 228 x 26 strip (the hit-test polygons of the control are the same).
# Look 4 * s + h shows tab s selected and tab h highlighted; the control draws
# the captions over the picture in its own font.

TAB_W, TAB_H, TAB_STRIP_W, TAB_SLANT = 66, 26, 228, 7
TAB_STARTS = (0, 54, 108, 162)
TAB_LOOK_FIRST_ID = 501   # 501..516


def tab_outline(i, grow):
    x = TAB_STARTS[i]
    return [(x - grow, TAB_H + 1), (x + TAB_SLANT - grow * 0.3, 1 - grow),
            (x + TAB_W - TAB_SLANT + grow * 0.3, 1 - grow), (x + TAB_W + grow, TAB_H + 1)]


def tab_look(selected, hot):
    def draw(c):
        c.fill_rect(0, 0, c.w, c.h, PAGE)
        order = [i for i in range(4) if i != selected][::-1] + [selected]
        for i in order:
            fill = WHITE if i == selected else (TAB_HOT if i == hot else TAB_IDLE)
            c.polygon(tab_outline(i, 0), TAB_EDGE)
            c.polygon(tab_outline(i, -1), fill)
            if i == selected:
                x = TAB_STARTS[i]
                c.round_rect(x + TAB_SLANT + 1, 1, x + TAB_W - TAB_SLANT - 1, 4, 1.2, BRAND)
        x0 = TAB_STARTS[selected]
        c.fill_rect(0, TAB_H - 1, x0 + 1, TAB_H, TAB_EDGE)
        c.fill_rect(x0 + TAB_W, TAB_H - 1, c.w, TAB_H, TAB_EDGE)
    return draw


# ---- looks only the control tests use ----------------------------------------

def push(state):
    def draw(c):
        draw_button(c, state, radius=5)
    return draw


def push_focused(c):
    draw_button(c, "normal", radius=5)
    c.round_frame(2, 2, c.w - 2, c.h - 2, 3.5, 1, lighter(BRAND, 0.6))


def mask_of(shape):
    """Black where the button is, white outside; no soft edges."""
    def draw(c):
        probe = Canvas(c.w, c.h)
        shape(probe)
        c.fill_rect(0, 0, c.w, c.h, WHITE)
        for y in range(c.h):
            for x in range(c.w):
                if probe.get(x, y)[3] >= 128:
                    c.fill_rect(x, y, x + 1, y + 1, BLACK)
    return draw


def badge(state):
    face = {"normal": GOOD, "hover": lighter(GOOD, 0.15), "pressed": darker(GOOD, 0.2)}[state]

    def draw(c):
        c.circle(24, 24, 23, darker(face, 0.25))
        c.circle(24, 24, 22, face)
        c.ring(24, 24, 21, 1.5, lighter(face, 0.25), 30, 150)
        c.line(14, 25, 21, 32, 4.6, WHITE)
        c.line(21, 32, 34, 17, 4.6, WHITE)
    return draw


def pill(state):
    fills = {"normal": (WHITE, (160, 175, 195)), "hover": ((238, 245, 254), (120, 160, 210)),
             "checked": (BRAND_PALE, BRAND)}

    def draw(c):
        face, edge = fills[state]
        c.fill_rect(0, 0, c.w, c.h, PAGE)
        c.round_rect(0, 0, c.w, c.h, c.h / 2.0, edge)
        c.round_rect(1, 1, c.w - 1, c.h - 1, c.h / 2.0 - 1, face)
    return draw


RESOURCES = [
    Strip(158, "folder browse tree check images", 64, 16, check_strip(16, ["none", "unchecked", "checked", "partly"])),
    Strip(166, "tree-list check boxes", 100, 20,
          check_strip(20, ["none", "unchecked", "partly", "checked", "fixed"])),
    Strip(167, "tree-list row images", 160, 16, row_images),
    Bitmap(228, "rolling strip", 54, 15, rolling),
    Bitmap(260, "progress bar tile", 5, 15, progress_tile),
    Bitmap(408, "progress bar track", 510, 17, progress_track),
    Bitmap(469, "image list box row separator", 400, 2, list_separator),
] + [Bitmap(TAB_LOOK_FIRST_ID + 4 * s + h, "tab strip, tab %d selected, %d under the mouse" % (s, h),
            TAB_STRIP_W, TAB_H, tab_look(s, h)) for s in range(4) for h in range(4)]

TEST_RESOURCES = [
    Bitmap(9001, "test push button", 96, 28, push("normal"), background=WHITE),
    Bitmap(9002, "test push button, pressed", 96, 28, push("pressed"), background=WHITE),
    Bitmap(9003, "test push button, hover", 96, 28, push("hover"), background=WHITE),
    Bitmap(9004, "test push button, disabled", 96, 28, push("disabled"), background=WHITE),
    Bitmap(9005, "test push button, focused", 96, 28, push_focused, background=WHITE),
    Bitmap(9006, "test push button mask", 96, 28, mask_of(lambda c: c.round_rect(0, 0, 96, 28, 5, BLACK))),
    Bitmap(9011, "test round badge", 48, 48, badge("normal"), background=WHITE),
    Bitmap(9012, "test round badge, pressed", 48, 48, badge("pressed"), background=WHITE),
    Bitmap(9013, "test round badge, hover", 48, 48, badge("hover"), background=WHITE),
    Bitmap(9014, "test round badge mask", 48, 48, mask_of(lambda c: c.circle(24, 24, 23, BLACK))),
    Bitmap(9021, "test choice", 84, 24, pill("normal")),
    Bitmap(9022, "test choice, checked", 84, 24, pill("checked")),
    Bitmap(9023, "test choice, hover", 84, 24, pill("hover")),
]


def main(argv):
    args = argv[1:]
    rc = None
    if "--rc" in args:
        i = args.index("--rc")
        rc = args[i + 1]
        del args[i:i + 2]
    resources = RESOURCES
    if "--tests" in args:
        args.remove("--tests")
        resources = TEST_RESOURCES
    out = os.path.abspath(args[0] if args else ".")
    os.makedirs(out, exist_ok=True)
    lines = ["// Generated by resources/skin/parts/controls.py: do not edit."]
    for res in resources:
        ext, data, _ = res.render()
        path = os.path.join(out, "%d.%s" % (res.id, ext))
        with open(path, "wb") as f:
            f.write(data)
        lines.append('%d %s "%s"  // %s' % (res.id, res.kind, path.replace("\\", "/"), res.name))
    if rc:
        with open(rc, "w") as f:
            f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv)
