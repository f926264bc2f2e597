#!/usr/bin/env python3
"""The idle program as a user sees it, on a virtual X display (Linux).

Usage: idle_wakeups.py LUMO_EXECUTABLE [SECONDS [STARTS]]

1. Start to visible window: the median (and range) over STARTS starts (9 by default), each with a
   fresh settings folder; resident memory 5 s after each start.
2. Wake-ups: one more start; once the "SELECT" / "DEVICE" prompt is due (5 s after the MIDI side
   starts; this waits 7 s after the window appears), the context switches of each of the
   program's threads (voluntary + involuntary, from /proc/PID/task/*/status) are counted over
   SECONDS seconds (30 by default), with the CPU time the process used meanwhile.

Nothing here is a pass/fail test: the figures are printed for comparison between builds. Needs
Xvfb, xdotool and ImageMagick (the helpers of tests/gui/window_tests.py).
"""
import os
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "gui"))
import window_tests as wt  # noqa: E402

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


def measure_starts(display, lumo, folder, starts):
    times, memory = [], []
    program = wt.Program(lumo, os.path.join(folder, "starts"), "lumo")
    for run in range(starts):
        program.start(display, XDG_CONFIG_HOME=os.path.join(folder, "config-%d" % run))
        window = wt.wait_for_window(display, wt.TITLE, 60)
        if window is None:
            program.kill()
            raise RuntimeError("no window appeared")
        times.append((time.time() - program.started) * 1000)
        time.sleep(max(0.0, RSS_AFTER_S - (time.time() - program.started)))
        memory.append(wt.rss_kib(program.proc.pid))
        wt.close_by_cross(display, program, window)
        program.kill()
        wt.wait_gone(display, wt.TITLE)
    print("start to visible window: median %.0f ms (min %.0f, max %.0f) over %d starts"
          % (statistics.median(times), min(times), max(times), starts))
    print("resident memory %.0f s after start: median %d KiB (min %d, max %d)"
          % (RSS_AFTER_S, statistics.median(memory), min(memory), max(memory)))


def measure_idle(display, lumo, folder, seconds):
    program = wt.Program(lumo, os.path.join(folder, "idle"), "lumo")
    program.start(display, XDG_CONFIG_HOME=os.path.join(folder, "config-idle"))
    window = wt.wait_for_window(display, wt.TITLE, 60)
    if window is None:
        program.kill()
        raise RuntimeError("no window appeared")
    # The pointer away from the window: a tooltip would be a window of its own.
    wt.x(display, "xdotool", "mousemove", "0", "0")
    time.sleep(PROMPT_WAIT_S)
    pid = program.proc.pid
    # The program's own top-level X windows, mapped or not (each one a native window with a
    # refresh timer of its own).
    windows = wt.x(display, "xdotool", "search", "--pid", str(pid)).split()
    mapped = [w for w in windows if "IsViewable" in wt.x(display, "xwininfo", "-id", w)]
    print("native windows of the program: %d (%d of them shown)" % (len(windows), len(mapped)))
    before, cpu_before, started = thread_switches(pid), cpu_seconds(pid), time.time()
    time.sleep(seconds)
    after, cpu_after, elapsed = thread_switches(pid), cpu_seconds(pid), time.time() - started
    wt.close_by_cross(display, program, window)
    program.kill()

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


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    lumo = os.path.abspath(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 30.0
    starts = int(sys.argv[3]) if len(sys.argv) > 3 else 9
    display = wt.Display()
    try:
        with tempfile.TemporaryDirectory() as folder:
            measure_starts(display, lumo, folder, starts)
            measure_idle(display, lumo, folder, seconds)
    finally:
        display.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
