#!/usr/bin/env python3
"""The Windows program itself under Wine: it shows its window, writes its settings, quits cleanly.

Usage: wine_window_test.py WINE_RUNNER LUMO_EXE OUTPUT_FOLDER

WINE_RUNNER is scripts/wine-run.sh (it picks the loader and the prefix, $WINEPREFIX). The program
runs from a copy in a folder of its own, so that no settings file sits next to it and it uses
%APPDATA%; its window is looked for on a virtual X display, photographed (lumo-window.png) and
closed by a click on its close cross, as a user would. Exits 0 when every check passed; the
screenshot and report.txt stay in OUTPUT_FOLDER.
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_tests as wt  # noqa: E402  (the helpers of the Linux windowed tests)

# Under software emulation (the test VM) a start takes many times as long as on the host.
START_TIMEOUT = 300.0
PAINT_TIMEOUT = 120.0
QUIT_TIMEOUT = 120.0


def settings_files(prefix):
    return glob.glob(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Roaming",
                                  "Vantor Quorvel", "lumo.qrcf"))


class SessionDisplay(wt.Display):
    """The X display the Wine session of this run already uses ($DISPLAY).

    Wine's desktop process belongs to the display of the session's first windowed program; a
    program started on another display finds no display adapter through DXGI, and the toolkit
    then crashes creating its first window. So the program goes where the session is, and only
    a run without any display gets a virtual one of its own."""

    def __init__(self):
        self.proc = None
        self.name = os.environ["DISPLAY"]


def crashed(log_path):
    # Wine's report of a crash; the crashed process may linger in Wine's debugger after it.
    with open(log_path, "rb") as log:
        return b"Unhandled exception" in log.read()


def wait_for_window(display, proc, log_path, timeout):
    """The program's main window, or None once the program has ended or crashed, or the time is up."""
    end = time.time() + timeout
    while time.time() < end:
        windows = wt.find_windows(display, wt.TITLE)
        if windows:
            return windows[0]
        if proc.poll() is not None or crashed(log_path):
            return None
        time.sleep(0.2)
    return None


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    runner, lumo, out = (os.path.abspath(p) for p in sys.argv[1:4])
    prefix = os.environ.get("WINEPREFIX")
    if not prefix:
        print("WINEPREFIX is not set")
        return 2
    # OUTPUT_FOLDER may be a mount point (the test VM shares it with the host): empty it, keep it.
    os.makedirs(out, exist_ok=True)
    for entry in os.listdir(out):
        path = os.path.join(out, entry)
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path)
        else:
            os.remove(path)
    # A settings file left by an earlier run in this prefix would prove nothing.
    for old in settings_files(prefix):
        os.remove(old)

    program_folder = tempfile.mkdtemp(prefix="lumo-wine-window-")
    program = wt.Program(lumo, program_folder, "lumo.exe")
    display = SessionDisplay() if os.environ.get("DISPLAY") else wt.Display()
    log_path = os.path.join(out, "wine-output.txt")
    logs = []
    try:
        def start(path):
            log = open(path, "wb")
            logs.append(log)
            program.started = time.time()
            program.proc = subprocess.Popen([runner, program.path], cwd=program.folder,
                                            env=display.env(), stdout=log, stderr=subprocess.STDOUT)
            return program.proc

        proc = start(log_path)
        window = wait_for_window(display, proc, log_path, START_TIMEOUT)
        if window is None and crashed(log_path):
            # Now and then, under emulation, Wine's DXGI reports no adapter to the toolkit's
            # very first window and the toolkit dereferences the missing factory. Such a crash
            # is reported, kept in OUTPUT_FOLDER, and the start tried once more; a second crash
            # fails the test.
            program.kill()
            os.replace(log_path, os.path.join(out, "first-start-crash.txt"))
            print("the first start crashed before showing a window (first-start-crash.txt); "
                  "starting once more")
            proc = start(log_path)
            window = wait_for_window(display, proc, log_path, START_TIMEOUT)
        started = program.started
        if wt.check(window is not None, "lumo.exe shows its window \"%s\" (after %.1f s%s)"
                    % (wt.TITLE, time.time() - started,
                       "; it crashed" if crashed(log_path) else
                       "; it ended with status %s" % proc.poll() if proc.poll() is not None else "")):
            wx, wy, ww, wh = wt.geometry(display, window)
            wt.check((ww, wh) == (wt.WIN_W, wt.WIN_H),
                     "the window is %dx%d (got %sx%s)" % (wt.WIN_W, wt.WIN_H, ww, wh))
            # The front plate is painted once the display's amber glyphs show.
            shot_path = os.path.join(out, "lumo-window.png")
            end = time.time() + PAINT_TIMEOUT
            amber = 0
            while True:
                shot = wt.Shot(display, shot_path)
                amber = shot.count(wx, wy, ww, wh, wt.is_amber)
                if amber >= 200 or time.time() > end:
                    break
                time.sleep(1.0)
            wt.check(amber >= 200, "the window shows the front plate with the amber display "
                     "(%d amber pixels; screenshot %s)" % (amber, shot_path))
            rc = None
            end = time.time() + QUIT_TIMEOUT
            # A click that arrives while the program is still busy starting may be lost; the
            # cross is clicked again until the program ends.
            while rc is None and time.time() < end:
                wt.click(display, wx + 612, wy + 20)
                rc = program.wait(10)
            wt.check(rc == 0, "a click on the close cross quits the program (status %s)" % rc)
            found = settings_files(prefix)
            wt.check(len(found) == 1, "the settings file is written under %%APPDATA%% (%s)"
                     % (found or "none found"))
            if found:
                settings = wt.read_settings(found[0])
                wt.check(settings is not None and "Current" in settings,
                         "the settings file has the [Current] section (%s)"
                         % sorted(settings or {}))
                shutil.copy2(found[0], os.path.join(out, "lumo.qrcf"))
            wt.check(not os.path.exists(program.settings),
                     "no settings file was written next to the program")
        program.kill()
    finally:
        program.kill()
        for log in logs:
            log.close()
        display.stop()
        shutil.rmtree(program_folder, ignore_errors=True)
    with open(os.path.join(out, "report.txt"), "w") as f:
        f.write("\n".join(wt.report + wt.failures) + "\n")
    if wt.failures:
        with open(log_path, "rb") as log:
            tail = log.read()[-4000:].decode("utf-8", "replace")
        print("--- output of wine (last lines)\n" + tail)
    print("%d checks passed, %d failed; screenshot and report in %s"
          % (len(wt.report), len(wt.failures), out))
    return 1 if wt.failures else 0


if __name__ == "__main__":
    sys.exit(main())
