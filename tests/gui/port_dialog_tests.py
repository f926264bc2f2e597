#!/usr/bin/env python3
"""Windowed tests of the program's MIDI side: the program over the virtual MIDI backend on a
virtual X display, driven with xdotool and checked on screenshots, settings files and the
backend's log of opened devices.

Usage: port_dialog_tests.py LUMO_VIRTUAL_MIDI_EXECUTABLE OUTPUT_FOLDER
Exits 0 when every check passed; screenshots and report.txt stay in OUTPUT_FOLDER.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_tests as wt  # noqa: E402  (shared display, program and screenshot helpers)
from window_tests import check, click, find_windows, geometry, wait_for_window, wait_gone, x  # noqa: E402
from plate_layout import CLOSE_AREA, DISPLAY_AREA, IN_AREA, THRU_AREA  # noqa: E402,F401

PORTS = "in:Keys B|in:Keys A|out:Synth X|out:Other Out"
DIALOG_TITLE = "Vantor LUMO - MIDI Port Settings"
ERROR_TITLE = "Vantor LUMO - Error"
PROMPT_WAIT = 7.0           # the prompt timer fires 5 s after the start


def near(p, rgb, tolerance=12):
    return all(abs(a - b) <= tolerance for a, b in zip(p, rgb))


def start(program, display, log, fail=""):
    if os.path.exists(log):
        os.remove(log)
    # The settings file next to the program is the one used, once it exists.
    if not os.path.exists(program.settings):
        open(program.settings, "w").close()
    program.start(display, LUMO_VIRTUAL_PORTS=PORTS, LUMO_VIRTUAL_LOG=log, LUMO_VIRTUAL_FAIL=fail,
                  XDG_CONFIG_HOME=os.path.join(program.folder, "config"))
    return wait_for_window(display, wt.TITLE)


def log_lines(log):
    try:
        with open(log) as f:
            return [line.rstrip("\n") for line in f]
    except OSError:
        return []


def wait_log(log, line, timeout=10.0):
    end = time.time() + timeout
    while time.time() < end:
        if line in log_lines(log):
            return True
        time.sleep(0.05)
    return False


def display_amber(shot, wx, wy):
    """Amber pixels in the left six character cells and in the last two, per display line."""
    top_left = shot.count(wx + 21, wy + 100, 440, 110, wt.is_amber)
    bottom_left = shot.count(wx + 21, wy + 210, 440, 110, wt.is_amber)
    right = shot.count(wx + 480, wy + 100, 135, 215, wt.is_amber)
    return top_left, bottom_left, right


def choose(display, dialog, row_y, item_index, item_count):
    """Opens the combo box of the row at content height row_y and clicks an item of its menu."""
    dx, dy, _, _ = geometry(display, dialog)
    click(display, dx + 176, dy + row_y)
    menu = wait_for_window(display, "menu", 5)
    if menu is None:
        return False
    time.sleep(0.5)   # the menu ignores clicks right after it opened
    mx, my, mw, mh = geometry(display, menu)
    item_h = (mh - 4) / item_count
    click(display, mx + mw // 2, int(my + 2 + (item_index + 0.5) * item_h))
    return wait_gone(display, "menu", 5)


def area_unchanged(before, after, wx, wy, area):
    left, top, width, height = area
    for py in range(wy + top, wy + top + height):
        for px in range(wx + left, wx + left + width):
            if before.pixel(px, py) != after.pixel(px, py):
                return False
    return True


def test_choose_devices_and_restart(display, lumo, out):
    program = wt.Program(lumo, os.path.join(out, "binding"), "lumo")
    log = os.path.join(program.folder, "midi.log")
    window = start(program, display, log)
    if not check(window is not None, "the program over the virtual backend shows its window"):
        program.kill()
        return
    wx, wy, _, _ = geometry(display, window)
    # Off the window: a pointer resting on the display (where Xvfb starts it) would show its
    # tooltip in the pictures compared below.
    x(display, "xdotool", "mousemove", "0", "0")
    time.sleep(PROMPT_WAIT)
    shot = wt.Shot(display, os.path.join(out, "prompt.png"))
    top, bottom, right = display_amber(shot, wx, wy)
    check(top > 1500 and bottom > 1500 and right == 0,
          "5 s after a start without input device the display asks: SELECT / DEVICE (%d, %d, %d)"
          % (top, bottom, right))

    # Nothing of the transparent buttons shows when hovered or pressed (the calm picture is taken
    # with the pointer off the window, so that no tooltip is in it however slow the machine).
    calm = wt.Shot(display, os.path.join(out, "calm.png"))
    # Near the cross's lower edge, so that its tooltip opens below the area compared.
    x(display, "xdotool", "mousemove", str(wx + 628), str(wy + 36))
    time.sleep(0.3)
    hovered = wt.Shot(display, os.path.join(out, "hovered-close.png"))
    check(area_unchanged(calm, hovered, wx, wy, CLOSE_AREA), "the close cross looks the same when hovered")
    x(display, "xdotool", "mousemove", str(wx + 117), str(wy + 33), "mousedown", "1")
    time.sleep(0.3)
    pressed = wt.Shot(display, os.path.join(out, "pressed-thru.png"))
    x(display, "xdotool", "mousemove", str(wx + 300), str(wy + 420), "mouseup", "1")
    check(area_unchanged(calm, pressed, wx, wy, THRU_AREA), "the THRU area looks the same when pressed")
    x(display, "xdotool", "mousemove", str(wx + 320), str(wy + 200), "mousedown", "1")
    time.sleep(0.3)
    pressed = wt.Shot(display, os.path.join(out, "pressed-display.png"))
    x(display, "xdotool", "mousemove", str(wx + 300), str(wy + 420), "mouseup", "1")
    check(area_unchanged(calm, pressed, wx, wy, DISPLAY_AREA), "the display looks the same when pressed")
    time.sleep(0.3)

    # The THRU area opens the dialog too; Escape closes it without touching anything.
    click(display, wx + THRU_AREA[0] + THRU_AREA[2] // 2, wy + 33)
    dialog = wait_for_window(display, DIALOG_TITLE, 10)
    if check(dialog is not None, "the THRU area opens \"%s\"" % DIALOG_TITLE):
        time.sleep(0.3)
        x(display, "xdotool", "windowfocus", "--sync", dialog)
        x(display, "xdotool", "key", "Escape")
        check(wait_gone(display, DIALOG_TITLE), "Escape closes the dialog")
        check(log_lines(log) == [], "and nothing was opened or closed (%s)" % log_lines(log))

    click(display, wx + IN_AREA[0] + IN_AREA[2] // 2, wy + 33)
    dialog = wait_for_window(display, DIALOG_TITLE, 10)
    if not check(dialog is not None, "the IN area opens \"%s\"" % DIALOG_TITLE):
        program.kill()
        return
    time.sleep(0.4)
    shot = wt.Shot(display, os.path.join(out, "port-dialog.png"))
    dx, dy, dw, dh = geometry(display, dialog)
    red = shot.count(dx, dy, dw, dh, lambda p: near(p, (0x80, 0x08, 0x08)))
    text = shot.count(dx, dy, dw, dh, lambda p: near(p, (0xFF, 0xFF, 0xB3), 30))
    check(red > dw * dh // 3 and text > 150,
          "the dialog is dark red with pale yellow lettering (%d, %d pixels)" % (red, text))
    check((dw, dh) == (352, 244), "the dialog holds the two rows and shrinks to them (%dx%d)" % (dw, dh))

    # Items are sorted: (none), Keys A, Keys B / (none), Other Out, Synth X.
    check(choose(display, dialog, 112, 1, 3), "Keys A chosen for \"MIDI Input\" with the mouse")
    check(choose(display, dialog, 170, 2, 3), "Synth X chosen for \"MIDI Thru\" with the mouse")
    time.sleep(0.3)
    wt.Shot(display, os.path.join(out, "port-dialog-chosen.png"))
    click(display, dx + dw - 1 - 140, dy + dh - 1 - 25)
    check(wait_gone(display, DIALOG_TITLE), "OK closes the dialog")
    check(wait_log(log, "Opened MIDI IN: Keys A") and wait_log(log, "Opened MIDI OUT: Synth X"),
          "OK opens the two chosen devices (%s)" % log_lines(log))
    time.sleep(0.5)
    shot = wt.Shot(display, os.path.join(out, "after-choice.png"))
    check(sum(display_amber(shot, wx, wy)) == 0, "the prompt is cleared once a device opened")

    rc = wt.close_by_cross(display, program, window)
    check(rc == 0, "quits by the cross (status %s)" % rc)
    settings = wt.read_settings(program.settings) or {}
    aliases = settings.get("MIDI.alias", {})
    bindings = {aliases.get("Name%d" % n): aliases.get("Device%d" % n) for n in range(10) if "Name%d" % n in aliases}
    check(bindings.get("MIDI Input") == "1:Keys A" and bindings.get("MIDI Thru") == "2:Synth X",
          "the binding is stored in [MIDI.alias] (%s)" % bindings)
    program.kill()

    again = wt.Program(lumo, program.folder, "lumo", copy=False)
    window = start(again, display, log)
    if check(window is not None, "second start"):
        check(wait_log(log, "Opened MIDI IN: Keys A"), "the next start opens the stored input (%s)" % log_lines(log))
        check("Opened MIDI OUT: Synth X" in log_lines(log), "and the stored thru output")
        time.sleep(PROMPT_WAIT)
        shot = wt.Shot(display, os.path.join(out, "input-present.png"))
        check(sum(display_amber(shot, wx, wy)) == 0, "5 s after a start with the input present the display is blank")
        rc = wt.close_by_cross(display, again, window)
        check(rc == 0, "quits again (status %s)" % rc)
    again.kill()


def test_open_failure(display, lumo, out):
    program = wt.Program(lumo, os.path.join(out, "open-failure"), "lumo")
    with open(program.settings, "w") as f:
        f.write("[MIDI.alias]\nName0=MIDI Input\nDevice0=1:Keys A\n")
    log = os.path.join(program.folder, "midi.log")
    window = start(program, display, log, fail="Keys A")
    box = wait_for_window(display, ERROR_TITLE, 10)
    if check(box is not None, "an open failure of the bound device shows \"%s\"" % ERROR_TITLE):
        time.sleep(0.4)
        wt.Shot(display, os.path.join(out, "open-error.png"))
        errors = [line for line in log_lines(log) if line.startswith("error: ")]
        check(len(errors) == 1 and "Keys A" in errors[0], "with the manager's text (%s)" % errors)
        x(display, "xdotool", "windowfocus", "--sync", box)
        x(display, "xdotool", "key", "Return")
        check(wait_gone(display, ERROR_TITLE), "Return closes the error box")
    if window is not None:
        rc = wt.close_by_cross(display, program, window)
        check(rc == 0, "the program quits normally afterwards (status %s)" % rc)
    program.kill()


def test_quick_quits(display, lumo, out):
    program = wt.Program(lumo, os.path.join(out, "quick-quit"), "lumo")
    log = os.path.join(program.folder, "midi.log")
    clean = 0
    runs = 8
    for run in range(runs):
        window = start(program, display, log)
        if window is None:
            program.kill()
            continue
        time.sleep(0.05 + 0.45 * run)   # from right after the window shows to well past startMidi
        if wt.close_by_cross(display, program, window) == 0:
            clean += 1
        program.kill()
        wait_gone(display, wt.TITLE)
    check(clean == runs, "quitting within the first 5 s ends the program cleanly every time (%d of %d)"
          % (clean, runs))


def main():
    paths = wt.arguments(__doc__, 2)
    if paths is None:
        return 2
    lumo, out = paths
    display = wt.Display()
    try:
        test_choose_devices_and_restart(display, lumo, out)
        test_open_failure(display, lumo, out)
        test_quick_quits(display, lumo, out)
    finally:
        display.stop()
    return wt.finish(out)


if __name__ == "__main__":
    sys.exit(main())
