"""Pictures of the pages after a scan: the result page's maximise and restore
caption buttons and its small tool buttons, and the pictures of the
destination, copy-out progress and report pages."""
from skinlib import *

HEADER = 64   # the band of the page background (common.py)


def band_under(c):
    for y in range(c.h):
        c.fill_rect(0, y, c.w, y + 1, gradient_at([(0, BRAND_LIGHT), (0.55, BRAND), (1, BRAND_DARK)],
                                                  y / (HEADER - 1)))


def caption(glyph, state):
    """30 x 24, the look of common.py's minimise and close buttons."""
    def draw(c):
        band_under(c)
        draw_window_frame_edge(c)
        if state == "hover":
            c.round_rect(0, 0, c.w, c.h, 3, lighter(BRAND, 0.22))
        w, h = c.w, c.h
        if glyph == "maximise":
            c.frame(int(w * 0.34), int(h * 0.3), int(w * 0.66) + 1, int(h * 0.7) + 1, WHITE)
            c.fill_rect(int(w * 0.34), int(h * 0.3), int(w * 0.66) + 1, int(h * 0.3) + 2, WHITE)
        else:
            # two windows, the front one lower left
            c.frame(int(w * 0.40), int(h * 0.24), int(w * 0.70) + 1, int(h * 0.58) + 1, WHITE)
            c.fill_rect(int(w * 0.30), int(h * 0.40), int(w * 0.60) + 1, int(h * 0.76) + 1, band_colour(c, h))
            c.frame(int(w * 0.30), int(h * 0.40), int(w * 0.60) + 1, int(h * 0.76) + 1, WHITE)
            c.fill_rect(int(w * 0.30), int(h * 0.40), int(w * 0.60) + 1, int(h * 0.40) + 2, WHITE)
    return draw


def band_colour(c, h):
    return gradient_at([(0, BRAND_LIGHT), (0.55, BRAND), (1, BRAND_DARK)], 0.55 * h / (HEADER - 1))


def small_button(state):
    """A small white tool button (select all, invert, expand, collapse)."""
    looks = {
        "normal": ((255, 255, 255), (241, 245, 250), (176, 189, 205)),
        "hover": ((250, 252, 255), (230, 240, 252), lighter(BRAND, 0.3)),
        "pressed": ((224, 233, 244), (241, 245, 250), darker((176, 189, 205), 0.15)),
        "disabled": ((245, 246, 248), (238, 240, 243), (208, 213, 219)),
    }
    top, bottom, edge = looks[state]

    def draw(c):
        c.round_rect(0, 0, c.w, c.h, 4, edge)
        inner = Canvas(c.w - 2, c.h - 2)
        inner.vgradient(0, 0, inner.w, inner.h, [(0, top), (1, bottom)])
        shape = Canvas(c.w - 2, c.h - 2)
        shape.round_rect(0, 0, shape.w, shape.h, 3, WHITE)
        for j in range(inner.h):
            for i in range(inner.w):
                a = shape.get(i, j)[3]
                if a:
                    c.put(1 + i, 1 + j, inner.get(i, j)[:3] + (a,))
    return draw


def folder_shape(c, x, y, w, h, back, front):
    c.round_rect(x, y, x + w * 0.45, y + h * 0.25, 2, back)
    c.round_rect(x, y + h * 0.12, x + w, y + h, 3, back)
    c.round_rect(x, y + h * 0.3, x + w, y + h, 3, front)


def destination_picture(c):
    """A folder that a document drops into: where the files will go."""
    c.fill_rect(0, 0, c.w, c.h, WHITE)
    folder_shape(c, 8, 22, 60, 40, (232, 176, 58), (252, 206, 96))
    # the document, tilted a little, half inside the folder
    doc = [(30, 4), (50, 7), (46, 36), (26, 33)]
    c.polygon(doc, WHITE)
    c.line(30, 4, 50, 7, 1.2, (150, 160, 175))
    c.line(50, 7, 46, 36, 1.2, (150, 160, 175))
    c.line(30, 4, 26, 33, 1.2, (150, 160, 175))
    for i in range(3):
        y = 12 + i * 6
        c.line(32 - i * 0.4, y, 45 - i * 0.5, y + 2, 1.4, lighter(ACCENT, 0.2))
    c.round_rect(8, 40, 68, 62, 3, (252, 206, 96))
    c.fill_rect(14, 46, 62, 47, (236, 180, 70))


def progress_picture(c):
    """Files travelling from a disk into a folder."""
    c.fill_rect(0, 0, c.w, c.h, WHITE)
    c.round_rect(4, 26, 30, 48, 4, (214, 222, 232))
    c.round_rect(5, 27, 29, 44, 3, (241, 244, 248))
    c.circle(24, 40, 1.8, GOOD)
    for i, x in enumerate((36, 44, 52)):
        c.circle(x, 36, 2.2 - i * 0.3 + 0.6, lighter(BRAND, 0.15 * i))
    folder_shape(c, 56, 22, 22, 26, (232, 176, 58), (252, 206, 96))


def report_picture(c):
    """A round tick on a folder: the files are back."""
    c.fill_rect(0, 0, c.w, c.h, WHITE)
    folder_shape(c, 6, 18, 54, 40, (232, 176, 58), (252, 206, 96))
    c.circle(58, 50, 15, darker(GOOD, 0.15))
    c.circle(58, 50, 13.5, GOOD)
    c.line(51, 50, 56, 55, 3.2, WHITE)
    c.line(56, 55, 65, 44, 3.2, WHITE)


def report_stopped_picture(c):
    """A pause mark on a folder: the copy-out was stopped before its end."""
    c.fill_rect(0, 0, c.w, c.h, WHITE)
    folder_shape(c, 6, 18, 54, 40, (232, 176, 58), (252, 206, 96))
    c.circle(58, 50, 15, darker(ACCENT, 0.15))
    c.circle(58, 50, 13.5, ACCENT)
    c.fill_rect(52, 43, 56, 58, WHITE)
    c.fill_rect(60, 43, 64, 58, WHITE)


RESOURCES = [
    Bitmap(700, "maximise button", 30, 24, caption("maximise", "normal")),
    Bitmap(701, "maximise button, mouse over it", 30, 24, caption("maximise", "hover")),
    Bitmap(702, "restore button", 30, 24, caption("restore", "normal")),
    Bitmap(703, "restore button, mouse over it", 30, 24, caption("restore", "hover")),
    Bitmap(704, "small tool button", 48, 22, small_button("normal")),
    Bitmap(705, "small tool button, pressed", 48, 22, small_button("pressed")),
    Bitmap(706, "small tool button, mouse over it", 48, 22, small_button("hover")),
    Bitmap(707, "small tool button, disabled", 48, 22, small_button("disabled")),
    Bitmap(708, "report page picture", 80, 66, report_picture, background=WHITE),
    Bitmap(710, "report page picture after a stop", 80, 66, report_stopped_picture, background=WHITE),
    Bitmap(709, "progress page picture", 80, 66, progress_picture, background=WHITE),
    Bitmap(472, "destination page picture", 76, 66, destination_picture, background=WHITE),
]
