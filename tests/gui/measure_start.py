#!/usr/bin/env python3
"""Start-up figures of the utility: time from process start to a visible main window, and the
resident memory one second later, over several runs on a virtual X display.

Usage: measure_start.py LUMO_EXECUTABLE [RUNS]
"""
import os
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_tests as wt  # noqa: E402


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    lumo = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    display = wt.Display()
    times, memory = [], []
    try:
        with tempfile.TemporaryDirectory() as folder:
            program = wt.Program(lumo, folder, "lumo")
            for _ in range(runs):
                program.start(display, XDG_CONFIG_HOME=os.path.join(folder, "config"))
                window = wt.wait_for_window(display, wt.TITLE)
                if window is None:
                    print("no window")
                    program.kill()
                    return 1
                times.append((time.time() - program.started) * 1000)
                time.sleep(1.0)
                memory.append(wt.rss_kib(program.proc.pid))
                wt.close_by_cross(display, program, window)
                program.kill()
                wt.wait_gone(display, wt.TITLE)
    finally:
        display.stop()
    print("start to visible window: median %.0f ms, min %.0f ms, max %.0f ms over %d runs"
          % (statistics.median(times), min(times), max(times), runs))
    print("resident memory 1 s after start: median %d KiB (min %d, max %d)"
          % (statistics.median(memory), min(memory), max(memory)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
