#!/usr/bin/env python3
"""The Windows program (the 64-bit lumo.exe under Wine) against settings it cannot trust.

Usage: wine_hostile_settings_tests.py LUMO_EXE OUTPUT_FOLDER [--huge]

The Windows counterpart of hostile_settings_tests.py, for the cases that exist on Windows: a
settings file next to the program full of NUL bytes, binary, or one section repeated over and
over; a settings file with the read-only attribute; a folder that takes no file (a read-only
bind mount: Wine runs as root here, whom no permission stops); a full disk under %APPDATA%\\Vantor Quorvel
when the program saves there; a dump file that cannot be created; with --huge also a 100 MB
settings file (its figures go to OUTPUT_FOLDER/report.txt). Every time the program must start,
quit normally, tell the user in its error box where a setting would otherwise be lost without a
word, and never damage the settings file it found.

Left out, because Wine cannot show them: a file closed by permissions (Wine runs as the prefix's
owner, and root reads every file) and a named pipe (no Windows folder holds one). The full disk is a 512 KiB tmpfs when this account may mount one, else a file-size limit
(RLIMIT_FSIZE) that makes the save's writes fail the same way.
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_tests as wt  # noqa: E402
import wine_session  # noqa: E402
from hostile_settings_tests import (run_malformed, dismiss_error_box, quit_program, leftovers,  # noqa: E402
                                    mount_small_disk, fill_up, file_size_limit, check_failed_save,
                                    HUGE_LINES)

check = wt.check
WINDOW_TIMEOUT = 120


def start_and_quit(display, program, label, args=(), expect_box=None, preexec=None):
    """Starts the program, checks the error box (expected or not), quits it. Returns the output."""
    program.start(args, preexec)
    window = wt.wait_for_window(display, wt.TITLE, WINDOW_TIMEOUT)
    if not check(window is not None, "%s: the program starts" % label):
        program.kill()
        return ""
    wt.report.append("figure %s: window after %.2f s" % (label, time.time() - program.started))
    if expect_box is not None:
        shown = dismiss_error_box(display, 15 if expect_box else 1.5)
        check(shown == expect_box, "%s: %s" % (label, "the error box tells the user" if expect_box
                                               else "no error box"))
    time.sleep(0.3)
    rc, _ = quit_program(display, program, window)
    check(rc == 0, "%s: quits normally (status %s)" % (label, rc))
    program.kill()
    wt.wait_gone(display, wt.TITLE)
    return program.output()


def test_malformed(display, session, exe, out):
    run_malformed(out, lambda folder: wine_session.WineProgram(session, exe, folder),
                  lambda program, label: start_and_quit(display, program, label, expect_box=False))


def test_read_only_file(display, session, exe, out):
    # Wine shows a file without write permission as one with the read-only attribute, which
    # Windows refuses to replace.
    program = wine_session.WineProgram(session, exe, os.path.join(out, "read-only-file"))
    content = b"[Current]\nMainLeft=10\nMainTop=10\n\n[Program Names]\nProgram0=KEEP\n\n"
    with open(program.settings, "wb") as f:
        f.write(content)
    os.chmod(program.settings, 0o444)
    try:
        output = start_and_quit(display, program, "read-only settings file", expect_box=True)
    finally:
        os.chmod(program.settings, 0o644)
    with open(program.settings, "rb") as f:
        check(f.read() == content, "read-only settings file: left byte for byte as it was")
    check("could not be saved" in output or "cannot be saved" in output,
          "read-only settings file: the failed save is reported on the standard error")
    check(not leftovers(program.folder), "read-only settings file: no temporary file is left")


def test_read_only_folder(display, session, exe, out):
    # Root may write into any folder whatever its permissions: the folder is made read-only for
    # everyone by a read-only bind mount of itself.
    program = wine_session.WineProgram(session, exe, os.path.join(out, "read-only-folder"))
    content = b"[Current]\nMainLeft=10\nMainTop=10\n\n[Program Names]\nProgram0=KEEP\n\n"
    with open(program.settings, "wb") as f:
        f.write(content)
    bound = subprocess.run(["mount", "--bind", program.folder, program.folder], stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, text=True)
    if bound.returncode != 0:
        wt.report.append("note read-only folder: not run, no bind mount here (%s)" % bound.stdout.strip())
        print(wt.report[-1], flush=True)
        return
    try:
        remounted = subprocess.run(["mount", "-o", "remount,ro,bind", program.folder], stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, text=True)
        if not check(remounted.returncode == 0, "read-only folder: made read-only (%s)" % remounted.stdout.strip()):
            return
        output = start_and_quit(display, program, "read-only folder", expect_box=True)
    finally:
        subprocess.run(["umount", program.folder])
    with open(program.settings, "rb") as f:
        check(f.read() == content, "read-only folder: the settings file is unchanged")
    check("could not be saved" in output, "read-only folder: the failed save is reported on the standard error")


def test_full_disk(display, session, exe, out):
    folder = session.maker_folder()
    shutil.rmtree(folder, ignore_errors=True)
    mounted, why = mount_small_disk(folder, 512 * 1024)
    program = wine_session.WineProgram(session, exe, os.path.join(out, "full-disk"))
    settings = os.path.join(folder, "lumo.qrcf")
    old = ("[Current]\nMainLeft=10\nMainTop=10\n\n[Program Names]\n"
           + "".join("Program%d=NAME %d\n" % (p, p) for p in range(128))
           + "".join("Extra%05d=filler filler filler filler\n" % i for i in range(2000)) + "\n").encode()
    with open(settings, "wb") as f:
        f.write(old)
    preexec = None
    try:
        if mounted:
            wt.report.append("note full disk: a 512 KiB tmpfs as %APPDATA%\\Vantor Quorvel")
            fill_up(folder)
        else:
            wt.report.append("note full disk: no tmpfs (%s); a file-size limit makes the save's writes fail" % why)
            preexec = file_size_limit(len(old) // 2)
        print(wt.report[-1], flush=True)
        output = start_and_quit(display, program, "full disk", expect_box=False, preexec=preexec)
        check_failed_save(output, settings, old)
    finally:
        if mounted:
            subprocess.run(["umount", folder])
        shutil.rmtree(folder, ignore_errors=True)


def test_dump_not_created(display, session, exe, out):
    program = wine_session.WineProgram(session, exe, os.path.join(out, "dump"))
    # A folder of the dump file's name is in the way.
    os.makedirs(os.path.join(program.folder, "LUMO_dump.syx"), exist_ok=True)
    start_and_quit(display, program, "dump file cannot be created", args=["-dump"], expect_box=True)
    check(os.path.isdir(os.path.join(program.folder, "LUMO_dump.syx")), "dump: the folder in the way is untouched")


def test_huge(display, session, exe, out):
    program = wine_session.WineProgram(session, exe, os.path.join(out, "huge"))
    with open(program.settings, "w") as f:
        f.write("[Current]\nMainLeft=50\nMainTop=40\n\n[Program Names]\nProgram5=FIVE\n")
        for start in range(0, HUGE_LINES, 100000):
            f.write("".join("Extra%08d=a line of the settings that is not a program name\n" % i
                            for i in range(start, min(start + 100000, HUGE_LINES))))
    size = os.path.getsize(program.settings)
    program.start()
    window = wt.wait_for_window(display, wt.TITLE, 300)
    if not check(window is not None, "huge: starts with a %.0f MB settings file" % (size / 1e6)):
        program.kill()
        return
    start_s = time.time() - program.started
    time.sleep(1.0)
    rss = wt.rss_kib(program.unix_pid(window))
    rc, quit_s = quit_program(display, program, window, 300)
    check(rc == 0, "huge: quits normally (status %s)" % rc)
    wt.report.append("figure huge settings (%.0f MB, %d lines): window after %.2f s, %d KiB resident, "
                     "quit took %.2f s" % (size / 1e6, HUGE_LINES, start_s, rss, quit_s))
    print(wt.report[-1], flush=True)
    with open(program.settings, "rb") as f:
        lines = f.read().count(b"\nExtra")
    check(lines == HUGE_LINES, "huge: every line survives the save (%d of %d)" % (lines, HUGE_LINES))
    names = (wt.read_settings(program.settings) or {}).get("Program Names", {})
    check(names.get("Program5") == "FIVE", "huge: the program name is kept")
    check(not leftovers(program.folder), "huge: no temporary file is left")
    os.remove(program.settings)


def main():
    args = [a for a in sys.argv[1:] if a != "--huge"]
    if len(args) != 2:
        print(__doc__)
        return 2
    exe, out = (os.path.abspath(p) for p in args)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    started = time.time()
    display = wt.Display()
    session = None
    try:
        session = wine_session.WineSession(display, os.path.join(out, "prefix"))
        # The first program of a session also starts Wine's services: not a figure of the program.
        warm_up = wine_session.WineProgram(session, exe, os.path.join(out, "warm-up"))
        start_and_quit(display, warm_up, "first start of the session")
        test_malformed(display, session, exe, out)
        test_read_only_file(display, session, exe, out)
        test_read_only_folder(display, session, exe, out)
        test_full_disk(display, session, exe, out)
        test_dump_not_created(display, session, exe, out)
        if "--huge" in sys.argv:
            test_huge(display, session, exe, out)
    finally:
        if session is not None:
            session.stop()
        display.stop()
        # The prefix and the program's copies are big; the settings files and the report are what
        # is worth keeping.
        shutil.rmtree(os.path.join(out, "prefix"), ignore_errors=True)
        for folder, _, files in os.walk(out):
            if "lumo.exe" in files:
                os.remove(os.path.join(folder, "lumo.exe"))
    wt.report.append("figure whole run: %.0f s" % (time.time() - started))
    with open(os.path.join(out, "report.txt"), "w") as f:
        f.write("\n".join(wt.report + wt.failures) + "\n")
    passed = sum(1 for line in wt.report if line.startswith("ok"))
    print("%d checks passed, %d failed; report in %s" % (passed, len(wt.failures), out))
    return 1 if wt.failures else 0


if __name__ == "__main__":
    sys.exit(main())
