"""Pictures of the deep-scan road: the images of the location page's device
list (whole disks and removable devices, 32 pixels) and of its tree (16
pixels). The result page's caption and tool buttons are those of recovery.py."""
from skinlib import *


# ---- devices, drawn in a box of s x s pixels at (x, y) ----------------------

def hard_disk(c, x, y, s):
    """A hard disk seen from the front, its activity light on."""
    k = s / 32.0
    c.round_rect(x + 2 * k, y + 9 * k, x + 30 * k, y + 26 * k, 3.5 * k, darker((176, 188, 204), 0.3))
    c.round_rect(x + 2 * k, y + 8 * k, x + 30 * k, y + 24 * k, 3.5 * k, (212, 220, 231))
    c.round_rect(x + 3.5 * k, y + 9.5 * k, x + 28.5 * k, y + 15 * k, 2 * k, (240, 243, 248))
    c.fill_rect(int(x + 6 * k), int(y + 18 * k), int(x + 19 * k), int(y + 19.5 * k), (146, 158, 174))
    c.circle(x + 25 * k, y + 18.8 * k, 1.7 * k, GOOD)


def volume(c, x, y, s):
    """A volume of a disk: the disk with a blue band across its face."""
    hard_disk(c, x, y, s)
    k = s / 32.0
    c.fill_rect(int(x + 4 * k), int(y + 10 * k), int(x + 28 * k), int(y + 13 * k), lighter(BRAND, 0.25))


def usb_stick(c, x, y, s):
    """A USB stick, plug up."""
    k = s / 32.0
    c.round_rect(x + 11 * k, y + 2 * k, x + 21 * k, y + 9 * k, 1.2 * k, (198, 204, 212))
    c.fill_rect(int(x + 13 * k), int(y + 4 * k), int(x + 15 * k), int(y + 6 * k), (112, 122, 138))
    c.fill_rect(int(x + 17 * k), int(y + 4 * k), int(x + 19 * k), int(y + 6 * k), (112, 122, 138))
    c.round_rect(x + 8.5 * k, y + 8 * k, x + 23.5 * k, y + 30 * k, 3 * k, darker(BRAND, 0.25))
    c.round_rect(x + 8.5 * k, y + 8 * k, x + 23.5 * k, y + 29 * k, 3 * k, BRAND)
    c.round_rect(x + 10 * k, y + 9.5 * k, x + 22 * k, y + 15 * k, 2 * k, BRAND_LIGHT + (170,))
    c.circle(x + 16 * k, y + 23 * k, 1.8 * k, WHITE)


def computer(c, x, y, s):
    """A monitor on its foot."""
    k = s / 16.0
    c.round_rect(x + 1 * k, y + 1.5 * k, x + 15 * k, y + 11.5 * k, 1.2 * k, darker(BRAND, 0.35))
    c.fill_rect(int(x + 2.5 * k), int(y + 3 * k), int(x + 13.5 * k), int(y + 10 * k), lighter(BRAND, 0.35))
    c.fill_rect(int(x + 2.5 * k), int(y + 3 * k), int(x + 13.5 * k), int(y + 5 * k), lighter(BRAND, 0.6))
    c.fill_rect(int(x + 7 * k), int(y + 11.5 * k), int(x + 9 * k), int(y + 13.5 * k), (120, 130, 145))
    c.fill_rect(int(x + 4 * k), int(y + 13.5 * k), int(x + 12 * k), int(y + 15 * k), (120, 130, 145))


def device_icons(c):
    hard_disk(c, 0, 0, 32)
    usb_stick(c, 32, 0, 32)


# The tree's images, in the order of DeepTreeImage (pages/deep_targets.h):
# computer, volume, removable volume, physical disk, removable device.
def tree_icons(c):
    computer(c, 0, 0, 16)
    volume(c, 16, 0, 16)
    usb_stick(c, 32, 0, 16)
    hard_disk(c, 48, 0, 16)
    usb_stick(c, 64, 0, 16)


RESOURCES = [
    KeyedStrip(784, "device list row images: disk, removable", 64, 32, device_icons),
    KeyedStrip(785, "location tree images", 80, 16, tree_icons),
]
