"""A Wine session for the scripts that run the real lumo.exe (tests/gui, benchmarks).

A session is a 64-bit prefix in a folder of the caller's, taken as a copy of the pristine prefix
that scripts/wine-tests.sh keeps in $LUMO_CACHE/wineprefix-win64 (made with scripts/wine-prefix.sh
when there is none of the right stamp), and its wineserver, which stays up between the program's
starts as it does on a user's machine. `WineProgram` starts a copy of lumo.exe in a folder of its
own, so that a settings file can sit next to it, and finds the Unix process that runs it.
"""
import glob
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_tests as wt  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = os.path.abspath(os.path.join(HERE, "..", "..", "scripts"))
WINE = "/usr/lib/wine/wine64"
MAKER = "Vantor Quorvel"


def cache_folder():
    cache = os.environ.get("LUMO_CACHE") or os.path.join(
        os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache"), "lumo")
    return os.path.join(cache, "wineprefix-win64")


class WineSession:
    def __init__(self, display, prefix):
        self.display = display
        self.prefix = os.path.abspath(prefix)
        self.env = display.env(WINEPREFIX=self.prefix, LUMO_WINE_ARCH="win64", WINELOADER=WINE,
                               WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        key = subprocess.run([os.path.join(SCRIPTS, "wine-prefix.sh"), "--key"], env=self.env,
                             stdout=subprocess.PIPE, text=True, check=True).stdout.strip()
        cache = cache_folder()
        shutil.rmtree(self.prefix, ignore_errors=True)
        try:
            with open(os.path.join(cache, ".lumo-prefix")) as stamp:
                cached = stamp.read().strip() == key and os.path.exists(os.path.join(cache, "system.reg"))
        except OSError:
            cached = False
        if cached:
            shutil.copytree(cache, self.prefix, symlinks=True)
        # Makes the prefix when it was not copied, and starts the persistent server either way.
        subprocess.run([os.path.join(SCRIPTS, "wine-prefix.sh")], env=self.env, check=True)

    def appdata(self):
        """The roaming application-data folder of the prefix's user (Windows' %APPDATA%)."""
        users = glob.glob(os.path.join(self.prefix, "drive_c", "users", "*", "AppData", "Roaming"))
        users = [u for u in users if os.path.basename(os.path.dirname(os.path.dirname(u))) != "Public"]
        return users[0]

    def maker_folder(self):
        return os.path.join(self.appdata(), MAKER)

    def server_pids(self):
        """Unix processes of this prefix other than the programs started here: the wineserver and
        Wine's own service processes ({pid: name})."""
        pids = {}
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/environ" % entry, "rb") as f:
                    environ = f.read().split(b"\0")
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    name = f.read().split(b"\0")[0].decode(errors="replace")
            except OSError:
                continue
            if ("WINEPREFIX=" + self.prefix).encode() in environ:
                pids[int(entry)] = name
        return pids

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)


class WineProgram(wt.Program):
    """A copy of lumo.exe in its own folder, started with Wine's 64-bit loader."""

    def __init__(self, session, exe, folder):
        super().__init__(exe, folder, "lumo.exe")
        self.session = session
        self.started = None

    def start(self, args=(), preexec=None, **env):
        self.started = time.time()
        self.proc = subprocess.Popen([WINE, self.path] + list(args), cwd=self.folder,
                                     env=dict(self.session.env, **env), stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, preexec_fn=preexec)
        return self.proc

    def unix_pid(self, window):
        """The Unix process that runs the program: the one that owns its X window."""
        out = subprocess.run(["xdotool", "getwindowpid", window], env=self.session.env,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout.strip()
        return int(out) if out.isdigit() else self.proc.pid

    def output(self):
        return self.proc.stdout.read().decode("utf-8", "replace") if self.proc and self.proc.stdout else ""
