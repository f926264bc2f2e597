#!/usr/bin/env python3
"""A Windows installer under Wine: install, start, uninstall.

Usage: wine_installer_test.py SETUP_EXE VERSION OUTPUT_FOLDER [win32|win64]   (default win64)

In a fresh Wine prefix of the installer's architecture (OUTPUT_FOLDER/prefix: a copy of the test runs' cached prefix when
it is current, else made by scripts/wine-prefix.sh) on a virtual X display: the installer runs
silently (/S) and puts lumo.exe, lumo-syx.exe, lumo-send.exe, the licence and the uninstaller into
Program Files\\Vantor LUMO, with a Start-menu entry; the installed lumo-syx.exe reports VERSION;
the installed lumo.exe shows its window, asks for a device ("SELECT" / "DEVICE"), opens its port
dialog and, closed by its close cross, writes its settings file under %APPDATA%\\Vantor Quorvel;
the uninstaller, run silently, removes the program's files, its folder and the Start-menu entry
and leaves the settings file. The portable zip's lumo.exe does the same with a settings file next
to it, which it then uses. Exits 0 when every check passed.
"""
import glob
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "gui"))
import window_tests as wt  # noqa: E402
from plate_layout import CLOSE_AREA, IN_AREA  # noqa: E402
from port_dialog_tests import DIALOG_TITLE, PROMPT_WAIT, display_amber  # noqa: E402

