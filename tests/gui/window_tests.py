#!/usr/bin/env python3
"""Windowed tests of the utility: the real program on a virtual X display.

Usage: window_tests.py LUMO_EXECUTABLE FATAL_DEMO_EXECUTABLE OUTPUT_FOLDER

Starts Xvfb on a free display between :81 and :89, runs copies of the program with their
settings in OUTPUT_FOLDER, drives them with xdotool and checks screenshots taken with
ImageMagick's import. Screenshots, settings files and timing figures stay in OUTPUT_FOLDER.
Exits 0 when every check passed.
"""
import os
import shutil
import signal
import subprocess
import sys
import time

SCREEN_W, SCREEN_H = 1280, 1024
WIN_W, WIN_H = 640, 494
TITLE = "Vantor LUMO"
EDITOR_TITLE = "Vantor LUMO - Program Names"
AMBER = (0xFF, 0xBB, 0x00)

failures = []
report = []


def check(condition, what):
    (report if condition else failures).append(("ok   " if condition else "FAIL ") + what)
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    return condition


def arguments(doc, count):
    """The count paths of the command line made absolute, the last one an output folder emptied
    for the run; None (after printing doc) when the count is wrong."""
    if len(sys.argv) != count + 1:
        print(doc)
        return None
    paths = [os.path.abspath(p) for p in sys.argv[1:count + 1]]
    shutil.rmtree(paths[-1], ignore_errors=True)
    os.makedirs(paths[-1])
    return paths


def finish(out):
    """Writes the checks to OUT/report.txt, says how many passed, and gives the exit status."""
    with open(os.path.join(out, "report.txt"), "w") as f:
        f.write("\n".join(report + failures) + "\n")
    print("%d checks passed, %d failed; screenshots and report in %s" % (len(report), len(failures), out))
    return 1 if failures else 0


class Display:
    def __init__(self, width=SCREEN_W, height=SCREEN_H, extra_args=()):
        self.proc = None
        for number in range(81, 90):
            if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists("/tmp/.X11-unix/X%d" % number):
                continue
            self.name = ":%d" % number
            self.proc = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "%dx%dx24" % (width, height),
                                          "-nolisten", "tcp", "-br"] + list(extra_args),
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            end = time.time() + 10
            while time.time() < end:
                if self.proc.poll() is not None:
                    break
                if subprocess.run(["xdpyinfo", "-display", self.name], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL).returncode == 0:
                    return
                time.sleep(0.05)
            self.stop()
        raise RuntimeError("no free X display between :81 and :89")

    def env(self, **extra):
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        env.update(extra)
        return env

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
        self.proc = None


def x(display, *args, check_rc=False):
    result = subprocess.run(list(args), env=display.env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, errors="replace")
    if check_rc and result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (args, result.stderr))
    return result.stdout


def find_windows(display, title):
    out = x(display, "xdotool", "search", "--onlyvisible", "--name", "^%s$" % title)
    return [w for w in out.split()]


def wait_for_window(display, title, timeout=15.0):
    end = time.time() + timeout
    while time.time() < end:
        windows = find_windows(display, title)
        if windows:
            return windows[0]
        time.sleep(0.01)
    return None


def wait_gone(display, title, timeout=10.0):
    end = time.time() + timeout
    while time.time() < end:
        if not find_windows(display, title):
            return True
        time.sleep(0.05)
    return False


def geometry(display, window):
    info = x(display, "xwininfo", "-id", window)
    values = {}
    for line in info.splitlines():
        line = line.strip()
        for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
            if line.startswith(key + ":"):
                values[key] = int(line.split(":")[1])
    return (values.get("Absolute upper-left X"), values.get("Absolute upper-left Y"),
            values.get("Width"), values.get("Height"))


