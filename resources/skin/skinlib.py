"""Drawing kit for the program's skin: a small RGBA canvas with anti-aliased
shapes, the product's palette and look, and writers for BMP, ICO, CUR and PNG.

Pure Python (no imaging library): every picture is made from the readable
descriptions in parts/*.py each time the build runs.
"""
import math
import struct
import zlib

# ---- palette ---------------------------------------------------------------
# Calm blues for the frame of the product, white panels, grey text; the orange
# is the program's highlight colour, the frame greys those of its panel frames.
BRAND = (33, 99, 186)
BRAND_DARK = (21, 66, 133)
BRAND_DEEP = (14, 45, 96)
BRAND_LIGHT = (84, 152, 228)
BRAND_PALE = (214, 230, 248)
ACCENT = (252, 120, 12)
ACCENT_DARK = (214, 94, 0)
PAGE = (242, 246, 251)        # page background (COLORREF 0xFBF6F2)
PANEL = (255, 255, 255)
FRAME = (190, 203, 212)       # panel frame (0xD4CBBE)
FRAME_LIGHT = (215, 223, 238)
TEXT = (90, 90, 90)
TEXT_LIGHT = (146, 157, 169)
GOOD = (46, 160, 67)
TRACK = (245, 246, 250)       # empty progress track
MAGENTA = (255, 0, 255)       # transparent colour of image strips
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)


def mix(a, b, t):
    """Colour between a (t=0) and b (t=1)."""
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def lighter(c, t):
    return mix(c, WHITE, t)


def darker(c, t):
    return mix(c, BLACK, t)


