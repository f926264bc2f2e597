#!/usr/bin/env python3
"""The real program against settings it cannot trust, on a virtual X display.

Usage: hostile_settings_tests.py LUMO_EXECUTABLE OUTPUT_FOLDER

Starts the program with settings files that are huge (100 MB), full of NUL bytes, binary, made of
one section repeated over and over, unreadable, or a named pipe; with a settings folder that takes no file; with
a full disk when it saves; and with a dump file that cannot be created. Every time it must start,
quit normally, tell the user in its error box where a setting or the dump would otherwise be lost
without a word, and never damage the settings file it found.

Unreadable files and read-only folders need an account that permissions apply to: run as root, the
program is started as "nobody" (setpriv); the full disk is a small tmpfs when this account may
mount one, else a file-size limit (RLIMIT_FSIZE) that makes the save's writes fail the same way.
Figures (start and quit times for the huge file) go to OUTPUT_FOLDER/report.txt.
"""
import os
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_tests as wt  # noqa: E402

ERROR_TITLE = "Vantor LUMO - Error"
NOBODY = 65534
HUGE_LINES = 2000000

check = wt.check


def leftovers(folder, name="lumo.qrcf"):
    return sorted(f for f in os.listdir(folder) if f.startswith(name + ".tmp"))


def dismiss_error_box(display, timeout=15.0):
    """Waits for the program's error box; returns its text-free presence after closing it."""
    box = wt.wait_for_window(display, ERROR_TITLE, timeout)
    if box is None:
        return False
    for _ in range(5):
        wt.x(display, "xdotool", "windowfocus", "--sync", box)
        wt.x(display, "xdotool", "key", "Return")
        if wt.wait_gone(display, ERROR_TITLE, 3):
            break
    return True


def quit_program(display, program, window, timeout=60.0):
    """Clicks the close cross; returns (exit status or None, seconds from click to exit)."""
    wx, wy, _, _ = wt.geometry(display, window)
    started = time.time()
    wt.click(display, wx + 612, wy + 20)
    rc = program.wait(timeout)
    return rc, time.time() - started


def start_and_quit(display, program, label, args=(), expect_box=None, preexec=None, **env):
    """Starts the program, checks the error box (expected or not), quits it. Returns the output."""
    program.started = time.time()
    program.proc = subprocess.Popen([program.path] + list(args), cwd=program.folder, env=display.env(**env),
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, preexec_fn=preexec)
    window = wt.wait_for_window(display, wt.TITLE, 60)
    if not check(window is not None, "%s: the program starts" % label):
        program.kill()
        return ""
    if expect_box is not None:
        shown = dismiss_error_box(display, 15 if expect_box else 1.5)
        check(shown == expect_box, "%s: %s" % (label, "the error box tells the user" if expect_box
                                               else "no error box"))
    time.sleep(0.3)
    rc, _ = quit_program(display, program, window)
    check(rc == 0, "%s: quits normally (status %s)" % (label, rc))
    program.kill()
    wt.wait_gone(display, wt.TITLE)
    return program.proc.stdout.read().decode("utf-8", "replace")


def as_nobody():
    """A preexec function that drops root to "nobody" (None when not root: permissions apply)."""
    if os.geteuid() != 0:
        return None

    def drop():
        os.setgroups([])
        os.setgid(NOBODY)
        os.setuid(NOBODY)
    return drop



def check_rewritten(program, label, kept):
    """After a start and quit with a settings file it could not fully trust: the file is readable
    again, keeps the values in `kept` ({section: {key: value}}), holds a repeated section once and
    leaves no temporary file behind."""
    settings = wt.read_settings(program.settings)
    check(settings is not None and "MainLeft" in settings.get("Current", {}),
          "%s: a readable settings file is written" % label)
    for section, values in (kept or {}).items():
        for key, value in values.items():
            check(settings and settings.get(section, {}).get(key) == value,
                  "%s: %s/%s is kept" % (label, section, key))
    if label == "repeated-sections":
        with open(program.settings, "rb") as f:
            check(f.read().count(b"[Program Names]") == 1, "%s: the section is written once" % label)
    check(not leftovers(program.folder), "%s: no temporary file is left" % label)

