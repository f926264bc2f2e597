#!/usr/bin/env python3
"""lumo.exe under Wine at 100, 200 and 400 %: the stored zoom sizes the window, the plate is
drawn sharp at every size (not enlarged from the 100 % picture), and Ctrl + "-" zooms out.
Screenshots lumo-zoom-<percent>-wine.png (the window alone) stay in OUTPUT_FOLDER.

Usage: wine_zoom_tests.py LUMO_EXE OUTPUT_FOLDER [win32|win64]   (default win64)
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_tests as wt  # noqa: E402
import zoom_window_tests as zt  # noqa: E402

SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")


LOADERS = {"win32": "/usr/lib/wine/wine", "win64": "/usr/lib/wine/wine64"}


def run_at(display, env, exe, out, zoom, loader):
    folder = os.path.join(out, "zoom-%d" % zoom)
    os.makedirs(folder, exist_ok=True)
    copy = os.path.join(folder, "lumo.exe")
    shutil.copy2(exe, copy)
    with open(os.path.join(folder, "lumo.qrcf"), "w") as f:
        f.write("[Current]\nMainLeft=40\nMainTop=30\nZoom=%d\n" % zoom)
    # The previous program may still be on its way out of the Wine session; a start that finds
    # it hands its command line over and ends without a window: start again once it has gone.
    for attempt in range(3):
        started = time.time()
        program = subprocess.Popen([loader, copy], cwd=folder,
                                   env=dict(env, WINELOADER=loader, WINEDEBUG="-all"),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shown = lambda: wt.find_windows(display, wt.TITLE) or program.poll() is not None
        end = time.time() + 60
        while time.time() < end and not shown():
            time.sleep(0.2)
        if wt.find_windows(display, wt.TITLE) or program.poll() is None:
            break
        print("Zoom=%d: the start ended without a window; starting again" % zoom, flush=True)
        time.sleep(2.0)
    try:
        window = wt.wait_for_window(display, wt.TITLE, 5)
        if not wt.check(window is not None, "lumo.exe starts with Zoom=%d" % zoom):
            return None
        # Wine knows where the pointer is only from moves over its windows: onto the bare plate,
        # where no tooltip shows.
        wt.x(display, "xdotool", "mousemove", str(40 + zt.BACKGROUND[0] * zoom // 100),
             str(30 + zt.BACKGROUND[1] * zoom // 100))
        geometry = zt.wait_size(display, zt.shown(zoom), 10)
        wt.check(geometry == (40, 30) + zt.shown(zoom), "under Wine Zoom=%d gives %s" % (zoom, geometry))
        time.sleep(max(1.0, started + 7.0 - time.time()))   # the prompt, as in the Linux shots
        path = os.path.join(out, "screen-%d.png" % zoom)
        shot = wt.Shot(display, path)
        w, h = zt.shown(zoom)
        subprocess.run(["convert", path, "-crop", "%dx%d+40+30" % (w, h), "+repage", "-strip",
                        os.path.join(out, "lumo-zoom-%d-wine.png" % zoom)], check=True)
        amber = shot.count(40 + 21 * zoom // 100, 30 + 100 * zoom // 100, 600 * zoom // 100, 220 * zoom // 100,
                           wt.is_amber)
        wt.check(amber > 4000 * (zoom // 100) ** 2, "the display text is drawn at %d %% (%d amber pixels)"
                 % (zoom, amber))
        if zoom > 100:
            wt.x(display, "xdotool", "windowfocus", "--sync", window)
            wt.x(display, "xdotool", "key", "ctrl+minus")
            smaller = {200: 150, 400: 300}[zoom]
            geometry = zt.wait_size(display, zt.shown(smaller), 10)
            wt.check(geometry[2:] == zt.shown(smaller), "Ctrl + \"-\" under Wine gives %d %% (%s)" % (smaller, geometry))
        return shot
    finally:
        program.kill()
        subprocess.run(["wineserver", "-w"], env=env, timeout=60, stderr=subprocess.DEVNULL)


def main():
    if len(sys.argv) not in (3, 4) or (len(sys.argv) == 4 and sys.argv[3] not in LOADERS):
        print(__doc__)
        return 2
    exe, out = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    arch = sys.argv[3] if len(sys.argv) == 4 else "win64"
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    display = wt.Display(zt.SCREEN_W, zt.SCREEN_H)
    env = display.env(WINEPREFIX=os.path.join(out, "prefix"), LUMO_WINE_ARCH=arch)
    try:
        subprocess.run([os.path.join(SCRIPTS, "wine-prefix.sh")], env=env, check=True)
        shots = {}
        for zoom in (100, 200, 400):
            shot = run_at(display, env, exe, out, zoom, LOADERS[arch])
            if shot is not None:
                shots[zoom] = (shot, 40, 30)
        if len(shots) == 3:
            zt.compare_sharpness(out, shots)
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        display.stop()
    with open(os.path.join(out, "report.txt"), "w") as f:
        f.write("\n".join(wt.report + wt.failures) + "\n")
    return 1 if wt.failures else 0


if __name__ == "__main__":
    sys.exit(main())