class Canvas:
    """RGBA pixels, top row first. Drawing composites 'over' what is there."""

    def __init__(self, width, height, color=None, alpha=255):
        self.w = width
        self.h = height
        fill = bytes(color + (alpha,)) if color is not None else bytes((0, 0, 0, 0))
        self.px = bytearray(fill * (width * height))

    # ---- pixels ----
    def get(self, x, y):
        i = (y * self.w + x) * 4
        return tuple(self.px[i:i + 4])

    def put(self, x, y, color, cover=1.0):
        """Composite color (RGB or RGBA) over pixel (x, y) with coverage 0..1."""
        if x < 0 or y < 0 or x >= self.w or y >= self.h or cover <= 0:
            return
        a = (color[3] / 255.0 if len(color) > 3 else 1.0) * min(cover, 1.0)
        i = (y * self.w + x) * 4
        if a >= 0.999:
            self.px[i:i + 4] = bytes((color[0], color[1], color[2], 255))
            return
        da = self.px[i + 3] / 255.0
        oa = a + da * (1 - a)
        if oa <= 0:
            return
        for k in range(3):
            self.px[i + k] = int(round((color[k] * a + self.px[i + k] * da * (1 - a)) / oa))
        self.px[i + 3] = int(round(oa * 255))

    # ---- fills ----
    def fill_rect(self, x0, y0, x1, y1, color):
        """Opaque (or alpha) fill of [x0, x1) x [y0, y1)."""
        x0, y0 = max(0, x0), max(0, y0)
        x1, y1 = min(self.w, x1), min(self.h, y1)
        if x0 >= x1 or y0 >= y1:
            return
        if len(color) == 3 or color[3] == 255:
            row = bytes(color[:3] + (255,)) * (x1 - x0)
            for y in range(y0, y1):
                i = (y * self.w + x0) * 4
                self.px[i:i + len(row)] = row
        else:
            for y in range(y0, y1):
                for x in range(x0, x1):
                    self.put(x, y, color)

    def vgradient(self, x0, y0, x1, y1, stops):
        """Vertical gradient through stops [(t, color), ...] with t in 0..1."""
        h = max(1, y1 - y0 - 1)
        for y in range(y0, y1):
            self.fill_rect(x0, y, x1, y + 1, gradient_at(stops, (y - y0) / h))

    def hgradient(self, x0, y0, x1, y1, stops):
        w = max(1, x1 - x0 - 1)
        for x in range(x0, x1):
            self.fill_rect(x, y0, x + 1, y1, gradient_at(stops, (x - x0) / w))

    def fill_shape(self, x0, y0, x1, y1, inside, color, ss=4):
        """Anti-aliased fill of the region where inside(x, y) is true (x, y in
        pixel units, pixel (i, j) covering [i, i+1) x [j, j+1)). Pixels whose
        corners agree are taken whole; the others are supersampled."""
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        if x0 >= x1 or y0 >= y1:
            return
        corners = [[inside(x, y) for x in range(x0, x1 + 1)] for y in range(y0, y1 + 1)]
        step = 1.0 / ss
        for j in range(y1 - y0):
            top, bottom = corners[j], corners[j + 1]
            for i in range(x1 - x0):
                c = (top[i], top[i + 1], bottom[i], bottom[i + 1])
                x, y = x0 + i, y0 + j
                if all(c):
                    # Thin features can pass between the corners; check the centre too.
                    self.put(x, y, color)
                elif not any(c) and not inside(x + 0.5, y + 0.5):
                    continue
                else:
                    n = 0
                    for sy in range(ss):
                        for sx in range(ss):
                            if inside(x + (sx + 0.5) * step, y + (sy + 0.5) * step):
                                n += 1
                    self.put(x, y, color, n / (ss * ss))

    # ---- shapes ----
    def round_rect(self, x0, y0, x1, y1, r, color):
        """Filled rectangle [x0, x1) x [y0, y1) with corner radius r."""
        def inside(x, y):
            if x < x0 or x > x1 or y < y0 or y > y1:
                return False
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
        # Solid colours: the middle is filled directly and only the border bands
        # (which hold every partly covered pixel) are shaped; the bands do not overlap.
        R = r + 1
        T, B = int(math.ceil(y0 + R)), int(math.floor(y1 - R))
        L, Rr = int(math.ceil(x0 + R)), int(math.floor(x1 - R))
        if len(color) != 3 or T > B or L > Rr:
            self.fill_shape(x0, y0, x1, y1, inside, color)
            return
        fx0, fy0, cx1, cy1 = int(math.floor(x0)), int(math.floor(y0)), int(math.ceil(x1)), int(math.ceil(y1))
        self.fill_shape(fx0, fy0, cx1, T, inside, color)
        self.fill_shape(fx0, B, cx1, cy1, inside, color)
        self.fill_shape(fx0, T, L, B, inside, color)
        self.fill_shape(Rr, T, cx1, B, inside, color)
        self.fill_rect(L, T, Rr, B, color)

    def round_frame(self, x0, y0, x1, y1, r, width, color):
        """Outline of a rounded rectangle, width pixels thick, inside the box."""
        def inside(x, y):
            def within(a0, b0, a1, b1, rr):
                if x < a0 or x > a1 or y < b0 or y > b1:
                    return False
                cx = min(max(x, a0 + rr), a1 - rr)
                cy = min(max(y, b0 + rr), b1 - rr)
                return (x - cx) ** 2 + (y - cy) ** 2 <= rr * rr
            return within(x0, y0, x1, y1, r) and not within(x0 + width, y0 + width, x1 - width, y1 - width,
                                                             max(0.0, r - width))
        self.fill_shape(x0, y0, x1, y1, inside, color)

    def circle(self, cx, cy, r, color):
        self.fill_shape(cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1,
                        lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, color)

    def ring(self, cx, cy, r, width, color, start=0.0, end=360.0):
        """Arc band between radius r - width and r, angles in degrees (0 = right,
        counter-clockwise on screen)."""
        def inside(x, y):
            d = math.hypot(x - cx, y - cy)
            if d > r or d < r - width:
                return False
            a = math.degrees(math.atan2(cy - y, x - cx)) % 360
            if start <= end:
                return start <= a <= end
            return a >= start or a <= end
        self.fill_shape(cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1, inside, color)

    def polygon(self, points, color):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            n, c = len(points), False
            j = n - 1
            for i in range(n):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    c = not c
                j = i
            return c
        self.fill_shape(min(xs), min(ys), max(xs) + 1, max(ys) + 1, inside, color)

    def line(self, x0, y0, x1, y1, width, color):
        """A stroke with round ends from (x0, y0) to (x1, y1)."""
        hw = width / 2.0
        dx, dy = x1 - x0, y1 - y0
        length2 = dx * dx + dy * dy or 1e-9

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
            px, py = x0 + t * dx, y0 + t * dy
            return (x - px) ** 2 + (y - py) ** 2 <= hw * hw
        self.fill_shape(min(x0, x1) - hw - 1, min(y0, y1) - hw - 1, max(x0, x1) + hw + 1,
                        max(y0, y1) + hw + 1, inside, color)

    def frame(self, x0, y0, x1, y1, color):
        """One-pixel rectangle outline of [x0, x1) x [y0, y1)."""
        self.fill_rect(x0, y0, x1, y0 + 1, color)
        self.fill_rect(x0, y1 - 1, x1, y1, color)
        self.fill_rect(x0, y0, x0 + 1, y1, color)
        self.fill_rect(x1 - 1, y0, x1, y1, color)

    def blit(self, src, x, y):
        """Composites another canvas at (x, y)."""
        for j in range(src.h):
            for i in range(src.w):
                p = src.get(i, j)
                if p[3]:
                    self.put(x + i, y + j, p)

    def pixel_art(self, x, y, rows, colors, scale=1):
        """Draws rows of characters; colors maps a character to a colour
        (characters not in the map are left untouched)."""
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch in colors:
                    self.fill_rect(x + i * scale, y + j * scale, x + (i + 1) * scale, y + (j + 1) * scale,
                                   colors[ch])

    def flattened(self, background):
        """An opaque copy: transparent parts take the background colour."""
        out = Canvas(self.w, self.h, background)
        out.blit(self, 0, 0)
        return out

    # ---- writers ----
    def bmp_bytes(self, background=WHITE):
        """24-bit bottom-up BMP (transparent parts become background)."""
        stride = (self.w * 3 + 3) & ~3
        pixels = bytearray()
        for y in range(self.h - 1, -1, -1):
            row = bytearray()
            for x in range(self.w):
                r, g, b, a = self.get(x, y)
                if a < 255:
                    t = a / 255.0
                    r, g, b = (int(round(c * t + bg * (1 - t))) for c, bg in zip((r, g, b), background))
                row += bytes((b, g, r))
            row += b"\0" * (stride - len(row))
            pixels += row
        header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
        return header + info + bytes(pixels)

    def png_bytes(self):
        raw = bytearray()
        for y in range(self.h):
            raw.append(0)
            raw += self.px[y * self.w * 4:(y + 1) * self.w * 4]

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))

    def icon_image_bytes(self):
        """One 32-bit icon image (BITMAPINFOHEADER, BGRA rows, AND mask)."""
        xor = bytearray()
        for y in range(self.h - 1, -1, -1):
            for x in range(self.w):
                r, g, b, a = self.get(x, y)
                xor += bytes((b, g, r, a))
        mask_stride = ((self.w + 31) // 32) * 4
        mask = bytearray()
        for y in range(self.h - 1, -1, -1):
            row = bytearray(mask_stride)
            for x in range(self.w):
                if self.get(x, y)[3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        return info + bytes(xor) + bytes(mask)


def gradient_at(stops, t):
    t = max(0.0, min(1.0, t))
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(c0, c1, 0 if t1 == t0 else (t - t0) / (t1 - t0))
    return stops[-1][1]


def ico_bytes(images):
    """An .ico file from canvases (256-pixel images are stored as PNG)."""
    blobs = [img.png_bytes() if img.w >= 256 else img.icon_image_bytes() for img in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for img, blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", img.w % 256, img.h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def cur_bytes(rows, hotspot):
    """A monochrome 32x32 .cur file from rows of characters: 'X' black,
    'o' white, anything else transparent."""
    size = 32
    xor_rows, and_rows = [], []
    for y in range(size - 1, -1, -1):
        row = rows[y] if y < len(rows) else ""
        xb, ab = bytearray(4), bytearray(4)
        for x in range(size):
            ch = row[x] if x < len(row) else "."
            if ch == "o":
                xb[x // 8] |= 0x80 >> (x % 8)
            elif ch != "X":
                ab[x // 8] |= 0x80 >> (x % 8)
        xor_rows.append(bytes(xb))
        and_rows.append(bytes(ab))
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    image = info + palette + b"".join(xor_rows) + b"".join(and_rows)
    return (struct.pack("<HHH", 0, 2, 1) +
            struct.pack("<BBBBHHII", size, size, 2, 0, hotspot[0], hotspot[1], len(image), 22) + image)


# ---- resource descriptions -------------------------------------------------
class Bitmap:
    """A BITMAP resource: draw(canvas) paints a width x height picture."""
    kind = "BITMAP"

    def __init__(self, rid, name, width, height, draw, background=PAGE):
        self.id, self.name, self.width, self.height = rid, name, width, height
        self.draw, self.background = draw, background

    def render(self):
        c = Canvas(self.width, self.height, self.background)
        self.draw(c)
        return "bmp", c.bmp_bytes(self.background), c


class KeyedStrip(Bitmap):
    """An image strip for an image list masked by MAGENTA: drawn on nothing,
    its soft edges blended with the background the rows show (matte), and
    MAGENTA exactly where nothing is drawn, so that no edge pixel is a tint
    of the key colour that the mask lets through."""

    def __init__(self, rid, name, width, height, draw, matte=WHITE):
        Bitmap.__init__(self, rid, name, width, height, draw, background=MAGENTA)
        self.matte = matte

    def render(self):
        c = Canvas(self.width, self.height)  # transparent
        self.draw(c)
        out = Canvas(self.width, self.height, MAGENTA)
        for y in range(c.h):
            for x in range(c.w):
                r, g, b, a = c.get(x, y)
                if a:
                    out.fill_rect(x, y, x + 1, y + 1, mix(self.matte, (r, g, b), a / 255.0))
        return "bmp", out.bmp_bytes(MAGENTA), c


class Icon:
    """An ICON resource: draw(canvas, size) paints one size of it."""
    kind = "ICON"

    def __init__(self, rid, name, draw, sizes=(16, 24, 32, 48, 256)):
        self.id, self.name, self.draw, self.sizes = rid, name, draw, sizes

    def render(self):
        images = []
        for s in self.sizes:
            c = Canvas(s, s)
            self.draw(c, s)
            images.append(c)
        return "ico", ico_bytes(images), images[-2] if len(images) > 1 else images[-1]


class Cursor:
    """A CURSOR resource from rows of characters (see cur_bytes)."""
    kind = "CURSOR"

    def __init__(self, rid, name, rows, hotspot):
        self.id, self.name, self.rows, self.hotspot = rid, name, rows, hotspot

    def render(self):
        preview = Canvas(32, 32, (236, 240, 246))
        preview.pixel_art(0, 0, self.rows, {"X": BLACK, "o": WHITE})
        return "cur", cur_bytes(self.rows, self.hotspot), preview


class Data:
    """A resource of type "Dat" holding a picture file: BMP as drawn, or JPEG
    (converted from the drawing by ImageMagick's convert at build time)."""
    kind = "Dat"

    def __init__(self, rid, name, width, height, draw, fmt="bmp", background=PANEL):
        self.id, self.name, self.width, self.height = rid, name, width, height
        self.draw, self.fmt, self.background = draw, fmt, background

    def render(self):
        c = Canvas(self.width, self.height, self.background)
        self.draw(c)
        return self.fmt, c.bmp_bytes(self.background), c


# ---- the product's look ----------------------------------------------------
def draw_logo(c, x, y, size, plate=True):
    """The product mark: on a blue rounded plate, a white arrow that turns back
    round an orange document, the file that comes home."""
    s = size / 32.0
    if plate:
        c.round_rect(x + 1 * s, y + 1 * s, x + 31 * s, y + 31 * s, 7 * s, darker(BRAND, 0.3))
        c.round_rect(x + 1 * s, y + 1 * s, x + 31 * s, y + 30.2 * s, 7 * s, BRAND)
        c.round_rect(x + 2 * s, y + 2 * s, x + 30 * s, y + 15 * s, 6 * s, BRAND_LIGHT + (120,))
    ring = WHITE if plate else BRAND
    cx, cy = x + 16 * s, y + 16 * s
    # the arrow: most of a circle, open at the upper right, with its head there
    c.ring(cx, cy, 11.2 * s, 2.9 * s, ring, 75, 15)
    a = math.radians(15)
    r_mid = 9.75 * s
    hx, hy = cx + r_mid * math.cos(a), cy - r_mid * math.sin(a)
    c.polygon([(hx - 4.2 * s, hy - 0.6 * s), (hx + 4.0 * s, hy - 1.4 * s), (hx + 0.9 * s, hy + 5.6 * s)], ring)
    # the document in the middle, its corner folded
    dx0, dy0, dx1, dy1 = cx - 4.3 * s, cy - 5.6 * s, cx + 4.3 * s, cy + 5.6 * s
    fold = 3.0 * s
    c.polygon([(dx0, dy0), (dx1 - fold, dy0), (dx1, dy0 + fold), (dx1, dy1), (dx0, dy1)], ACCENT)
    c.polygon([(dx1 - fold, dy0), (dx1, dy0 + fold), (dx1 - fold, dy0 + fold)], lighter(ACCENT, 0.45))
    if size >= 24:
        for i in range(3):
            ly = dy0 + (4.6 + i * 2.2) * s
            c.fill_rect(int(round(dx0 + 1.6 * s)), int(round(ly)), int(round(dx1 - 1.6 * s)),
                        int(round(ly + max(1, 0.9 * s))), lighter(ACCENT, 0.6))


def draw_page_background(c, header=0):
    """The page look: a light body, optionally a brand-coloured header band,
    and a thin frame around the window."""
    c.vgradient(0, 0, c.w, c.h, [(0, PAGE), (1, lighter(PAGE, 0.4))])
    if header:
        c.vgradient(0, 0, c.w, header, [(0, BRAND_LIGHT), (0.55, BRAND), (1, BRAND_DARK)])
        c.fill_rect(0, header, c.w, header + 1, darker(BRAND, 0.35))
        # faint rings at the right end of the band, kept inside it
        rings = Canvas(c.w, header)
        for i, r in enumerate((header * 1.6, header * 1.15, header * 0.7)):
            rings.ring(c.w - header * 0.9, header * 0.55, r, 1.2, lighter(BRAND, 0.25 + 0.1 * i) + (70,))
        c.blit(rings, 0, 0)
    c.frame(0, 0, c.w, c.h, darker(BRAND, 0.35))


def draw_button(c, state, base=BRAND, radius=4):
    """A push-button face filling the canvas: state is 'normal', 'hover',
    'pressed' or 'disabled'."""
    if state == "disabled":
        top, bottom, edge = (232, 235, 240), (214, 219, 226), (190, 196, 204)
    else:
        shade = {"normal": 0.0, "hover": -0.12, "pressed": 0.18}[state]
        face = darker(base, shade) if shade > 0 else lighter(base, -shade)
        top, bottom, edge = lighter(face, 0.18), darker(face, 0.08), darker(face, 0.3)
    c.round_rect(0, 0, c.w, c.h, radius, edge)
    inner = Canvas(c.w - 2, c.h - 2)
    inner.vgradient(0, 0, inner.w, inner.h, [(0, top), (1, bottom)])
    mask = Canvas(c.w - 2, c.h - 2)
    mask.round_rect(0, 0, mask.w, mask.h, max(1, radius - 1), WHITE)
    for j in range(inner.h):
        for i in range(inner.w):
            a = mask.get(i, j)[3]
            if a:
                p = inner.get(i, j)
                c.put(1 + i, 1 + j, p[:3] + (a,))
    if state != "pressed" and state != "disabled":
        c.fill_rect(radius, 1, c.w - radius, 2, lighter(top, 0.35))


def draw_window_frame_edge(c, right=False):
    """The window's 1-pixel frame along the top of a picture that sits on the
    top edge of a window (and along its right side when it ends there), so
    that the frame runs on unbroken under the caption buttons and banners."""
    c.fill_rect(0, 0, c.w, 1, darker(BRAND, 0.35))
    if right:
        c.fill_rect(c.w - 1, 0, c.w, c.h, darker(BRAND, 0.35))


def draw_caption_button(c, glyph, state):
    """The small minimise / close buttons of a page's top-right corner, drawn
    on the header band."""
    band = {"normal": None, "hover": lighter(BRAND, 0.22), "pressed": darker(BRAND, 0.25)}[state]
    if glyph == "close" and state == "hover":
        band = (222, 72, 62)
    if band:
        c.round_rect(0, 0, c.w, c.h, 3, band)
    w, h = c.w, c.h
    if glyph == "close":
        m = w * 0.32
        c.line(m, h * 0.32, w - m, h - h * 0.32, 1.6, WHITE)
        c.line(w - m, h * 0.32, m, h - h * 0.32, 1.6, WHITE)
    else:
        c.fill_rect(int(w * 0.3), int(h * 0.62), int(w * 0.7), int(h * 0.62) + 2, WHITE)