def test_huge(display, lumo, out):
    program = wt.Program(lumo, os.path.join(out, "huge"), "lumo")
    with open(program.settings, "w") as f:
        f.write("[Current]\nMainLeft=50\nMainTop=40\n\n[Program Names]\nProgram5=FIVE\n")
        chunk = []
        for i in range(HUGE_LINES):
            chunk.append("Extra%08d=a line of the settings that is not a program name\n" % i)
            if len(chunk) == 100000:
                f.write("".join(chunk))
                chunk = []
        f.write("".join(chunk))
    size = os.path.getsize(program.settings)
    program.start(display, XDG_CONFIG_HOME=os.path.join(out, "huge-config"))
    window = wt.wait_for_window(display, wt.TITLE, 120)
    if not check(window is not None, "huge: starts with a %.0f MB settings file" % (size / 1e6)):
        program.kill()
        return
    start_s = time.time() - program.started
    time.sleep(1.0)
    rss = wt.rss_kib(program.proc.pid)
    rc, quit_s = quit_program(display, program, window, 300)
    check(rc == 0, "huge: quits normally (status %s)" % rc)
    wt.report.append("figure huge settings (%.0f MB, %d lines): window after %.2f s, %d KiB resident, "
                     "quit took %.2f s" % (size / 1e6, HUGE_LINES, start_s, rss, quit_s))
    print(wt.report[-1], flush=True)
    check(quit_s < 15, "huge: quitting takes %.2f s (in proportion to the size, not its square)" % quit_s)
    with open(program.settings, "rb") as f:
        lines = f.read().count(b"\nExtra")
    check(lines == HUGE_LINES, "huge: every line survives the save (%d of %d)" % (lines, HUGE_LINES))
    names = (wt.read_settings(program.settings) or {}).get("Program Names", {})
    check(names.get("Program5") == "FIVE", "huge: the program name is kept")
    check(not leftovers(program.folder), "huge: no temporary file is left")
    program.kill()
    os.remove(program.settings)


def run_malformed(out, make_program, start_and_quit_program):
    """Settings files that are no settings files: each is rewritten, keeping what it held that a
    settings file can hold, and opens no error box. Shared with the Windows program's tests."""
    garbage = bytes((i * 2654435761 >> 7) % 256 for i in range(1 << 20))
    repeated = b"[Program Names]\nProgram1=ONE\n[Current]\nReceiveChannel=3\n" * 100000
    cases = [
        # label, content, {section: {key: value}} that must survive, or None: nothing to keep
        ("nul-bytes", b"\0" * (1 << 20), None),
        ("settings-then-nul", b"[Program Names]\nProgram3=THREE\n" + b"\0" * 4096, {"Program Names": {"Program3": "THREE"}}),
        ("binary", garbage, None),
        ("repeated-sections", repeated, {"Program Names": {"Program1": "ONE"}, "Current": {"ReceiveChannel": "3"}}),
    ]
    for label, content, kept in cases:
        program = make_program(os.path.join(out, label))
        with open(program.settings, "wb") as f:
            f.write(content)
        start_and_quit_program(program, label)
        check_rewritten(program, label, kept)


def test_malformed(display, lumo, out):
    run_malformed(out, lambda folder: wt.Program(lumo, folder, "lumo"),
                  lambda program, label: start_and_quit(display, program, label, expect_box=False))


def test_unreadable(display, lumo, out):
    program = wt.Program(lumo, os.path.join(out, "unreadable"), "lumo")
    os.chmod(program.folder, 0o777)
    content = b"[Current]\nMainLeft=10\nMainTop=10\n\n[Program Names]\nProgram0=PRECIOUS\n\n"
    with open(program.settings, "wb") as f:
        f.write(content)
    os.chmod(program.settings, 0o000)
    home = os.path.join(out, "unreadable-home")
    os.makedirs(home, exist_ok=True)
    os.chmod(home, 0o777)
    output = start_and_quit(display, program, "unreadable file", expect_box=True, preexec=as_nobody(),
                            HOME=home, XDG_CONFIG_HOME=home)
    os.chmod(program.settings, 0o600)
    with open(program.settings, "rb") as f:
        check(f.read() == content, "unreadable file: left byte for byte as it was")
    check("cannot be read" in output, "unreadable file: the reason is on the standard error too")
    check(not leftovers(program.folder), "unreadable file: no temporary file is left")


def test_named_pipe(display, lumo, out):
    program = wt.Program(lumo, os.path.join(out, "named-pipe"), "lumo")
    os.mkfifo(program.settings)
    # Reading a pipe nobody writes to would wait for ever; the program must start all the same.
    start_and_quit(display, program, "settings file that is a named pipe", expect_box=True)
    check(stat.S_ISFIFO(os.stat(program.settings).st_mode), "named pipe: left as it was")
    check(not leftovers(program.folder), "named pipe: no temporary file is left")


def test_read_only_folder(display, lumo, out):
    program = wt.Program(lumo, os.path.join(out, "read-only-folder"), "lumo")
    content = b"[Current]\nMainLeft=10\nMainTop=10\n\n[Program Names]\nProgram0=KEEP\n\n"
    with open(program.settings, "wb") as f:
        f.write(content)
    home = os.path.join(out, "read-only-home")
    os.makedirs(home, exist_ok=True)
    os.chmod(home, 0o777)
    os.chmod(program.folder, 0o555)
    try:
        output = start_and_quit(display, program, "read-only folder", expect_box=True, preexec=as_nobody(),
                                HOME=home, XDG_CONFIG_HOME=home)
    finally:
        os.chmod(program.folder, 0o755)
    with open(program.settings, "rb") as f:
        check(f.read() == content, "read-only folder: the settings file is unchanged")
    check("could not be saved" in output, "read-only folder: the failed save is reported on the standard error")