SCRIPTS = os.path.join(HERE, "..", "..", "scripts")
LOADERS = {"win32": "/usr/lib/wine/wine", "win64": "/usr/lib/wine/wine64"}
# Set by main: the loader of the installer's architecture.
WINE = LOADERS["win64"]
PROGRAM_FILES = ("drive_c", "Program Files", "Vantor LUMO")
INSTALLED = ("lumo.exe", "lumo-syx.exe", "lumo-send.exe", "LICENSE.txt", "uninstall.exe")
START_MENU = ("drive_c", "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "Vantor LUMO.lnk")


def make_prefix(prefix, env):
    """Copies the cached prefix of the test runs when its stamp is current: making one costs far more."""
    key = subprocess.run([os.path.join(SCRIPTS, "wine-prefix.sh"), "--key"], env=env, stdout=subprocess.PIPE,
                         text=True, check=True).stdout.strip()
    machine_cache = env.get("LUMO_CACHE", os.path.join(
        env.get("XDG_CACHE_HOME", os.path.join(os.path.expanduser("~"), ".cache")), "lumo"))
    cache = env.get("LUMO_WINE_PREFIX_CACHE", os.path.join(machine_cache, "wineprefix-" + env["LUMO_WINE_ARCH"]))
    try:
        with open(os.path.join(cache, ".lumo-prefix")) as stamp:
            current = stamp.read().strip() == key
    except OSError:
        current = False
    if current:
        subprocess.run(["cp", "-a", cache, prefix], check=True)
    # Makes the prefix if the copy was not possible, and starts its server either way.
    subprocess.run([os.path.join(SCRIPTS, "wine-prefix.sh")], env=env, check=True)


def wait_until(condition, timeout):
    end = time.time() + timeout
    while time.time() < end:
        if condition():
            return True
        time.sleep(0.2)
    return condition()


def run_program(display, env, exe, out, label):
    """Starts EXE: its window shows, the display asks for a device, the IN area opens the port
    dialog, which Escape closes; the close cross ends it. Returns its exit status."""
    program = subprocess.Popen([WINE, exe], cwd=out, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    window = wt.wait_for_window(display, wt.TITLE, 60)
    if wt.check(window is not None, "the %s lumo.exe shows its main window" % label):
        wx, wy, _, _ = wt.geometry(display, window)
        time.sleep(PROMPT_WAIT)
        shot = wt.Shot(display, os.path.join(out, "%s-lumo.png" % label))
        top, bottom, _ = display_amber(shot, wx, wy)
        wt.check(top > 1500 and bottom > 1500, "it shows \"SELECT\" / \"DEVICE\" (lit pixels %d, %d)" % (top, bottom))
        wt.click(display, wx + IN_AREA[0] + IN_AREA[2] // 2, wy + 33)
        dialog = wt.wait_for_window(display, DIALOG_TITLE, 30)
        if wt.check(dialog is not None, "the IN area opens \"%s\"" % DIALOG_TITLE):
            time.sleep(0.5)
            wt.x(display, "xdotool", "windowfocus", "--sync", dialog)
            wt.x(display, "xdotool", "key", "Escape")
            wt.check(wt.wait_gone(display, DIALOG_TITLE, 30), "Escape closes the dialog")
        wt.click(display, wx + CLOSE_AREA[0] + CLOSE_AREA[2] // 2, wy + CLOSE_AREA[1] + CLOSE_AREA[3] // 2)
    try:
        return program.wait(30)
    except subprocess.TimeoutExpired:
        program.kill()
        return None


def main():
    global WINE
    if len(sys.argv) not in (4, 5) or (len(sys.argv) == 5 and sys.argv[4] not in LOADERS):
        print(__doc__)
        return 2
    setup, version, out = os.path.abspath(sys.argv[1]), sys.argv[2], os.path.abspath(sys.argv[3])
    arch = sys.argv[4] if len(sys.argv) == 5 else "win64"
    WINE = LOADERS[arch]
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    display = wt.Display()
    prefix = os.path.join(out, "prefix")
    env = display.env(WINEPREFIX=prefix, LUMO_WINE_ARCH=arch, WINELOADER=WINE, WINEDEBUG="-all",
                      WINEDLLOVERRIDES="mscoree,mshtml=")
    folder = os.path.join(prefix, *PROGRAM_FILES)
    shortcut = os.path.join(prefix, *START_MENU)
    try:
        started = time.time()
        make_prefix(prefix, env)
        print("prefix ready after %.1f s" % (time.time() - started), flush=True)

        status = subprocess.run([WINE, setup, "/S"], env=env, timeout=300).returncode
        wt.check(status == 0, "the installer runs silently with exit code 0 (got %s)" % status)
        missing = [name for name in INSTALLED if not os.path.isfile(os.path.join(folder, name))]
        wt.check(not missing, "Program Files\\Vantor LUMO holds %s (missing: %s)" % (", ".join(INSTALLED), missing))
        wt.check(os.path.isfile(shortcut), "the Start menu has the entry \"Vantor LUMO\"")
        if missing:
            return 1

        syx = subprocess.run([WINE, os.path.join(folder, "lumo-syx.exe"), "--version"], env=env,
                             stdout=subprocess.PIPE, text=True, errors="replace", timeout=120)
        wt.check(syx.stdout.strip() == "lumo-syx " + version, "the installed lumo-syx.exe says %s (got %r)"
                 % (version, syx.stdout.strip()))
        send = subprocess.run([WINE, os.path.join(folder, "lumo-send.exe"), "--list"], env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, errors="replace", timeout=120)
        wt.check(send.returncode == 0, "the installed lumo-send.exe --list runs (status %s, %r)"
                 % (send.returncode, send.stderr.strip()))

        status = run_program(display, env, os.path.join(folder, "lumo.exe"), out, "installed")
        wt.check(status == 0, "its close cross ends it with exit code 0 (got %s)" % status)
        settings = glob.glob(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Roaming", "Vantor Quorvel",
                                          "lumo.qrcf"))
        wt.check(len(settings) == 1, "its settings file is under %APPDATA%\\Vantor Quorvel")

        # The uninstaller copies itself to the temporary folder, starts the copy and returns: the
        # work is done when the folder is gone.
        status = subprocess.run([WINE, os.path.join(folder, "uninstall.exe"), "/S"], env=env,
                                timeout=120).returncode
        gone = wait_until(lambda: not os.path.exists(folder), 60)
        left = os.listdir(folder) if os.path.isdir(folder) else []
        wt.check(status == 0 and gone, "the uninstaller, run silently, removes Program Files\\Vantor LUMO "
                 "(status %s, left: %s)" % (status, left))
        wt.check(not os.path.exists(shortcut), "the Start-menu entry is gone")
        wt.check(len(settings) == 1 and os.path.isfile(settings[0]), "the settings file is kept")

        # The portable zip: a settings file next to the program is the one it uses.
        portable = setup.replace("-setup.exe", "-portable.zip")
        unpacked = os.path.join(prefix, "drive_c", "portable")
        subprocess.run(["unzip", "-q", portable, "-d", unpacked], check=True)
        programs = glob.glob(os.path.join(unpacked, "*", "lumo.exe"))
        if wt.check(len(programs) == 1, "the portable zip holds lumo.exe"):
            beside = os.path.join(os.path.dirname(programs[0]), "lumo.qrcf")
            open(beside, "w").close()
            status = run_program(display, env, programs[0], out, "portable")
            wt.check(status == 0, "the portable lumo.exe ends by its close cross (got %s)" % status)
            with open(beside, errors="replace") as f:
                wt.check("[Current]" in f.read(), "and keeps its settings next to itself")
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        display.stop()
    return 1 if wt.failures else 0


if __name__ == "__main__":
    sys.exit(main())
