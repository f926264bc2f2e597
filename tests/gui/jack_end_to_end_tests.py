#!/usr/bin/env python3
"""End to end over JACK: the real program on a virtual X display with "MIDI Input" and
"MIDI Thru" bound through its settings file to two stand-in devices (lumo-relay) on a private
JACK server; lumo-send sends display text and a Program Change into the input's device. Checks the
screenshots, the bytes that reach the thru device and the bytes the -dump file records.

The devices also come and go in the orders users meet, each case with a program of its own: both
absent at the start and plugged in after the prompt (settings written here) or soon after the
window (settings the first case's program saved); the input unplugged and plugged in again while
another device appears; the input plugged in, out and in again inside the update's debounce; the
input's connection dropped, then OK in the port dialog with nothing changed. Each time the program
must connect within ARRIVAL_BOUND; the delays measured are printed and kept in report.txt.

Last, the program's own ports: bound to "LUMO In" and "LUMO Thru", it registers lumo:LUMO In and
lumo:LUMO Thru, connects them to nothing, and others connect to them (a device's output into
lumo:LUMO In, lumo:LUMO Thru into another device, lumo-send straight into lumo:LUMO In).

Usage: jack_end_to_end_tests.py LUMO LUMO_SEND LUMO_RELAY OUTPUT_FOLDER
Exits 0 when every check passed; screenshots and report.txt stay in OUTPUT_FOLDER.
"""
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_tests as wt  # noqa: E402
from window_tests import check, find_windows, wait_for_window, wait_gone  # noqa: E402
from port_dialog_tests import DIALOG_TITLE, IN_AREA, PROMPT_WAIT, display_amber  # noqa: E402

from plate_layout import DISPLAY_AREA  # noqa: E402
DISPLAY_TEXT = ("HELLO", "JACK 1")
PROGRAM = 5
STALL_SIGNS = ("ClientNotify fails", "SuspendRefNum error", "wait error")
BINDING = "[MIDI.alias]\nName0=MIDI Input\nDevice0=1:keys:out\nName1=MIDI Thru\nDevice1=2:synth:in\n"
BOUND = {"MIDI Input": "1:keys:out", "MIDI Thru": "2:synth:in"}
OWN_BINDING = "[MIDI.alias]\nName0=MIDI Input\nDevice0=1:LUMO In\nName1=MIDI Thru\nDevice1=2:LUMO Thru\n"
OWN_BOUND = {"MIDI Input": "1:LUMO In", "MIDI Thru": "2:LUMO Thru"}
ARRIVAL_BOUND = 3.0   # the update's debounce (1 s), the rescan and the opening, with room for a loaded machine
FLAP = 0.3            # well inside the debounce and the rescan limit
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
    """A stand-in device: NAME:in is recorded to a file and passed on to NAME:out. It reports the
    connections of its ports on its output, which a reader thread stamps with the time of arrival;
    watching the server with a client of our own would be a device change to the program."""

    def __init__(self, relay, name, record):
        self.name, self.record, self.connections = name, record, []
        end = time.time() + 20
        while True:
            self.proc = subprocess.Popen([relay, "--connections", name, record], stdout=subprocess.PIPE,
                                         stderr=subprocess.DEVNULL, text=True)
            if self.proc.stdout.readline().startswith("ready"):
                break
            self.proc.wait()
            if time.time() > end:
                raise RuntimeError("lumo-relay %s did not start" % name)
            time.sleep(0.1)
        self.ready = time.monotonic()   # its ports exist: the device has arrived
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            words = line.split()
            if len(words) == 3 and words[0] == "connections":
                self.connections.append((time.monotonic(), words[1], int(words[2])))

    def count(self, port):
        counts = [n for _, p, n in self.connections if p == port]
        return counts[-1] if counts else 0

    def connected_after(self, port, timeout=15.0, since=None):
        """Seconds from the arrival (or SINCE, if later) to the first connection of PORT (None: none
        within timeout)."""
        wait_until(lambda: self.count(port) > 0, timeout)
        firsts = [t for t, p, n in self.connections if p == port and n > 0]
        return firsts[0] - max(self.ready, since or self.ready) if firsts else None

    def received(self):
        try:
            with open(self.record, "rb") as f:
                return f.read()
        except OSError:
            return b""

    def drop(self):
        self.proc.send_signal(signal.SIGUSR1)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)