def mount_small_disk(folder, size):
    os.makedirs(folder, exist_ok=True)
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", folder],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return result.returncode == 0, result.stdout.strip()


def fill_up(folder):
    """Everything else the disk of folder holds goes to a filler file, so a save there has no room."""
    filler = os.open(os.path.join(folder, "filler"), os.O_WRONLY | os.O_CREAT, 0o644)
    try:
        while os.write(filler, b"\0" * 4096) > 0:
            pass
    except OSError:
        pass
    finally:
        os.close(filler)


def file_size_limit(limit):
    """For a child process: writes beyond limit bytes fail instead of ending it."""
    def preexec():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return preexec


def check_failed_save(output, settings, old):
    with open(settings, "rb") as f:
        check(f.read() == old, "full disk: the settings file is unchanged")
    check(not leftovers(os.path.dirname(settings)), "full disk: the failed save leaves no temporary file")
    check("could not be saved" in output, "full disk: the failed save is reported on the standard error")


def test_full_disk(display, lumo, out):
    disk = os.path.join(out, "small-disk")
    mounted, why = mount_small_disk(disk, 512 * 1024)
    program = wt.Program(lumo, os.path.join(out, "full-disk"), "lumo")
    old = ("[Current]\nMainLeft=10\nMainTop=10\n\n[Program Names]\n"
           + "".join("Program%d=NAME %d\n" % (p, p) for p in range(128))
           + "".join("Extra%05d=filler filler filler filler\n" % i for i in range(2000)) + "\n").encode()
    preexec = None
    try:
        if mounted:
            wt.report.append("note full disk: a 512 KiB tmpfs")
            config = disk
            settings = os.path.join(disk, "Vantor Quorvel", "lumo.qrcf")
            os.makedirs(os.path.dirname(settings))
            with open(settings, "wb") as f:
                f.write(old)
            fill_up(disk)
        else:
            wt.report.append("note full disk: no tmpfs (%s); a file-size limit makes the save's writes fail" % why)
            config = os.path.join(out, "full-disk-config")
            settings = os.path.join(config, "Vantor Quorvel", "lumo.qrcf")
            os.makedirs(os.path.dirname(settings), exist_ok=True)
            with open(settings, "wb") as f:
                f.write(old)
            preexec = file_size_limit(len(old) // 2)
        print(wt.report[-1], flush=True)
        output = start_and_quit(display, program, "full disk", expect_box=False, preexec=preexec,
                                XDG_CONFIG_HOME=config)
        check_failed_save(output, settings, old)
    finally:
        if mounted:
            subprocess.run(["umount", disk])


def test_dump_not_created(display, lumo, out):
    program = wt.Program(lumo, os.path.join(out, "dump"), "lumo")
    # A folder of the dump file's name is in the way.
    os.makedirs(os.path.join(program.folder, "LUMO_dump.syx"), exist_ok=True)
    start_and_quit(display, program, "dump file cannot be created", args=["-dump"], expect_box=True,
                   XDG_CONFIG_HOME=os.path.join(out, "dump-config"))
    check(os.path.isdir(os.path.join(program.folder, "LUMO_dump.syx")), "dump: the folder in the way is untouched")


def main():
    paths = wt.arguments(__doc__, 2)
    if paths is None:
        return 2
    lumo, out = paths
    # The cases run as "nobody" live where "nobody" can reach them: the output folder may lie
    # below a home folder closed to other accounts.
    shared = tempfile.mkdtemp(prefix="lumo-hostile-settings-")
    os.chmod(shared, 0o755)
    display = wt.Display()
    try:
        test_malformed(display, lumo, out)
        test_unreadable(display, lumo, shared)
        test_named_pipe(display, lumo, out)
        test_read_only_folder(display, lumo, shared)
        test_full_disk(display, lumo, out)
        test_dump_not_created(display, lumo, out)
        test_huge(display, lumo, out)
    finally:
        display.stop()
        shutil.rmtree(shared, ignore_errors=True)
        # The program's copies are big; the settings files and the report are what is worth keeping.
        for folder, _, files in os.walk(out):
            if "lumo" in files:
                os.remove(os.path.join(folder, "lumo"))
    with open(os.path.join(out, "report.txt"), "w") as f:
        f.write("\n".join(wt.report + wt.failures) + "\n")
    print("%d checks passed, %d failed; report in %s" % (len(wt.report), len(wt.failures), out))
    return 1 if wt.failures else 0


if __name__ == "__main__":
    sys.exit(main())
