#!/bin/bash
# Runs the CTest tree of a Windows build under Wine, on this machine or inside the test VM.
#
#   scripts/wine-tests.sh PRESET LOG [CTEST ARGS...]
#
# PRESET is a test preset of CMakePresets.json (win32, win64); its tree is build/PRESET.
#
# LUMO_WINE_ARCH picks the loader (scripts/wine-env.sh). The prefix is made once and kept,
# pristine, in LUMO_WINE_PREFIX_CACHE (default $LUMO_CACHE/wineprefix-<arch>); a run works in a
# fresh copy of it ($WINEPREFIX), or in the cache itself with LUMO_WINE_PREFIX_IN_PLACE=1 (inside
# the VM, where every write lands in the guest's overlay and the host's files stay as they were).
# A prefix made inside the VM cannot be kept there: LUMO_WINE_PREFIX_SAVE names a folder the host
# shares with the guest, and the caller moves the copy from there into the cache.
#
# One Windows process lives for the whole run (tests/support/WineKeepAlive.c), so that Wine's
# services are started once and not for every test executable. CTest's output goes to the
# terminal and to LOG; the exit status is CTest's.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/common.sh"
source "$here/wine-env.sh"

if [ $# -lt 2 ]; then
    echo "usage: $0 PRESET LOG [CTEST ARGS...]" >&2
    exit 2
fi
preset="$1"
build_dir="$LUMO_BUILD/$1"
log="$2"
shift 2
arch="${LUMO_WINE_ARCH:-win32}"
cache="${LUMO_WINE_PREFIX_CACHE:-$LUMO_CACHE/wineprefix-$arch}"

xvfb_pid=""
keepalive_pid=""
finish() {
    wineserver -k 2>/dev/null || true
    if [ -n "$keepalive_pid" ]; then
        wait "$keepalive_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap finish EXIT

# Wine creates windows (the hidden message windows included) only with an X display: one virtual
# display serves the prefix, its server and every test process.
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 70 99); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
            xvfb_pid=$!
            export DISPLAY=":$n"
            break
        fi
    done
    if [ -z "$xvfb_pid" ]; then
        echo "wine-tests: no free X display between :70 and :99" >&2
        exit 1
    fi
    # Xvfb is ready once its socket exists; it starts in well under a second, even emulated.
    for _ in $(seq 1 300); do
        [ -S "/tmp/.X11-unix/X${DISPLAY#:}" ] && break
        if ! kill -0 "$xvfb_pid" 2>/dev/null; then
            echo "wine-tests: Xvfb $DISPLAY ended at start" >&2
            exit 1
        fi
        sleep 0.1
    done
fi

key="$("$here/wine-prefix.sh" --key)"
if [ "$(cat "$cache/.lumo-prefix" 2>/dev/null)" = "$key" ] && [ -f "$cache/system.reg" ]; then
    if [ "${LUMO_WINE_PREFIX_IN_PLACE:-0}" = 1 ]; then
        export WINEPREFIX="$cache"
    else
        rm -rf "$WINEPREFIX"
        cp -a "$cache" "$WINEPREFIX"
    fi
    echo "=== wine-tests: prefix reused from $cache"
else
    echo "=== wine-tests: making the $arch prefix (once per Wine version)"
    export LUMO_WINE_PREFIX_SAVE="${LUMO_WINE_PREFIX_SAVE:-$cache}"
    rm -rf "$WINEPREFIX"
fi
"$here/wine-prefix.sh" || { echo "wine-tests: the Wine prefix could not be made" >&2; exit 1; }

keepalive="$build_dir/tests/wine-keepalive.exe"
if [ -f "$keepalive" ]; then
    "$LUMO_WINE" "$keepalive" </dev/null >/dev/null 2>&1 &
    keepalive_pid=$!
    # Once one more process has come and gone, Wine's services are up for the tests.
    ready_started=$SECONDS
    "$LUMO_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
    echo "=== wine-tests: Wine session up in $((SECONDS - ready_started)) s"
else
    echo "wine-tests: $keepalive was not built; every test process restarts Wine's services" >&2
fi

started=$SECONDS
(cd "$LUMO_ROOT" && ctest --preset "$preset" "$@") 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
echo "=== wine-tests: ctest ended with status $status after $((SECONDS - started)) s"
exit "$status"