TEXT_PIXEL_SLACK = 20   # lit pixels; one more character would add hundreds


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


def bindings(settings_path):
    aliases = (wt.read_settings(settings_path) or {}).get("MIDI.alias", {})
    return {aliases.get("Name%d" % n): aliases.get("Device%d" % n) for n in range(10) if "Name%d" % n in aliases}


class Rig:
    """What every case shares: the display, the tools, the output folder, the device relays."""

    def __init__(self, display, lumo, send, relay, out):
        self.display, self.lumo, self.send, self.relay, self.out = display, lumo, send, relay, out
        self.devices = {}
        self.text_pixels = None   # lit pixels of DISPLAY_TEXT, from the first case
        self.arrivals = []        # (what, seconds from a device's arrival to the program's connection)

    def plug(self, name):
        self.devices[name] = Relay(self.relay, name, os.path.join(self.out, name + ".bin"))
        return self.devices[name]

    def unplug(self, name):
        self.devices.pop(name).stop()

    def unplug_all(self):
        for name in list(self.devices):
            self.unplug(name)

    def start(self, case, settings=BINDING, args=()):
        """Starts the program with SETTINGS next to it; returns it and its window's position."""
        program = wt.Program(self.lumo, os.path.join(self.out, case), "lumo")
        with open(program.settings, "w") as f:
            f.write(settings)
        # One instance per machine: a start while another build's tests run one hands its command
        # line over and ends. Start again once that one has gone.
        end = time.time() + 90
        while True:
            program.start(self.display, list(args), XDG_CONFIG_HOME=os.path.join(program.folder, "config"))
            shown = lambda: find_windows(self.display, wt.TITLE) or program.proc.poll() is not None
            window = next(iter(find_windows(self.display, wt.TITLE)), None) if wait_until(shown, 15) else None
            self.shown_at = time.monotonic()
            if window is not None or program.proc.poll() is None or time.time() > end:
                break
            print("%s: another instance ran; starting again" % case, flush=True)
            time.sleep(1.0)
        check(window is not None, "%s: the program's window appears" % case)
        # The pointer rests off the window: over the display it would open a tooltip there.
        wt.x(self.display, "xdotool", "mousemove", "5", "5")
        return program, window

    def shot(self, case, name, window):
        wx, wy, _, _ = wt.geometry(self.display, window)
        shot = wt.Shot(self.display, os.path.join(self.out, "%s-%s.png" % (case, name)))
        return shot, wx, wy

    def check_bound(self, case, what, devices=(("keys", "out"), ("synth", "in")), timeout=15.0, since=None):
        """The program connects to the devices' ports within ARRIVAL_BOUND of their arrival (of the
        program's window, for devices that were there before it)."""
        for name, port in devices:
            delay = self.devices[name].connected_after(port, timeout, since)
            self.arrivals.append(("%s, %s: %s" % (case, what, name), delay))
            check(delay is not None and delay <= ARRIVAL_BOUND,
                  "%s: %s: the program connects to %s:%s within %.0f s of its arrival (%s)"
                  % (case, what, name, port, ARRIVAL_BOUND, "after %.2f s" % delay if delay is not None else "never"))

    def check_text(self, case, window, name="text"):
        """lumo-send's display text reaches the thru device and shows on the display."""
        synth = self.devices["synth"]
        before = amber_pixels(*self.shot(case, name + "-before", window))
        mark = len(synth.received())
        result = lumo_send(self.send, "--port", "keys:in", "--text", *DISPLAY_TEXT)
        check(result.returncode == 0, "%s: lumo-send --text succeeds (%s)" % (case, result.stderr.decode().strip()))
        check(wait_until(lambda: synth.received()[mark:] == DISPLAY_MESSAGE),
              "%s: the thru device receives the display message (%s)" % (case, synth.received()[mark:].hex(" ")))
        expected = self.text_pixels
        shown = [before]
        # The same text, give or take a few edge pixels: the antialiasing of a glyph's edge can
        # round one level differently from one paint to the next and cross the amber threshold.
        showing = lambda: (shown.append(amber_pixels(*self.shot(case, name, window))) or
                           (abs(shown[-1] - expected) <= TEXT_PIXEL_SLACK if expected else shown[-1] > before))
        check(wait_until(showing, 8) and shown[-1] != before,
              "%s: the display shows the text (%d lit pixels, %s expected, %d before)"
              % (case, shown[-1], expected or "more than before", before))
        return shown[-1]

    def check_program_change(self, case):
        synth = self.devices["synth"]
        mark = len(synth.received())
        result = lumo_send(self.send, "--port", "keys:in", "--program", str(PROGRAM))
        check(result.returncode == 0, "%s: lumo-send --program succeeds (%s)" % (case, result.stderr.decode().strip()))
        check(wait_until(lambda: synth.received()[mark:] == bytes([0xC0, PROGRAM])),
              "%s: the thru device receives the Program Change" % case)

    def quit(self, case, program, window, bound=BOUND):
        rc = wt.close_by_cross(self.display, program, window)
        check(rc == 0, "%s: the program quits by the cross (status %s)" % (case, rc))
        found = {name: bindings(program.settings).get(name) for name in bound}
        check(found == bound, "%s: the saved settings keep the binding (%s)" % (case, found))
        program.kill()


