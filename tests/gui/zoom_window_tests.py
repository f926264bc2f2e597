#!/usr/bin/env python3
"""Windowed tests of the panel's zoom and "Always on top": the real program on a large virtual X
display, driven with xdotool; checks window sizes, the stored view, and that a zoomed panel is
drawn sharp rather than enlarged from a smaller picture.

Usage: zoom_window_tests.py LUMO_EXECUTABLE OUTPUT_FOLDER

Screenshots (zoom-100.png, zoom-200.png, zoom-400.png), settings files and the sharpness figures
(report.txt) stay in OUTPUT_FOLDER. Exits 0 when every check passed.
"""
import math
import os
import shutil
import subprocess
import sys
import time

import window_tests as wt
from window_tests import check, x

SCREEN_W, SCREEN_H = 2880, 2160    # room for the 400 % window (2560 x 1976)
ERROR_TITLE = "Vantor LUMO - Error"
BACKGROUND = (450, 400)            # a point of the bare plate, in plate coordinates
CROSS = (612, 20)


def start(display, lumo, folder, settings_text=None):
    shutil.rmtree(folder, ignore_errors=True)
    program = wt.Program(lumo, folder, "lumo")
    if settings_text is not None:
        with open(program.settings, "w") as f:
            f.write(settings_text)
    program.start(display, XDG_CONFIG_HOME=os.path.join(folder, "config"))
    return program, wt.wait_for_window(display, wt.TITLE)


def main_window(display):
    windows = wt.find_windows(display, wt.TITLE)
    return windows[0] if windows else None


def wait_size(display, size, timeout=5.0):
    """The main window's geometry once it has `size` (the last one seen otherwise)."""
    end = time.time() + timeout
    while True:
        window = main_window(display)
        geometry = wt.geometry(display, window) if window else (None, None, None, None)
        if geometry[2:] == size or time.time() > end:
            return geometry
        time.sleep(0.05)


def shown(zoom):
    return (round(wt.WIN_W * zoom / 100), round(wt.WIN_H * zoom / 100))


def key(display, keys):
    window = main_window(display)
    x(display, "xdotool", "windowfocus", "--sync", window)
    x(display, "xdotool", "key", keys)


def ctrl_wheel(display, zoom, button):
    """Ctrl + wheel over the plate shown at `zoom`."""
    wx, wy, _, _ = wt.geometry(display, main_window(display))
    px, py = wx + BACKGROUND[0] * zoom // 100, wy + BACKGROUND[1] * zoom // 100
    x(display, "xdotool", "mousemove", str(px), str(py), "keydown", "ctrl", "click", str(button), "keyup", "ctrl")


