#!/usr/bin/env python3
"""Draws the meeting control bar's icons and the mirror window's close button as PNG files.

Our own drawings, made from a few shapes with the helpers of draw-dialog-images.py; each icon comes in three
states: normal (grey), hover (light grey) and press (blue). Run from the repository root:
    scripts/draw-controlbar-images.py
"""
import importlib.util
import os

_spec = importlib.util.spec_from_file_location(
    "dialog_images", os.path.join(os.path.dirname(os.path.abspath(__file__)), "draw-dialog-images.py"))
d = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(d)

STATES = {
    "": (151, 151, 151, 255),
    "_hover": (200, 200, 200, 255),
    "_press": (53, 151, 255, 255),
}
CLEAR = (0, 0, 0, 0)
SIZE = 36


def board(c):
    return [
        (d.rounded_rect(5, 6, 31, 26, 2), c),
        (d.rounded_rect(7.5, 8.5, 28.5, 23.5, 1), CLEAR),
        (d.polyline([(10, 20), (15, 14), (19, 18), (25, 11)], 2.0), c),
        (d.segment(12, 26, 9, 32, 2.0), c),
        (d.segment(24, 26, 27, 32, 2.0), c),
    ]


def camera(c):
    return [
        (d.rounded_rect(4, 11, 24, 27, 3), c),
        (d.polygon([(25, 19), (33, 12), (33, 26)]), c),
        (d.circle(14, 19, 4.5), CLEAR),
        (d.circle(14, 19, 2.5), c),
    ]


def membercall(c):
    return [
        (d.rounded_rect(13, 4, 23, 22, 5), c),
        (d.arc(18, 17, 9, 0, 180, 2.0), c),
        (d.segment(18, 26, 18, 31, 2.0), c),
        (d.segment(12, 31.5, 24, 31.5, 2.0), c),
    ]


def sysvoice(c):
    return [
        (d.polygon([(5, 14), (11, 14), (19, 7), (19, 29), (11, 22), (5, 22)]), c),
        (d.arc(19, 18, 6, 300, 60, 2.0), c),
        (d.arc(19, 18, 11, 300, 60, 2.0), c),
    ]


def locked(c):
    return [
        (d.arc(18, 14, 7, 180, 360, 2.5), c),
        (d.segment(11, 14, 11, 17, 2.5), c),
        (d.segment(25, 14, 25, 17, 2.5), c),
        (d.rounded_rect(8, 16, 28, 32, 2.5), c),
        (d.circle(18, 23, 2.2), CLEAR),
        (d.segment(18, 23, 18, 28, 1.6), CLEAR),
    ]


def add_image(c):
    return [
        (d.rounded_rect(4, 7, 28, 29, 2), c),
        (d.rounded_rect(6.5, 9.5, 25.5, 26.5, 1), CLEAR),
        (d.polygon([(8, 25), (14, 16), (19, 22), (22, 19), (25, 25)]), c),
        (d.circle(20, 13, 2), c),
        (d.circle(29, 27, 6.5), CLEAR),
        (d.circle(29, 27, 5.5), c),
        (d.segment(26, 27, 32, 27, 1.6), CLEAR),
        (d.segment(29, 24, 29, 30, 1.6), CLEAR),
    ]


def viewer_max(c):
    return [
        (d.circle(18, 18, 17), (40, 40, 40, 200)),
        (d.polyline([(9, 14), (9, 9), (14, 9)], 2.2), c),
        (d.polyline([(22, 9), (27, 9), (27, 14)], 2.2), c),
        (d.polyline([(27, 22), (27, 27), (22, 27)], 2.2), c),
        (d.polyline([(14, 27), (9, 27), (9, 22)], 2.2), c),
    ]


def viewer_rotate(c):
    return [
        (d.circle(18, 18, 17), (40, 40, 40, 200)),
        (d.arc(18, 18, 9, 330, 270, 2.4), c),
        (d.polygon([(17, 5), (23, 9), (17, 13)]), c),
    ]


def dialog_close(c):
    return [
        (d.segment(5, 5, 15, 15, 2.2), c),
        (d.segment(15, 5, 5, 15, 2.2), c),
    ]


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "image", "ctrl")
    os.makedirs(root, exist_ok=True)
    icons = {
        "ctrl_board": board,
        "ctrl_camera": camera,
        "ctrl_membercall": membercall,
        "ctrl_sysvoice": sysvoice,
        "ctrl_locked": locked,
        "ctrl_add_image": add_image,
        "ctrl_viewer_max": viewer_max,
        "ctrl_viewer_rotate": viewer_rotate,
    }
    for name, draw in icons.items():
        for suffix, colour in STATES.items():
            path = os.path.join(root, name + suffix + ".png")
            d.write_png(path, SIZE, SIZE, d.render(SIZE, SIZE, draw(colour)))
    close_states = {"": (220, 220, 220, 255), "_hover": (255, 255, 255, 255), "_press": (53, 151, 255, 255)}
    for suffix, colour in close_states.items():
        path = os.path.join(root, "camera_dialog_close" + suffix + ".png")
        d.write_png(path, 20, 20, d.render(20, 20, dialog_close(colour)))


if __name__ == "__main__":
    main()
