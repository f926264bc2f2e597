#!/usr/bin/env python3
"""End to end over JACK: the real program on a virtual X display with "MIDI Input" and
"MIDI Thru" bound through its settings file to two stand-in devices (lumo-relay) on a private
JACK server; lumo-send sends display text and a Program Change into the input's device. Checks the
screenshots, the bytes that reach the thru device and the bytes the -dump file records.

Usage: jack_end_to_end_tests.py LUMO LUMO_SEND LUMO_RELAY OUTPUT_FOLDER
Exits 0 when every check passed; screenshots and report.txt stay in OUTPUT_FOLDER.
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_tests as wt  # noqa: E402
from window_tests import check, wait_for_window  # noqa: E402

DISPLAY_AREA = (21, 95, 600, 226)
DISPLAY_TEXT = ("HELLO", "JACK 1")
PROGRAM = 5
STALL_SIGNS = ("ClientNotify fails", "SuspendRefNum error", "wait error")
DISPLAY_MESSAGE = bytes([0xF0, 0x77, 8, 5, 12, 12, 15, 0, 0, 0, 10, 1, 3, 11, 0, 29, 0, 0, 0x75, 0xF7])


class JackServer:
    def __init__(self, folder):
        self.name = "lumo-e2e-%d-%d" % (os.getpid(), time.time_ns() % 10**9)
        os.environ.update(JACK_DEFAULT_SERVER=self.name, JACK_NO_START_SERVER="1", JACK_NO_AUDIO_RESERVATION="1")
        self.log = open(os.path.join(folder, "jackd.log"), "w")
        self.proc = subprocess.Popen(["jackd", "--no-realtime", "--sync", "-t", "5000", "-n", self.name, "-d", "dummy",
                                      "-r", "48000", "-p", "256"], stdout=self.log, stderr=subprocess.STDOUT)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)
        self.log.close()

    def stalls(self):
        """What the server logged about clients that left without closing (they stall its cycles)."""
        with open(self.log.name) as f:
            return [line.strip() for line in f if any(s in line for s in STALL_SIGNS)]


class Relay:
    """A stand-in device: NAME:in is recorded to a file and passed on to NAME:out."""

    def __init__(self, relay, name, record):
        self.record = record
        end = time.time() + 20
        while True:
            self.proc = subprocess.Popen([relay, name, record], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            line = self.proc.stdout.readline().decode()
            if line.startswith("ready"):
                return
            self.proc.wait()
            if time.time() > end:
                raise RuntimeError("lumo-relay %s did not start" % name)
            time.sleep(0.1)

    def received(self):
        try:
            with open(self.record, "rb") as f:
                return f.read()
        except OSError:
            return b""

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)


def wait_until(condition, timeout=10.0):
    end = time.time() + timeout
    while time.time() < end:
        if condition():
            return True
        time.sleep(0.05)
    return condition()


def lumo_send(send, *args):
    return subprocess.run([send] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)


def amber_pixels(shot, wx, wy):
    left, top, width, height = DISPLAY_AREA
    return shot.count(wx + left, wy + top, width, height, wt.is_amber)


def test_end_to_end(display, lumo, send, relay, out):
    keys = Relay(relay, "keys", os.path.join(out, "keys.bin"))
    synth = Relay(relay, "synth", os.path.join(out, "synth.bin"))
    program = wt.Program(lumo, os.path.join(out, "program"), "lumo")
    with open(program.settings, "w") as f:
        f.write("[MIDI.alias]\nName0=MIDI Input\nDevice0=1:keys:out\nName1=MIDI Thru\nDevice1=2:synth:in\n")
    try:
        program.start(display, ["-dump"], XDG_CONFIG_HOME=os.path.join(program.folder, "config"))
        window = wait_for_window(display, wt.TITLE)
        if not check(window is not None, "the program's window appears"):
            return
        wx, wy, _, _ = wt.geometry(display, window)
        listed = lambda: "lumo:in_" in lumo_send(send, "--list").stdout.decode()
        check(wait_until(listed, 15), "the program opens its bound input (its port is listed)")
        time.sleep(1.0)
        before = amber_pixels(wt.Shot(display, os.path.join(out, "before.png")), wx, wy)

        result = lumo_send(send, "--port", "keys:in", "--text", *DISPLAY_TEXT)
        check(result.returncode == 0, "lumo-send --text succeeds (%s)" % result.stderr.decode().strip())
        check(wait_until(lambda: synth.received() == DISPLAY_MESSAGE), "the thru device receives the display message")
        time.sleep(0.7)
        text_shot = wt.Shot(display, os.path.join(out, "display-text.png"))
        shown = amber_pixels(text_shot, wx, wy)
        check(shown > before, "the display shows the text (%d lit pixels, %d before)" % (shown, before))

        result = lumo_send(send, "--port", "keys:in", "--program", str(PROGRAM))
        check(result.returncode == 0, "lumo-send --program succeeds (%s)" % result.stderr.decode().strip())
        expected = DISPLAY_MESSAGE + bytes([0xC0, PROGRAM])
        check(wait_until(lambda: synth.received() == expected), "the thru device receives the Program Change")
        time.sleep(0.7)
        wt.Shot(display, os.path.join(out, "display-program.png"))

        rc = wt.close_by_cross(display, program, window)
        check(rc == 0, "the program quits by the cross (status %s)" % rc)
        check(synth.received() == expected, "thru carried exactly the bytes sent (%s)" % synth.received().hex(" "))
        dumps = [os.path.join(program.folder, n) for n in os.listdir(program.folder) if n.endswith(".syx")]
        dumped = open(dumps[0], "rb").read() if dumps else b""
        check(dumped == expected, "-dump recorded exactly the bytes sent (%s: %s)" % (dumps, dumped.hex(" ")))
    finally:
        program.kill()
        keys.stop()
        synth.stop()


def main():
    if len(sys.argv) != 5:
        print(__doc__)
        return 2
    lumo, send, relay, out = (os.path.abspath(p) for p in sys.argv[1:5])
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    server = JackServer(out)
    display = wt.Display()
    try:
        test_end_to_end(display, lumo, send, relay, out)
    finally:
        display.stop()
        server.stop()
    stalls = server.stalls()
    wt.check(not stalls, "every client closed its connection to the server (%s)" % "; ".join(stalls[:3]))
    with open(os.path.join(out, "report.txt"), "w") as f:
        f.write("\n".join(wt.report + wt.failures) + "\n")
    print("%d checks passed, %d failed; screenshots and report in %s" % (len(wt.report), len(wt.failures), out))
    return 1 if wt.failures else 0


if __name__ == "__main__":
    sys.exit(main())