def choose_from_menu(display, zoom, item):
    """Right click on the plate and click menu item `item` (0..4 the zooms, 5 "Always on top")."""
    wx, wy, _, _ = wt.geometry(display, main_window(display))
    # A click lost on a loaded machine (the window just restarted or resized) is repeated once.
    menu = None
    for _ in range(2):
        wt.click(display, wx + BACKGROUND[0] * zoom // 100, wy + BACKGROUND[1] * zoom // 100, 3)
        menu = wt.wait_for_window(display, "menu", 5)
        if menu is not None:
            break
    if not check(menu is not None, "a right click on the plate opens the menu"):
        return
    time.sleep(0.3)
    mx, my, mw, mh = wt.geometry(display, menu)
    # The toolkit's items are 22 pixels high inside a 2-pixel border; a separator precedes the last.
    item_y = my + mh - 13 if item == 5 else my + 13 + 22 * item
    wt.click(display, mx + mw // 2, item_y)
    wt.wait_gone(display, "menu", 5)


def has_on_top_state(display):
    return "_NET_WM_STATE_ABOVE" in x(display, "xprop", "-id", main_window(display), "_NET_WM_STATE")


def close(display, program, zoom):
    wx, wy, _, _ = wt.geometry(display, main_window(display))
    # The pointer may still rest where the last program's cross was, on a window that has not
    # seen it arrive: it moves there first, and a click lost on a loaded machine is repeated.
    for _ in range(2):
        x(display, "xdotool", "mousemove", str(wx + BACKGROUND[0]), str(wy + BACKGROUND[1]))
        time.sleep(0.1)
        wt.click(display, wx + CROSS[0] * zoom // 100, wy + CROSS[1] * zoom // 100)
        rc = program.wait(5)
        if rc is not None:
            return rc
    return None


# ---- sharpness ----

def luminance_rows(picture, left, top, width, height):
    rows = []
    for py in range(top, top + height):
        row = []
        for px in range(left, left + width):
            r, g, b = picture.pixel(px, py)
            row.append(0.299 * r + 0.587 * g + 0.114 * b)
        rows.append(row)
    return rows


def edge_sharpness(rows):
    """Mean gradient magnitude over the box and over its edge pixels (gradient above 24)."""
    everything, edges = [], []
    for py in range(1, len(rows) - 1):
        for px in range(1, len(rows[0]) - 1):
            gx = (rows[py][px + 1] - rows[py][px - 1]) / 2
            gy = (rows[py + 1][px] - rows[py - 1][px]) / 2
            g = math.hypot(gx, gy)
            everything.append(g)
            if g > 24:
                edges.append(g)
    return sum(everything) / max(1, len(everything)), sum(edges) / max(1, len(edges))


def uneven_blocks(rows):
    """Share of the 2 x 2 blocks on edges that are not one colour (none in a 2x pixel enlargement)."""
    on_edge = uneven = 0
    for py in range(0, len(rows) - 3, 2):
        for px in range(0, len(rows[0]) - 3, 2):
            block = (rows[py][px], rows[py][px + 1], rows[py + 1][px], rows[py + 1][px + 1])
            around = (rows[py + 2][px], rows[py][px + 2])
            if max(block + around) - min(block + around) < 48:
                continue
            on_edge += 1
            if max(block) - min(block) > 8:
                uneven += 1
    return uneven / max(1, on_edge)


def compare_sharpness(out, shots, label=""):
    """shots: zoom -> (screenshot, window x, window y); label names a variant in the report."""
    boxes = {"display text": (21, 100, 600, 220), "plate lettering": (336, 16, 231, 77)}
    for name, (bx, by, bw, bh) in boxes.items():
        figures = {}
        for zoom, (shot, wx, wy) in shots.items():
            f = zoom // 100 if zoom % 100 == 0 else zoom / 100
            rows = luminance_rows(shot, int(wx + bx * f), int(wy + by * f), int(bw * f), int(bh * f))
            figures[zoom] = edge_sharpness(rows) + (uneven_blocks(rows),)
        # What an enlargement of the 100 % picture would give.
        shot, wx, wy = shots[100]
        enlarged = os.path.join(out, "enlarged-%s.png" % name.replace(" ", "-"))
        subprocess.run(["convert", shot.path, "-crop", "%dx%d+%d+%d" % (bw, bh, wx + bx, wy + by), "+repage",
                        "-filter", "Triangle", "-resize", "200%", enlarged], check=True)
        up = wt.Shot(None, enlarged)
        rows = luminance_rows(up, 0, 0, up.width, up.height)
        upscaled = edge_sharpness(rows) + (uneven_blocks(rows),)
        if label:
            name = "%s %s" % (name, label)
        wt.report.append("figure %s sharpness (mean gradient over the box / over its edges / uneven 2x2 blocks): "
                         "%s; the 100 %% picture enlarged 2x: %.1f / %.1f / %.2f"
                         % (name, "; ".join("%d %%: %.1f / %.1f / %.2f" % ((z,) + figures[z]) for z in sorted(figures)),
                            *upscaled))
        print(wt.report[-1], flush=True)
        check(figures[200][1] >= figures[100][1] * 0.97,
              "%s: edges at 200 %% are as sharp as at 100 %% (%.1f, %.1f)" % (name, figures[200][1], figures[100][1]))
        check(figures[200][1] > 1.2 * upscaled[1],
              "%s: 200 %% is sharper than the 100 %% picture enlarged (%.1f, %.1f)" % (name, figures[200][1], upscaled[1]))
        check(figures[200][2] > 0.3,
              "%s: 200 %% is no pixel enlargement (%.2f of the edge blocks are uneven)" % (name, figures[200][2]))


# ---- the tests ----

def test_shortcuts_menu_and_restart(display, lumo, out):
    folder = os.path.join(out, "zoom")
    program, window = start(display, lumo, folder, "[Current]\nMainLeft=100\nMainTop=80\n")
    if not check(window is not None, "the program starts on the large display"):
        program.kill()
        return
    check(wait_size(display, shown(100))[:2] == (100, 80), "it opens at 100 % at the stored position")
    time.sleep(0.5)
    steps = [("ctrl+plus", 150), ("ctrl+equal", 200), ("ctrl+minus", 150), ("ctrl+plus", 200), ("ctrl+0", 100),
             ("ctrl+KP_Add", 150), ("ctrl+KP_Subtract", 100)]
    for keys, zoom in steps:
        key(display, keys)
        geometry = wait_size(display, shown(zoom))
        check(geometry == (100, 80) + shown(zoom), "%s gives %d %%, top-left kept (%s)" % (keys, zoom, geometry))
    current = 100
    for button, zoom in ((4, 150), (4, 200), (5, 150)):
        ctrl_wheel(display, current, button)
        current = zoom
        geometry = wait_size(display, shown(zoom))
        check(geometry[2:] == shown(zoom), "Ctrl + wheel %s gives %d %% (%s)" % ("up" if button == 4 else "down", zoom,
                                                                                geometry))
    key(display, "ctrl+0")
    wait_size(display, shown(100))
    # The shots compare one text: the prompt that replaces the start text after five seconds.
    time.sleep(max(0.5, program.started + 6.0 - time.time()))
    shots = {100: (wt.Shot(display, os.path.join(out, "zoom-100.png")), 100, 80)}

    current = 100
    for item, zoom in enumerate((100, 150, 200, 300, 400)):
        if zoom == 100:
            continue
        choose_from_menu(display, current, item)
        geometry = wait_size(display, shown(zoom))
        check(geometry == (100, 80) + shown(zoom), "the menu item \"Zoom %d %%\" gives %s" % (zoom, geometry))
        current = zoom
        if zoom in (200, 400):
            time.sleep(0.5)
            shots[zoom] = (wt.Shot(display, os.path.join(out, "zoom-%d.png" % zoom)), 100, 80)
    choose_from_menu(display, current, 0)
    check(wait_size(display, shown(100))[2:] == shown(100), "the menu item \"Zoom 100 %\" gives 640 x 494")
    compare_sharpness(out, shots)

    check(not has_on_top_state(display), "the window is not kept on top by default")
    choose_from_menu(display, 100, 5)
    time.sleep(0.5)
    check(has_on_top_state(display), "\"Always on top\" keeps the window above the others")
    choose_from_menu(display, 100, 2)
    wx, wy, ww, wh = wait_size(display, shown(200))
    time.sleep(0.3)
    shot = wt.Shot(display, os.path.join(out, "zoom-200-on-top.png"))
    check(wt.is_black(shot.pixel(wx + 2, wy + 2)) and not wt.is_black(shot.pixel(wx + 50, wy + 50)),
          "the window kept on top at 200 % still has its rounded corners")
    rc = close(display, program, 200)
    check(rc == 0, "the cross at 200 %% quits (status %s)" % rc)
    settings = wt.read_settings(program.settings) or {}
    current_section = settings.get("Current", {})
    check(current_section.get("Zoom") == "200" and current_section.get("AlwaysOnTop") == "1",
          "Zoom=200 and AlwaysOnTop=1 are stored in Current (%s)" % current_section)

    program.start(display, XDG_CONFIG_HOME=os.path.join(folder, "config"))
    window = wt.wait_for_window(display, wt.TITLE)
    if check(window is not None, "restart with the stored view"):
        geometry = wait_size(display, shown(200))
        check(geometry == (100, 80) + shown(200), "the stored zoom survives the restart (%s)" % (geometry,))
        check(has_on_top_state(display), "\"Always on top\" survives the restart")
        choose_from_menu(display, 200, 5)
        time.sleep(0.5)
        check(not has_on_top_state(display), "choosing \"Always on top\" again turns it off")
        close(display, program, 200)
    program.kill()


def test_malformed_zoom(display, lumo, out):
    for label, value in (("letters", "abc"), ("between-steps", "250"), ("too-large", "100000000000")):
        # A key of a newer program is ignored and kept, as older programs treat Zoom.
        program, window = start(display, lumo, os.path.join(out, "zoom-" + label),
                                "[Current]\nZoom=%s\nAlwaysOnTop=maybe\nFutureKey=7\n" % value)
        if check(window is not None, "starts with Zoom=%s" % value):
            geometry = wait_size(display, shown(100))
            check(geometry[2:] == shown(100), "Zoom=%s means 100 %% (%s)" % (value, geometry))
            time.sleep(0.5)
            check(not wt.find_windows(display, ERROR_TITLE), "Zoom=%s shows no error box" % value)
            rc = close(display, program, 100)
            check(rc == 0, "quits normally (status %s)" % rc)
            stored = (wt.read_settings(program.settings) or {}).get("Current", {})
            check(stored.get("Zoom") == "100" and stored.get("AlwaysOnTop") == "0" and stored.get("FutureKey") == "7",
                  "a valid view replaces Zoom=%s, the unknown key stays (%s)" % (value, stored))
        program.kill()
        wt.wait_gone(display, wt.TITLE)


def test_kept_on_screen_near_the_corner(display, lumo, out):
    left, top = SCREEN_W - wt.WIN_W - 20, SCREEN_H - wt.WIN_H - 26
    program, window = start(display, lumo, os.path.join(out, "zoom-corner"),
                            "[Current]\nMainLeft=%d\nMainTop=%d\n" % (left, top))
    if check(window is not None, "starts near the display's bottom-right corner"):
        wait_size(display, shown(100))
        time.sleep(0.5)
        for _ in range(4):
            key(display, "ctrl+plus")
        expected = (SCREEN_W - shown(400)[0], SCREEN_H - shown(400)[1]) + shown(400)
        geometry = wait_size(display, shown(400))
        check(geometry == expected, "at 400 %% the window moves the least distance onto the display (%s, "
              "expected %s)" % (geometry, expected))
        time.sleep(0.5)
        wt.Shot(display, os.path.join(out, "zoom-400-corner.png"))
        close(display, program, 400)
    program.kill()


def main():
    paths = wt.arguments(__doc__, 2)
    if paths is None:
        return 2
    lumo, out = paths
    # -noreset: atoms made before the program starts must outlive the client that made them.
    display = wt.Display(SCREEN_W, SCREEN_H, ["-noreset"])
    try:
        # Without a window manager nobody has made the atoms the toolkit's "on top" state uses.
        for atom in ("_NET_WM_STATE", "_NET_WM_STATE_ABOVE"):
            x(display, "xprop", "-root", "-f", "LUMO_TEST" + atom, "32a", "-set", "LUMO_TEST" + atom, atom,
              check_rc=True)
        test_shortcuts_menu_and_restart(display, lumo, out)
        test_malformed_zoom(display, lumo, out)
        test_kept_on_screen_near_the_corner(display, lumo, out)
    finally:
        display.stop()
    return wt.finish(out)


if __name__ == "__main__":
    sys.exit(main())