def test_end_to_end(rig):
    """Devices present at the start; the saved settings are the next case's "previous run"."""
    keys, synth = rig.plug("keys"), rig.plug("synth")
    program, window = rig.start("present", args=["-dump"])
    try:
        if window is None:
            return None
        rig.check_bound("present", "at the start", since=rig.shown_at)
        listed = lambda: "lumo:in_" in lumo_send(rig.send, "--list").stdout.decode()
        check(wait_until(listed, 15), "the program opens its bound input (its port is listed)")
        time.sleep(1.0)
        rig.text_pixels = rig.check_text("present", window, "display-text")
        rig.check_program_change("present")
        time.sleep(0.7)
        rig.shot("present", "display-program", window)

        rig.quit("present", program, window)
        expected = DISPLAY_MESSAGE + bytes([0xC0, PROGRAM])
        check(synth.received() == expected, "thru carried exactly the bytes sent (%s)" % synth.received().hex(" "))
        dumps = [os.path.join(program.folder, n) for n in os.listdir(program.folder) if n.endswith(".syx")]
        dumped = open(dumps[0], "rb").read() if dumps else b""
        check(dumped == expected, "-dump recorded exactly the bytes sent (%s: %s)" % (dumps, dumped.hex(" ")))
        with open(program.settings) as f:
            return f.read()
    finally:
        program.kill()
        rig.unplug_all()


def test_late_arrival(rig, case, settings, wait):
    """Both bound devices are absent at the start and arrive WAIT seconds after the window."""
    program, window = rig.start(case, settings)
    try:
        if window is None:
            return
        time.sleep(wait)
        if wait >= PROMPT_WAIT:
            top, bottom, right = display_amber(*rig.shot(case, "prompt", window))
            check(top > 1500 and bottom > 1500 and right == 0,
                  "%s: without its devices the program asks: SELECT / DEVICE (%d, %d, %d)" % (case, top, bottom, right))
        rig.plug("keys")
        rig.plug("synth")
        rig.check_bound(case, "arriving %.1f s after the window" % wait)
        rig.check_text(case, window)
        rig.quit(case, program, window)
    finally:
        program.kill()
        rig.unplug_all()


def test_unplug_replug(rig):
    """The input device goes and comes back while another device appears, in the same update as
    the unplugging and in an update of its own."""
    case = "replug"
    rig.plug("keys")
    rig.plug("synth")
    program, window = rig.start(case)
    try:
        if window is None:
            return
        rig.check_bound(case, "at the start")
        for round_, together in enumerate((True, False)):
            what = "round %d (a new device %s)" % (round_ + 1, "with the unplugging" if together else "while it is out")
            rig.check_program_change(case)
            rig.unplug("keys")
            if not together:
                time.sleep(2.5)   # the program has seen the input go
            rig.plug("other%d" % round_)
            time.sleep(2.5)
            ports = subprocess.run(["jack_lsp"], stdout=subprocess.PIPE, text=True).stdout.split()
            check(not [p for p in ports if p.startswith("lumo:in_")],
                  "%s, %s: the program closed the unplugged input (%s)" % (case, what, ports))
            rig.plug("keys")
            rig.check_bound(case, what + ", plugged in again", (("keys", "out"),))
            rig.check_text(case, window, "text-%d" % (round_ + 1))
        rig.quit(case, program, window)
    finally:
        program.kill()
        rig.unplug_all()


