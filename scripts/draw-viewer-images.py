#!/usr/bin/env python3
"""Draws the viewer's leave-full-screen button (normal, hover, pressed) as 40x40 PNG files.

Uses the shape helpers of draw-dialog-images.py. Run from the repository root:  scripts/draw-viewer-images.py
"""
import importlib.util
import os

HERE = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location("dialog_images", os.path.join(HERE, "draw-dialog-images.py"))
kit = importlib.util.module_from_spec(spec)
spec.loader.exec_module(kit)


def leave_full_screen(background, arrows):
    """A rounded square with four corner marks pointing inwards."""
    shapes = [(kit.rounded_rect(1, 1, 39, 39, 7), background)]
    w = 2.6
    for sx, sy in ((1, 1), (-1, 1), (1, -1), (-1, -1)):
        cx = 20 - sx * 11
        cy = 20 - sy * 11
        # corner mark: an "L" whose bend sits toward the centre
        bx, by = cx + sx * 6, cy + sy * 6
        shapes.append((kit.polyline([(bx - sx * 6, by), (bx, by), (bx, by - sy * 6)], w), arrows))
    return shapes


def main():
    root = os.path.join(HERE, "..", "resources", "image", "viewer")
    os.makedirs(root, exist_ok=True)
    looks = {
        "ctrl_viewer_min": ((0, 0, 0, 120), (255, 255, 255, 230)),
        "ctrl_viewer_min_hover": ((40, 40, 40, 170), (255, 255, 255, 255)),
        "ctrl_viewer_min_press": ((0, 0, 0, 200), (200, 200, 200, 255)),
    }
    for name, (background, arrows) in looks.items():
        kit.write_png(os.path.join(root, name + ".png"), 40, 40, kit.render(40, 40, leave_full_screen(background, arrows)))


if __name__ == "__main__":
    main()
