#!/usr/bin/env python3
"""The real Windows program (the 64-bit lumo.exe) under Wine on a virtual X display.

Usage: wine_app_tests.py LUMO_EXE OUTPUT_FOLDER

Makes a fresh Wine prefix in OUTPUT_FOLDER/prefix (scripts/wine-prefix.sh, which maps the
fonts a Windows machine has), starts the program with Wine's 64-bit loader and checks, by
screenshot and by the files it writes: the rounded 640x494 front plate showing VERSION / 1.1,
then SELECT / DEVICE (Wine has no MIDI devices), the port dialog from the device area and the
Program Names dialog from the display (each drawn at once and closed by Escape), and a clean exit from the close area that leaves the settings file in the roaming application-data
folder. Screenshots stay in OUTPUT_FOLDER. Exits 0 when every check passed.
"""
import glob
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_tests as wt  # noqa: E402
from port_dialog_tests import IN_AREA, CLOSE_AREA, DISPLAY_AREA, display_amber  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = os.path.join(HERE, "..", "..", "scripts")
DIALOG_TITLE = "Vantor LUMO - MIDI Port Settings"
PROMPT_WAIT = 5.5


def dialog_body(shot, dx, dy, dw, dh):
    """Pixels of the dialogs' dark red background inside the window, below its title bar."""
    return shot.count(dx + 4, dy + 30, dw - 8, dh - 34,
                      lambda p: abs(p[0] - 0x80) < 16 and p[1] < 32 and p[2] < 32)


def check_dialog(display, out, where, title, opener, shot_name):
    """Opens a dialog with a click: it must be drawn at once (within a second) and Escape must close it."""
    wt.click(display, *where)
    dialog = wt.wait_for_window(display, title, 15)
    if not wt.check(dialog is not None, "%s opens \"%s\"" % (opener, title)):
        return
    wt.x(display, "xdotool", "mousemove", "5", "5")
    dx, dy, dw, dh = wt.geometry(display, dialog)
    end = time.time() + 1.0
    while True:
        shot = wt.Shot(display, os.path.join(out, shot_name))
        body = dialog_body(shot, dx, dy, dw, dh)
        if body > (dw - 8) * (dh - 34) // 4 or time.time() > end:
            break
    wt.check(body > (dw - 8) * (dh - 34) // 4, "\"%s\" is drawn within a second (%d background pixels)" % (title, body))
    # Without a window manager nobody moves the X keyboard focus; a manager (or a click) would.
    wt.x(display, "xdotool", "windowfocus", "--sync", dialog)
    wt.x(display, "xdotool", "key", "Escape")
    wt.check(wt.wait_gone(display, title, 5), "Escape closes \"%s\"" % title)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    exe, out = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    display = wt.Display()
    prefix = os.path.join(out, "prefix")
    env = display.env(WINEPREFIX=prefix, LUMO_WINE_ARCH="win64")
    try:
        subprocess.run([os.path.join(SCRIPTS, "wine-prefix.sh")], env=env, check=True)
        program = subprocess.Popen(["/usr/lib/wine/wine64", exe], cwd=os.path.dirname(exe),
                                   env=dict(env, WINELOADER="/usr/lib/wine/wine64", WINEDEBUG="-all"),
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        started = time.time()
        window = wt.wait_for_window(display, wt.TITLE, 60)
        if not wt.check(window is not None, "lumo.exe shows its main window under Wine"):
            program.kill()
            return 1
        wx, wy, ww, wh = wt.geometry(display, window)
        wt.check((ww, wh) == (wt.WIN_W, wt.WIN_H), "the window is %dx%d (got %sx%s)" % (wt.WIN_W, wt.WIN_H, ww, wh))
        # Away from the plate, so that no tooltip covers the display.
        wt.x(display, "xdotool", "mousemove", "5", "5")
        time.sleep(1.0)
        shot = wt.Shot(display, os.path.join(out, "wine-main-window.png"))
        corners = [(wx + 1, wy + 1), (wx + ww - 2, wy + 1), (wx + 1, wy + wh - 2), (wx + ww - 2, wy + wh - 2)]
        wt.check(all(wt.is_black(shot.pixel(*c)) for c in corners), "the corners are cut away (rounded)")
        top, bottom, right = display_amber(shot, wx, wy)
        # VERSION reaches into the seventh character cell, so only the line sizes are compared.
        wt.check(top > 2 * bottom > 0, "the display shows VERSION / 1.1 (%d, %d amber pixels)" % (top, bottom))

        # The prompt follows 5 s after the start; Wine's own start-up is not counted exactly, so
        # the display is watched for a while.
        end = started + PROMPT_WAIT + 15
        while True:
            time.sleep(1.0)
            shot = wt.Shot(display, os.path.join(out, "wine-prompt.png"))
            top, bottom, right = display_amber(shot, wx, wy)
            prompt = top > 1500 and bottom > 1500 and right == 0 and bottom > top // 2
            if prompt or time.time() > end:
                break
        wt.check(prompt, "without devices the display asks SELECT / DEVICE (%d, %d, %d)" % (top, bottom, right))

        check_dialog(display, out, (wx + IN_AREA[0] + IN_AREA[2] // 2, wy + 33), DIALOG_TITLE,
                     "the device area", "wine-port-dialog.png")
        check_dialog(display, out, (wx + DISPLAY_AREA[0] + 40, wy + DISPLAY_AREA[1] + 40), wt.EDITOR_TITLE,
                     "a click on the display", "wine-program-names.png")

        time.sleep(0.5)
        wt.click(display, wx + CLOSE_AREA[0] + CLOSE_AREA[2] // 2, wy + CLOSE_AREA[1] + CLOSE_AREA[3] // 2)
        try:
            status = program.wait(30)
        except subprocess.TimeoutExpired:
            status = None
            program.kill()
        output = program.stdout.read().decode(errors="replace") if program.stdout else ""
        with open(os.path.join(out, "wine-output.txt"), "w") as log:
            log.write(output)
        wt.check(status == 0, "the close area ends the program with exit code 0 (got %s)" % status)
        wt.check(not wt.find_windows(display, "Program Error") and "Unhandled exception" not in output,
                 "no crash dialog and no unhandled exception")
        settings = glob.glob(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Roaming", "Vantor Quorvel",
                                          "*.qrcf"))
        wt.check(len(settings) == 1, "the settings file appears under the roaming application data (%s)"
                 % [os.path.relpath(s, prefix) for s in settings])
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        display.stop()
    return 1 if wt.failures else 0


if __name__ == "__main__":
    sys.exit(main())
