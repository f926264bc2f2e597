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


def run_at(display, env, exe, out, zoom, loader, dpi=96):
    """The program with Zoom=zoom on a display of dpi dots per inch (Windows' scale, 96 = 100 %)."""
    shown_percent = zoom * dpi // 96
    # The stored position is in the display's logical pixels.
    ox, oy = 40 * dpi // 96, 30 * dpi // 96
    name = "zoom-%d" % zoom if dpi == 96 else "zoom-%d-dpi-%d" % (zoom, dpi)
    folder = os.path.join(out, name)
    os.makedirs(folder, exist_ok=True)
    copy = os.path.join(folder, "lumo.exe")
    shutil.copy2(exe, copy)
    with open(os.path.join(folder, "lumo.qrcf"), "w") as f:
        f.write("[Current]\nMainLeft=40\nMainTop=30\nZoom=%d\n" % zoom)
    subprocess.run([loader, "reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                    "/d", str(dpi), "/f"], env=dict(env, WINELOADER=loader, WINEDEBUG="-all"),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    subprocess.run(["wineserver", "-w"], env=env, timeout=60, stderr=subprocess.DEVNULL)
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
        wt.x(display, "xdotool", "mousemove", str(ox + zt.BACKGROUND[0] * shown_percent // 100),
             str(oy + zt.BACKGROUND[1] * shown_percent // 100))
        geometry = zt.wait_size(display, zt.shown(shown_percent), 10)
        wt.check(geometry == (ox, oy) + zt.shown(shown_percent),
                 "under Wine Zoom=%d at %d dpi gives %s" % (zoom, dpi, geometry))
        time.sleep(max(1.0, started + 7.0 - time.time()))   # the prompt, as in the Linux shots
        path = os.path.join(out, "screen-%s.png" % name)
        shot = wt.Shot(display, path)
        w, h = zt.shown(shown_percent)
        subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w, h, ox, oy), "+repage", "-strip",
                        os.path.join(out, "lumo-%s-wine.png" % name)], check=True)
        f = shown_percent // 100
        amber = shot.count(ox + 21 * f, oy + 100 * f, 600 * f, 220 * f, wt.is_amber)
        wt.check(amber > 4000 * f ** 2, "the display text is drawn at %d %% (%d amber pixels)" % (shown_percent, amber))
        if zoom > 100:
            wt.x(display, "xdotool", "windowfocus", "--sync", window)
            wt.x(display, "xdotool", "key", "ctrl+minus")
            smaller = {200: 150, 400: 300}[zoom]
            geometry = zt.wait_size(display, zt.shown(smaller), 10)
            wt.check(geometry[2:] == zt.shown(smaller), "Ctrl + \"-\" under Wine gives %d %% (%s)" % (smaller, geometry))
        return shot, ox, oy
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
                shots[zoom] = shot
        if len(shots) == 3:
            zt.compare_sharpness(out, shots)
        # Windows' own scale beneath the zoom: at 192 dpi the program declares itself aware of
        # each monitor's scale and draws at twice the size, as sharp as at 100 % (no stretching).
        shot = run_at(display, env, exe, out, 100, LOADERS[arch], dpi=192)
        if shot is not None and 100 in shots:
            zt.compare_sharpness(out, {100: shots[100], 200: shot}, "at 192 dpi")
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        display.stop()
    with open(os.path.join(out, "report.txt"), "w") as f:
        f.write("\n".join(wt.report + wt.failures) + "\n")
    return 1 if wt.failures else 0


if __name__ == "__main__":
    sys.exit(main())