def test_flapping(rig):
    """The input device comes, goes and comes again within the update's debounce and the rescan
    limit: the last state counts."""
    case = "flapping"
    rig.plug("synth")
    program, window = rig.start(case)
    try:
        if window is None:
            return
        time.sleep(1.5)
        rig.plug("keys")
        time.sleep(FLAP)
        rig.unplug("keys")
        time.sleep(FLAP)
        keys = rig.plug("keys")
        delay = keys.connected_after("out")
        rig.arrivals.append(("%s: keys after in, out, in" % case, delay))
        check(delay is not None and delay <= ARRIVAL_BOUND,
              "%s: the program connects to keys:out within %.0f s of its last arrival (%s)"
              % (case, ARRIVAL_BOUND, "after %.2f s" % delay if delay is not None else "never"))
        rig.check_text(case, window)
        rig.quit(case, program, window)
    finally:
        program.kill()
        rig.unplug_all()


def test_ok_reconnects(rig):
    """The input device stays, but its connection to the program is dropped; OK in the port dialog,
    with nothing changed, connects it again."""
    case = "dialog-ok"
    keys, _ = rig.plug("keys"), rig.plug("synth")
    program, window = rig.start(case)
    try:
        if window is None:
            return
        rig.check_bound(case, "at the start")
        # The program's own new ports are a device change to it, and the update that follows
        # restores a dropped connection: drop once that update has passed, again if it had not.
        for _ in range(5):
            wait_until(lambda: time.monotonic() - keys.connections[-1][0] > 2.0)
            keys.drop()
            wait_until(lambda: keys.count("out") == 0, 5)
            if not wait_until(lambda: keys.count("out") > 0, 2.5):
                break
        check(keys.count("out") == 0, "%s: the relay drops the program's connection and it stays dropped" % case)
        wx, wy, _, _ = wt.geometry(rig.display, window)
        wt.click(rig.display, wx + IN_AREA[0] + IN_AREA[2] // 2, wy + 33)
        dialog = wait_for_window(rig.display, DIALOG_TITLE, 10)
        if check(dialog is not None, "%s: the IN area opens the port dialog" % case):
            time.sleep(0.4)
            dx, dy, dw, dh = wt.geometry(rig.display, dialog)
            check(keys.count("out") == 0, "%s: the connection is still dropped while the dialog is open" % case)
            ok = time.monotonic()
            wt.click(rig.display, dx + dw - 1 - 140, dy + dh - 1 - 25)
            check(wait_gone(rig.display, DIALOG_TITLE), "%s: OK closes the dialog" % case)
            wt.x(rig.display, "xdotool", "mousemove", "5", "5")
            wait_until(lambda: keys.count("out") > 0, 15)
            again = [t - ok for t, p, n in keys.connections if p == "out" and n > 0 and t > ok]
            rig.arrivals.append(("%s: keys after OK" % case, again[0] if again else None))
            check(again and again[0] <= ARRIVAL_BOUND, "%s: OK connects the dropped input again (%s; %s)"
                  % (case, "after %.2f s" % again[0] if again else "never",
                     ["%+.2f s %s" % (t - ok, n) for t, p, n in keys.connections if p == "out"]))
            rig.check_text(case, window)
        rig.quit(case, program, window)
    finally:
        program.kill()
        rig.unplug_all()


def jack_connections(port):
    """The ports connected to PORT, as jack_lsp -c shows them (None: no such port)."""
    lines = subprocess.run(["jack_lsp", "-c", port], stdout=subprocess.PIPE, text=True).stdout.splitlines()
    if not lines or lines[0].strip() != port:
        return None
    return [line.strip() for line in lines[1:] if line.startswith(" ")]


def test_own_ports(rig):
    """Bound to its own ports, the program registers them and others connect: a device sends into
    lumo:LUMO In and reads the thru from lumo:LUMO Thru; lumo-send sends to lumo:LUMO In directly."""
    case = "own-ports"
    rig.plug("keys")
    synth = rig.plug("synth")
    program, window = rig.start(case, OWN_BINDING)
    try:
        if window is None:
            return
        own = ("lumo:LUMO In", "lumo:LUMO Thru")
        check(wait_until(lambda: all(jack_connections(p) is not None for p in own), 15),
              "%s: the program registers %s and %s" % ((case,) + own))
        check(all(jack_connections(p) == [] for p in own) and rig.devices["keys"].count("out") == 0,
              "%s: the program connects its own ports to nothing (%s)" % (case, [jack_connections(p) for p in own]))
        for source, destination in (("keys:out", "lumo:LUMO In"), ("lumo:LUMO Thru", "synth:in")):
            subprocess.run(["jack_connect", source, destination], check=False)
        check(wait_until(lambda: synth.count("in") > 0 and rig.devices["keys"].count("out") > 0),
              "%s: a device connects to lumo:LUMO In, lumo:LUMO Thru to another device" % case)
        rig.check_text(case, window, "own-text")
        mark = len(synth.received())
        result = lumo_send(rig.send, "--port", "lumo:LUMO In", "--program", str(PROGRAM))
        check(result.returncode == 0, "%s: lumo-send --port 'lumo:LUMO In' succeeds (%s)"
              % (case, result.stderr.decode().strip()))
        check(wait_until(lambda: synth.received()[mark:] == bytes([0xC0, PROGRAM])),
              "%s: what lumo-send sends into lumo:LUMO In comes out of lumo:LUMO Thru" % case)
        time.sleep(0.7)
        rig.shot(case, "own-program", window)
        # The port dialog shows the bound own ports with their note (screenshot); OK keeps them.
        wx, wy, _, _ = wt.geometry(rig.display, window)
        wt.click(rig.display, wx + IN_AREA[0] + IN_AREA[2] // 2, wy + 33)
        dialog = wait_for_window(rig.display, DIALOG_TITLE, 10)
        if check(dialog is not None, "%s: the IN area opens the port dialog" % case):
            time.sleep(0.6)
            dx, dy, dw, dh = wt.geometry(rig.display, dialog)
            wt.Shot(rig.display, os.path.join(rig.out, "%s-port-dialog.png" % case))
            wt.click(rig.display, dx + dw - 1 - 140, dy + dh - 1 - 25)
            check(wait_gone(rig.display, DIALOG_TITLE), "%s: OK closes the dialog" % case)
            wt.x(rig.display, "xdotool", "mousemove", "5", "5")
            check(jack_connections("lumo:LUMO In") is not None, "%s: OK keeps lumo:LUMO In" % case)
        rig.quit(case, program, window, OWN_BOUND)
        check(wait_until(lambda: all(jack_connections(p) is None for p in own), 10),
              "%s: the program's own ports are gone with it" % case)
    finally:
        program.kill()
        rig.unplug_all()


def main():
    if len(sys.argv) != 5:
        print(__doc__)
        return 2
    lumo, send, relay, out = (os.path.abspath(p) for p in sys.argv[1:5])
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    server = JackServer(out)
    display = wt.Display()
    rig = Rig(display, lumo, send, relay, out)
    try:
        saved = test_end_to_end(rig)
        for case, settings, wait in (("late-fresh", BINDING, PROMPT_WAIT), ("late-saved", saved, 1.5)):
            if settings is not None:
                test_late_arrival(rig, case, settings, wait)
        test_unplug_replug(rig)
        test_flapping(rig)
        test_ok_reconnects(rig)
        test_own_ports(rig)
    finally:
        display.stop()
        server.stop()
    for what, delay in rig.arrivals:
        print("connected %s s after the arrival: %s" % ("%.2f" % delay if delay is not None else "never", what))
    stalls = server.stalls()
    wt.check(not stalls, "every client closed its connection to the server (%s)" % "; ".join(stalls[:3]))
    with open(os.path.join(out, "report.txt"), "w") as f:
        f.write("\n".join(wt.report + wt.failures) + "\n")
        f.writelines("connected %s s after the arrival: %s\n" % ("%.2f" % d if d is not None else "never", w)
                     for w, d in rig.arrivals)
    print("%d checks passed, %d failed; screenshots and report in %s" % (len(wt.report), len(wt.failures), out))
    return 1 if wt.failures else 0


if __name__ == "__main__":
    sys.exit(main())