class Shot:
    """A screenshot of the whole screen, readable pixel by pixel."""

    def __init__(self, display, path):
        if display is not None:   # else a picture file that is already there
            x(display, "import", "-window", "root", path, check_rc=True)
        ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], stdout=subprocess.PIPE, check=True).stdout
        # P6 header: magic, width, height, maxval, then RGB bytes.
        fields = []
        pos = 0
        while len(fields) < 4:
            while ppm[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not ppm[pos:pos + 1].isspace():
                pos += 1
            fields.append(ppm[start:pos])
        self.width, self.height = int(fields[1]), int(fields[2])
        self.data = ppm[pos + 1:]
        self.path = path

    def pixel(self, px, py):
        i = (py * self.width + px) * 3
        return tuple(self.data[i:i + 3])

    def count(self, left, top, width, height, predicate):
        n = 0
        for py in range(max(0, top), min(self.height, top + height)):
            for px in range(max(0, left), min(self.width, left + width)):
                if predicate(self.pixel(px, py)):
                    n += 1
        return n


def is_amber(p):
    return abs(p[0] - AMBER[0]) <= 24 and abs(p[1] - AMBER[1]) <= 40 and p[2] <= 60


def is_black(p):
    return p[0] < 8 and p[1] < 8 and p[2] < 8


class Program:
    """A copy of an executable in its own folder, so that a settings file can sit next to it."""

    def __init__(self, executable, folder, name, copy=True):
        os.makedirs(folder, exist_ok=True)
        self.folder = folder
        self.path = os.path.join(folder, name)
        if copy:
            shutil.copy2(executable, self.path)
        self.settings = os.path.join(folder, os.path.splitext(name)[0] + ".qrcf")
        self.proc = None

    def start(self, display, args=(), **env):
        self.started = time.time()
        self.proc = subprocess.Popen([self.path] + list(args), cwd=self.folder, env=display.env(**env),
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        return self.proc

    def wait(self, timeout=10.0):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


def click(display, px, py, button=1):
    x(display, "xdotool", "mousemove", str(px), str(py), "click", str(button))


def read_settings(path):
    sections, current = {}, None
    try:
        with open(path, "rb") as f:
            text = f.read().decode("utf-8", "replace")
    except OSError:
        return None
    for line in text.splitlines():
        if len(line) >= 4 and line.startswith("[") and line.endswith("]"):
            current = line[1:-1]
            sections.setdefault(current, {})
        elif current is not None and "=" in line:
            key, value = line.split("=", 1)
            sections[current][key.strip()] = value
    return sections


def close_by_cross(display, program, window):
    wx, wy, _, _ = geometry(display, window)
    click(display, wx + 612, wy + 20)
    return program.wait(10)


def test_main_window(display, lumo, out):
    program = Program(lumo, os.path.join(out, "first-start"), "lumo")
    xdg = os.path.join(out, "first-start-config")
    shutil.rmtree(xdg, ignore_errors=True)
    program.start(display, XDG_CONFIG_HOME=xdg)
    window = wait_for_window(display, TITLE)
    elapsed_ms = (time.time() - program.started) * 1000
    if not check(window is not None, "first start shows the main window"):
        program.kill()
        return
    wx, wy, ww, wh = geometry(display, window)
    check((ww, wh) == (WIN_W, WIN_H), "main window is %dx%d (got %sx%s)" % (WIN_W, WIN_H, ww, wh))
    check((wx, wy) == (SCREEN_W // 2 - WIN_W // 2, SCREEN_H // 2 - WIN_H // 2),
          "without settings the window is centred (at %s,%s)" % (wx, wy))
    time.sleep(1.0)
    rss = rss_kib(program.proc.pid)
    report.append("figure start-to-visible-window %.0f ms, resident memory %d KiB after 1 s" % (elapsed_ms, rss))
    print(report[-1], flush=True)

    shot = Shot(display, os.path.join(out, "main-window.png"))
    # Outside the rounded corners the black root window shows; inside, the front plate.
    corners = [(wx + 1, wy + 1), (wx + ww - 2, wy + 1), (wx + 1, wy + wh - 2), (wx + ww - 2, wy + wh - 2)]
    check(all(is_black(shot.pixel(*c)) for c in corners), "the four corner pixels are cut away (rounded)")
    inner = [(wx + 25, wy + 25), (wx + ww - 26, wy + 25), (wx + 25, wy + wh - 26), (wx + ww - 26, wy + wh - 26)]
    check(not any(is_black(shot.pixel(*c)) for c in inner), "the window is there just inside its corners")
    check(not is_black(shot.pixel(wx + 25, wy)) and not is_black(shot.pixel(wx, wy + 25)),
          "the edges are not cut beyond the 25-pixel corner radius")
    top_amber = shot.count(wx + 21, wy + 100, 600, 110, is_amber)
    bottom_amber = shot.count(wx + 21, wy + 210, 600, 110, is_amber)
    check(top_amber > 2000 and bottom_amber > 300, "both display lines show amber text (%d, %d pixels)"
          % (top_amber, bottom_amber))
    check(top_amber > 2 * bottom_amber, "the top line (VERSION) has more text than the bottom line (1.1)")
    # "VERSION" has seven of the eight character cells: the last cell of the display stays dark.
    last_cell = shot.count(wx + 545, wy + 100, 70, 215, is_amber)
    check(last_cell == 0, "the display's eighth character cell is empty (%d amber pixels)" % last_cell)

    # Dragging the plate's background moves the window.
    px, py = wx + 450, wy + 400
    x(display, "xdotool", "mousemove", str(px), str(py), "mousedown", "1")
    for step in range(1, 11):
        x(display, "xdotool", "mousemove", str(px + 6 * step), str(py + 4 * step))
        time.sleep(0.02)
    x(display, "xdotool", "mouseup", "1")
    time.sleep(0.2)
    nx, ny, _, _ = geometry(display, window)
    check((nx, ny) == (wx + 60, wy + 40), "dragging the background moves the window by the mouse movement "
          "(from %d,%d to %d,%d)" % (wx, wy, nx, ny))

    # Clicking the display opens the editor.
    click(display, nx + 320, ny + 200)
    editor = wait_for_window(display, EDITOR_TITLE, 10)
    if check(editor is not None, "clicking the display opens \"%s\"" % EDITOR_TITLE):
        time.sleep(0.4)   # the fade-in
        Shot(display, os.path.join(out, "program-names.png"))
        ex, ey, ew, eh = geometry(display, editor)
        check(abs((ex + ew // 2) - (nx + WIN_W // 2)) <= 2 and abs((ey + eh // 2) - (ny + WIN_H // 2)) <= 2,
              "the editor is centred over the main window")
        # Type a name for program 1 and confirm with Return.
        x(display, "xdotool", "windowfocus", "--sync", editor)
        # The content is the window's lowest 170 pixels (plus a 1-pixel frame); the name field is
        # at y 95 to 120 in it.
        click(display, ex + ew // 2, ey + eh - 171 + 107)
        x(display, "xdotool", "key", "ctrl+a")
        x(display, "xdotool", "type", "--delay", "20", "NEW NAME")
        x(display, "xdotool", "key", "Return")
        check(wait_gone(display, EDITOR_TITLE), "Return closes the editor")

    # Second start leaves one window.
    second = Program(lumo, os.path.join(out, "first-start"), "lumo", copy=False)
    second.start(display, XDG_CONFIG_HOME=xdg)
    rc = second.wait(15)
    check(rc is not None, "a second start ends by itself (status %s)" % rc)
    time.sleep(0.3)
    check(len(find_windows(display, TITLE)) == 1, "a second start leaves one window")
    second.kill()

    # The close area quits and writes the settings.
    rc = close_by_cross(display, program, window)
    check(rc == 0, "clicking the close cross quits (status %s)" % rc)
    settings = read_settings(os.path.join(xdg, "Vantor Quorvel", "lumo.qrcf"))
    check(settings is not None, "settings file written into XDG_CONFIG_HOME/Vantor Quorvel")
    if settings:
        current = settings.get("Current", {})
        check(current.get("MainLeft") == str(nx) and current.get("MainTop") == str(ny),
              "MainLeft/MainTop hold the dragged position (%s)" % current)
        check(current.get("ReceiveChannel") == "-1", "ReceiveChannel stored as -1 (OMNI)")
        check(settings.get("Program Names", {}).get("Program0") == "NEW NAME",
              "the name typed in the editor is saved (%s)" % settings.get("Program Names"))
    program.kill()


def test_settings_next_to_program(display, lumo, out):
    program = Program(lumo, os.path.join(out, "next-to-program"), "lumo")
    with open(program.settings, "w") as f:
        f.write("[Current]\nMainLeft=100\nMainTop=80\nReceiveChannel=9\n\n"
                "[MIDI.alias]\nMIDI Input=Some Port\n\n[Program Names]\nProgram5=ABC\nProgram9=KEEP ME\n\n")
    program.start(display, XDG_CONFIG_HOME=os.path.join(out, "unused-config"))
    window = wait_for_window(display, TITLE)
    if not check(window is not None, "start with a settings file next to the program"):
        program.kill()
        return
    wx, wy, _, _ = geometry(display, window)
    check((wx, wy) == (100, 80), "the window opens at the stored position (%d,%d)" % (wx, wy))
    time.sleep(0.3)
    rc = close_by_cross(display, program, window)
    check(rc == 0, "closed by the cross")
    settings = read_settings(program.settings)
    names = settings.get("Program Names", {}) if settings else {}
    check(names.get("Program5") == "ABC" and names.get("Program9") == "KEEP ME", "program names kept (%s)" % names)
    check(settings and settings.get("Current", {}).get("ReceiveChannel") == "9", "receive channel kept")
    check(settings and settings.get("MIDI.alias", {}).get("MIDI Input") == "Some Port", "other sections kept")
    check(not os.path.exists(os.path.join(out, "unused-config", "Vantor Quorvel", "lumo.qrcf")),
          "the file next to the program takes precedence")
    program.kill()


def test_bad_settings_and_command_lines(display, lumo, out):
    garbage = bytes((i * 131 + 7) % 256 for i in range(50000))
    cases = [
        ("xml", b"<?xml version=\"1.0\"?>\n<settings><MainLeft>1</MainLeft></settings>\n", []),
        ("json", b"{\"Current\": {\"MainLeft\": 1}}\n", []),
        ("bom", b"\xef\xbb\xbf[Current]\nMainLeft=1\nMainTop=1\n", []),
        ("garbage", garbage, []),
        ("nul", b"[Current]\x00\x00MainLeft=abc\n", []),
        ("huge-values", b"[Current]\nMainLeft=" + b"9" * 20000 + b"\nMainTop=-" + b"9" * 300 + b"\n", []),
        ("odd-command-line", b"", ["--dump", "-x", "\u00e9\u00e8", "/" * 3000, "", "-psn_0_1", "%s%n%x"]),
    ]
    for label, content, args in cases:
        program = Program(lumo, os.path.join(out, "bad-" + label), "lumo")
        with open(program.settings, "wb") as f:
            f.write(content)
        program.start(display, args)
        window = wait_for_window(display, TITLE)
        if check(window is not None, "starts with %s" % label):
            time.sleep(0.2)
            rc = close_by_cross(display, program, window)
            check(rc == 0, "quits normally after %s (status %s)" % (label, rc))
            settings = read_settings(program.settings)
            check(settings is not None and "MainLeft" in settings.get("Current", {}),
                  "a readable settings file replaces %s" % label)
        program.kill()
        wait_gone(display, TITLE)


def test_no_font(display, lumo, out):
    """A system without any font (no font configuration) is said, not shown as an empty plate."""
    program = Program(lumo, os.path.join(out, "no-font"), "lumo")
    empty = os.path.join(out, "no-font", "fonts")
    os.makedirs(empty, exist_ok=True)
    program.start(display, [], JUCE_FONT_PATH=empty)
    said = False
    end = time.time() + 15
    while time.time() < end and not said:
        line = program.proc.stdout.readline().decode(errors="replace")
        said = "No font can be loaded" in line
        if not line and program.proc.poll() is not None:
            break
    check(said, "without any font the program says so on stderr")
    check(wait_for_window(display, TITLE + " - Error") is not None, "and in the error box")
    program.kill()
    wait_gone(display, TITLE)


def test_fatal_error(display, demo, out, args=(), when="at start", shot="fatal-error.png"):
    program = Program(demo, os.path.join(out, "fatal"), "lumo_fatal_demo")
    program.start(display, args)
    box = wait_for_window(display, "Fatal Error", 15)
    if check(box is not None, "a failure %s shows the \"Fatal Error\" box" % when):
        time.sleep(0.3)
        Shot(display, os.path.join(out, shot))
        # Without a window manager the box may not have the keyboard yet when it appears.
        for _ in range(3):
            x(display, "xdotool", "windowfocus", "--sync", box)
            x(display, "xdotool", "key", "Return")
            if wait_gone(display, "Fatal Error", 3):
                break
        rc = program.wait(10)
        check(rc is not None, "closing the box ends the program (status %s)" % rc)
        check(not find_windows(display, TITLE), "no main window is left behind")
    program.kill()


def main():
    paths = arguments(__doc__, 3)
    if paths is None:
        return 2
    lumo, demo, out = paths
    display = Display()
    try:
        test_main_window(display, lumo, out)
        test_settings_next_to_program(display, lumo, out)
        test_bad_settings_and_command_lines(display, lumo, out)
        test_no_font(display, lumo, out)
        test_fatal_error(display, demo, out)
        test_fatal_error(display, demo, out, ["--fail-in-start-midi"], "when the MIDI side starts",
                         "fatal-error-start-midi.png")
    finally:
        display.stop()
    return finish(out)


if __name__ == "__main__":
    sys.exit(main())
