#!/usr/bin/env python3
"""The idle program as a user sees it, on a virtual X display (Linux, or the Windows build under Wine).

Usage: idle_wakeups.py [--wine] LUMO_EXECUTABLE [SECONDS [STARTS]]

With --wine, LUMO_EXECUTABLE is the 64-bit lumo.exe (build/win64/app/lumo.exe), run by Wine's
64-bit loader in a copy of the test prefix (tests/gui/wine_session.py) whose wineserver stays up
between the starts, as on a user's machine; the very first start, which also starts Wine's
services, is reported on its own and left out of the median. The figures are those of the Unix
process that runs lumo.exe (the one owning its X window); the wake-ups of the wineserver and of
Wine's service processes of the prefix over the same seconds are listed after it.

1. Start to visible window: the median (and range) over STARTS starts (9 by default), each with a
   fresh settings folder; resident memory 5 s after each start.
2. Wake-ups: one more start; once the "SELECT" / "DEVICE" prompt is due (5 s after the MIDI side
   starts; this waits 7 s after the window appears), the context switches of each of the
   program's threads (voluntary + involuntary, from /proc/PID/task/*/status) are counted over
   SECONDS seconds (30 by default), with the CPU time the process used meanwhile.
3. With --wine, Wine's own share: the same session with Wine's notepad idling instead, over as
   many seconds (its process and the session's service processes).

Nothing here is a pass/fail test: the figures are printed for comparison between builds. Needs
Xvfb, xdotool and ImageMagick (the helpers of tests/gui/window_tests.py).
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "gui"))
import window_tests as wt  # noqa: E402
import wine_session  # noqa: E402

PROMPT_WAIT_S = 7.0
RSS_AFTER_S = 5.0


def thread_switches(pid):
    """{thread id: (name, voluntary + involuntary context switches)} of a running process."""
    threads = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/status" % (pid, tid)) as status:
                fields = dict(line.rstrip("\n").split(":\t", 1) for line in status if ":\t" in line)
        except OSError:
            continue   # the thread ended meanwhile
        threads[tid] = (fields.get("Name", "?"),
                        int(fields.get("voluntary_ctxt_switches", 0)) + int(fields.get("nonvoluntary_ctxt_switches", 0)))
    return threads


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the whole line (11 and 12 after the name).
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class NativeLauncher:
    """The Linux program, with a fresh settings folder for every start."""

    def __init__(self, display, lumo, folder):
        self.display, self.lumo, self.folder = display, lumo, folder

    def start(self, label):
        program = wt.Program(self.lumo, os.path.join(self.folder, label), "lumo")
        program.start(self.display, XDG_CONFIG_HOME=os.path.join(self.folder, "config-" + label))
        window = wt.wait_for_window(self.display, wt.TITLE, 60)
        if window is None:
            program.kill()
            raise RuntimeError("no window appeared")
        return program, window, program.proc.pid

    def stop(self, program, window):
        wt.close_by_cross(self.display, program, window)
        program.kill()
        wt.wait_gone(self.display, wt.TITLE)

    def others(self):
        return {}


class WineLauncher(NativeLauncher):
    """lumo.exe under Wine; every start in a folder of its own and with an empty %APPDATA% folder."""

    def __init__(self, display, lumo, folder):
        NativeLauncher.__init__(self, display, lumo, folder)
        self.session = wine_session.WineSession(display, os.path.join(folder, "prefix"))

    def start(self, label):
        shutil.rmtree(self.session.maker_folder(), ignore_errors=True)
        program = wine_session.WineProgram(self.session, self.lumo, os.path.join(self.folder, label))
        program.start()
        window = wt.wait_for_window(self.display, wt.TITLE, 120)
        if window is None:
            program.kill()
            raise RuntimeError("no window appeared")
        return program, window, program.unix_pid(window)

    def stop(self, program, window):
        NativeLauncher.stop(self, program, window)
        os.remove(program.path)

    def others(self):
        return self.session.server_pids()


def measure_starts(launcher, starts, warm_up):
    times, memory = [], []
    if warm_up:
        program, window, _ = launcher.start("first")
        print("first start (Wine's services start with it): window after %.0f ms"
              % ((time.time() - program.started) * 1000))
        launcher.stop(program, window)
    for run in range(starts):
        program, window, pid = launcher.start("start-%d" % run)
        times.append((time.time() - program.started) * 1000)
        time.sleep(max(0.0, RSS_AFTER_S - (time.time() - program.started)))
        memory.append(wt.rss_kib(pid))
        launcher.stop(program, window)
    print("start to visible window: median %.0f ms (min %.0f, max %.0f) over %d starts"
          % (statistics.median(times), min(times), max(times), starts))
    print("resident memory %.0f s after start: median %d KiB (min %d, max %d)"
          % (RSS_AFTER_S, statistics.median(memory), min(memory), max(memory)))


def process_switches(pids):
    """{pid: (name, context switches of all its threads)} of the processes that still run."""
    counts = {}
    for pid, name in pids.items():
        try:
            counts[pid] = (name, sum(count for _, count in thread_switches(pid).values()))
        except OSError:
            pass
    return counts


def measure_idle(launcher, display, seconds):
    program, window, pid = launcher.start("idle")
    # The pointer away from the window: a tooltip would be a window of its own. It passes over
    # the window first: Wine learns where the pointer is only from its moves over Wine's windows,
    # so a pointer that was never over the window may still count as resting on it there.
    wx, wy, ww, wh = wt.geometry(display, window)
    wt.x(display, "xdotool", "mousemove", str(wx + ww // 2), str(wy + wh // 2))
    time.sleep(0.5)
    wt.x(display, "xdotool", "mousemove", "0", "0")
    time.sleep(PROMPT_WAIT_S)
    # The program's own top-level X windows, mapped or not (each one a native window with a
    # refresh timer of its own).
    windows = wt.x(display, "xdotool", "search", "--pid", str(pid)).split()
    mapped = [w for w in windows if "IsViewable" in wt.x(display, "xwininfo", "-id", w)]
    print("native windows of the program: %d (%d of them shown)" % (len(windows), len(mapped)))
    others = {p: n for p, n in launcher.others().items() if p != pid}
    before, cpu_before, started = thread_switches(pid), cpu_seconds(pid), time.time()
    others_before = process_switches(others)
    time.sleep(seconds)
    after, cpu_after, elapsed = thread_switches(pid), cpu_seconds(pid), time.time() - started
    others_after = process_switches(others)
    launcher.stop(program, window)

    print("wake-ups over %.1f s of idling after the prompt (context switches per thread):" % elapsed)
    total = 0
    for tid in sorted(set(before) | set(after), key=int):
        name = (after.get(tid) or before.get(tid))[0]
        count = after.get(tid, (name, 0))[1] - before.get(tid, (name, 0))[1]
        note = "" if tid in before and tid in after else (" (started)" if tid in after else " (ended)")
        total += count
        print("  %-20s tid %-8s %7d  %8.1f/s%s" % (name, tid, count, count / elapsed, note))
    print("  %-29s %7d  %8.1f/s" % ("all threads", total, total / elapsed))
    print("CPU: %.2f s in %.1f s = %.2f %% of one core" % (cpu_after - cpu_before, elapsed,
                                                        100.0 * (cpu_after - cpu_before) / elapsed))
    if others_before:
        print("the other processes of the Wine session over the same time (all their threads):")
        print_process_switches(others_before, others_after, elapsed)


def print_process_switches(before, after, elapsed):
    for other in sorted(set(before) & set(after)):
        name = os.path.basename(after[other][0].replace("\\", "/"))
        count = after[other][1] - before[other][1]
        print("  %-29s %7d  %8.1f/s" % ("%s (pid %d)" % (name, other), count, count / elapsed))


def measure_wine_baseline(launcher, seconds):
    """Wine's own share: the same session with Wine's notepad idling instead of the program."""
    notepad = subprocess.Popen([wine_session.WINE, "notepad"], env=launcher.session.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(PROMPT_WAIT_S)
        pids = launcher.others()
        before, started = process_switches(pids), time.time()
        time.sleep(seconds)
        after, elapsed = process_switches(pids), time.time() - started
        print("for comparison, Wine's notepad idling in the same session over %.1f s (all threads):" % elapsed)
        print_process_switches(before, after, elapsed)
    finally:
        notepad.kill()
        notepad.wait()


def main():
    args = sys.argv[1:]
    wine = "--wine" in args
    args = [a for a in args if a != "--wine"]
    if not args:
        print(__doc__)
        return 2
    lumo = os.path.abspath(args[0])
    seconds = float(args[1]) if len(args) > 1 else 30.0
    starts = int(args[2]) if len(args) > 2 else 9
    display = wt.Display()
    launcher = None
    try:
        with tempfile.TemporaryDirectory() as folder:
            launcher = (WineLauncher if wine else NativeLauncher)(display, lumo, folder)
            measure_starts(launcher, starts, wine)
            measure_idle(launcher, display, seconds)
            if wine:
                measure_wine_baseline(launcher, seconds)
                launcher.session.stop()
    finally:
        if wine and launcher is not None:
            launcher.session.stop()
        display.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
