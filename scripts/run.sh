#!/bin/bash
# The main job: installs what the project needs, builds the Linux program and runs it.
#
# MIDI on Linux goes through JACK. When no JACK server is running, this starts a private one for
# the session with the program's "MIDI Input" bound to its own port "LUMO In", and plays a short
# demo straight into lumo:LUMO In with lumo-send, so the display changes on its own.
# Everything started here is stopped when the program quits. With a server already running, the
# program uses that one and no demo is played.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/common.sh"

if [ "${LUMO_SKIP_SETUP:-0}" != 1 ]; then
    "$here/setup-debian.sh"
fi
# build/run (CMakePresets.json): the program and its tools without the tests, beside the test
# trees so that neither command undoes the other's configuration.
lumo_build run

# What the module would show for each message of the bundled sample dump.
echo "=== lumo-syx tools/lumo-syx/samples/demo.syx"
"$LUMO_BUILD/run/lumo-syx" "$LUMO_ROOT/tools/lumo-syx/samples/demo.syx"

bin="$LUMO_BUILD/run"
lumo="$bin/app/lumo"
session=$(mktemp -d)
started_pids=()
cleanup() {
    local pid
    for pid in "${started_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$session"
}
trap cleanup EXIT

export JACK_NO_START_SERVER=1
demo=0
if "$bin/lumo-send" --list >/dev/null 2>&1; then
    echo "=== using the running JACK server"
else
    export JACK_DEFAULT_SERVER="lumo-session-$$" JACK_NO_AUDIO_RESERVATION=1
    echo "=== no JACK server running: starting a private one ($JACK_DEFAULT_SERVER) with a demo"
    jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 256 >"$session/jackd.log" 2>&1 &
    started_pids+=($!)
    for _ in $(seq 1 100); do
        "$bin/lumo-send" --list >/dev/null 2>&1 && break
        kill -0 "${started_pids[0]}" 2>/dev/null || break
        sleep 0.1
    done
    "$bin/lumo-send" --list >/dev/null 2>&1 || { echo "the JACK server did not start; see $session/jackd.log"; exit 1; }
    # The program reads its settings next to itself: a copy in the session folder with the binding.
    cp "$lumo" "$session/lumo"
    lumo="$session/lumo"
    printf '[MIDI.alias]\nName0=MIDI Input\nDevice0=1:LUMO In\n' >"$session/lumo.qrcf"
    demo=1
fi

# Plays the demo once the program's input is open: display texts and Program Changes.
play_demo() {
    for _ in $(seq 1 150); do
        "$bin/lumo-send" --list 2>/dev/null | grep -qx 'lumo:LUMO In' && break
        sleep 0.1
    done
    local step
    for step in "HELLO|JACK" "LUMO|ON LINUX" "PROGRAM|CHANGE"; do
        "$bin/lumo-send" --port "lumo:LUMO In" --text "${step%%|*}" "${step##*|}" || return
        sleep 1
    done
    "$bin/lumo-send" --port "lumo:LUMO In" --program 1 || return
    echo "=== demo played: display texts and a Program Change through lumo-send"
}

if [ -n "${DISPLAY:-}" ]; then
    echo "=== starting $lumo"
    [ "$demo" = 1 ] && { play_demo & started_pids+=($!); }
    "$lumo" "$@"
    exit $?
fi

# Without a display, show the window on a virtual one for a moment and keep a screenshot of it
# (after the demo, when one plays: it marks its end with a file).
shot="$LUMO_BUILD/run/main-window.png"
echo "=== no X display: running $lumo on a virtual display; screenshot in $shot"
done_mark="$session/demo-done"
[ "$demo" = 1 ] && { (play_demo; touch "$done_mark") & started_pids+=($!); }
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1" & pid=$!
    if [ "$3" = 1 ]; then
        for _ in $(seq 1 300); do [ -e "$4" ] && break; sleep 0.1; done
        sleep 1
    else
        sleep 4
    fi
    import -window root "$2"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
' run "$lumo" "$shot" "$demo" "$done_mark"
echo "=== done"
