#!/usr/bin/env python3
"""The programs of the installed Debian package, run from where the package put them.

Usage: installed_linux_test.py BIN_FOLDER VERSION OUTPUT_FOLDER [LUMO_RELAY]

lumo-syx --help and --version; lumo-send --version, and --list against a private JACK server
(dummy driver, never the user's) that holds the port of LUMO_RELAY (the build's stand-in device)
when given; lumo on a virtual X display up to its window, then closed by its close cross,
leaving its settings file in XDG_CONFIG_HOME; before that, its display shows the prompt's text
(a system that lacks fonts or their configuration shows an empty plate) and nothing it prints says
a font is missing. Exits 0 when every check passed.

The programs may be wrappers that run those of another root (tests/packaging/minimal_root_test.sh).
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "gui"))
import window_tests as wt  # noqa: E402
from port_dialog_tests import PROMPT_WAIT, display_amber  # noqa: E402

# What the program or the font library say where no font, or no font configuration, is found.
FONT_COMPLAINTS = ("No font can be loaded", "Fontconfig error")


def run(args, env=None, timeout=30):
    result = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            errors="replace", timeout=timeout)
    return result.returncode, result.stdout, result.stderr


class JackServer:
    """A private JACK server on the dummy driver, for the length of one check."""

    def __init__(self, folder):
        self.name = "lumo-package-test-%d" % os.getpid()
        self.env = dict(os.environ, JACK_DEFAULT_SERVER=self.name, JACK_NO_START_SERVER="1",
                        JACK_NO_AUDIO_RESERVATION="1")
        self.log = open(os.path.join(folder, "jackd.log"), "w")
        self.proc = subprocess.Popen(["jackd", "--no-realtime", "-t", "5000", "-n", self.name, "-d", "dummy",
                                      "-r", "48000", "-p", "256"], env=self.env, stdout=self.log,
                                     stderr=subprocess.STDOUT)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


def check_tools(bin_folder, version, out, relay):
    syx = os.path.join(bin_folder, "lumo-syx")
    status, stdout, _ = run([syx, "--help"])
    wt.check(status == 0 and stdout.startswith("Usage: lumo-syx"), "%s --help prints the usage (status %d)"
             % (syx, status))
    status, stdout, _ = run([syx, "--version"])
    wt.check(status == 0 and stdout.strip() == "lumo-syx " + version, "lumo-syx --version says %s (got %r)"
             % (version, stdout.strip()))

    send = os.path.join(bin_folder, "lumo-send")
    status, stdout, _ = run([send, "--version"])
    wt.check(status == 0 and stdout.strip() == "lumo-send " + version, "lumo-send --version says %s (got %r)"
             % (version, stdout.strip()))
    server = JackServer(out)
    try:
        # A port to list: the build's relay (a client with an input port), once the server is up.
        listed, stdout, stderr, status = False, "", "", None
        relay_proc = None
        end = time.time() + 30
        while time.time() < end and not listed:
            if relay and relay_proc is None:
                relay_proc = subprocess.Popen([relay, "packagecheck"], env=server.env, stdout=subprocess.PIPE,
                                              stderr=subprocess.DEVNULL, text=True)
                if not relay_proc.stdout.readline().startswith("ready"):
                    relay_proc.wait()
                    relay_proc = None
            status, stdout, stderr = run([send, "--list"], env=server.env)
            listed = status == 0 and (not relay or "packagecheck:in" in stdout.split())
            if not listed:
                time.sleep(0.2)
        if relay_proc is not None:
            relay_proc.terminate()
            relay_proc.wait()
        wt.check(listed, "%s --list lists the ports of a running server (status %s, %r %r)"
                 % (send, status, stdout.strip(), stderr.strip()))
    finally:
        server.stop()


def check_program(bin_folder, out):
    lumo = os.path.join(bin_folder, "lumo")
    display = wt.Display()
    xdg = os.path.join(out, "config")
    try:
        program = wt.Program(lumo, out, "lumo", copy=False)
        program.path = lumo
        # No JACK server: the program shows its window and asks for a device.
        program.start(display, XDG_CONFIG_HOME=xdg, JACK_NO_START_SERVER="1")
        window = wt.wait_for_window(display, wt.TITLE, 30)
        if not wt.check(window is not None, "the installed %s shows its main window" % lumo):
            program.kill()
            return
        wx, wy, ww, wh = wt.geometry(display, window)
        wt.check((ww, wh) == (wt.WIN_W, wt.WIN_H), "the window is %dx%d (got %sx%s)" % (wt.WIN_W, wt.WIN_H, ww, wh))
        # Without devices the start text gives way to the prompt, which only a drawn font shows.
        time.sleep(max(0.0, program.started + PROMPT_WAIT - time.time()))
        shot = wt.Shot(display, os.path.join(out, "installed-lumo.png"))
        top, bottom, right = display_amber(shot, wx, wy)
        wt.check(top > 1500 and bottom > 1500 and right == 0,
                 "the display shows the text SELECT / DEVICE (%d, %d, %d amber pixels)" % (top, bottom, right))
        status = wt.close_by_cross(display, program, window)
        if status is None:
            program.kill()
        wt.check(status == 0, "the close cross ends it with exit code 0 (got %s)" % status)
        said = program.proc.stdout.read().decode(errors="replace")
        complaints = [line for line in said.splitlines() if any(c in line for c in FONT_COMPLAINTS)]
        wt.check(not complaints, "nothing it prints says a font is missing %s" % complaints)
        wt.check(os.path.isfile(os.path.join(xdg, "Vantor Quorvel", "lumo.qrcf")),
                 "its settings file is in XDG_CONFIG_HOME/Vantor Quorvel")
    finally:
        display.stop()


def main():
    if len(sys.argv) not in (4, 5):
        print(__doc__)
        return 2
    bin_folder, version, out = os.path.abspath(sys.argv[1]), sys.argv[2], os.path.abspath(sys.argv[3])
    relay = sys.argv[4] if len(sys.argv) == 5 else ""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    check_tools(bin_folder, version, out, relay)
    check_program(bin_folder, out)
    return 1 if wt.failures else 0


if __name__ == "__main__":
    sys.exit(main())
