#!/bin/bash
# Black-box tests of lumo-send: lumo-send-tests.sh CASE LUMO_SEND LUMO_RELAY [LUMO_SYX]
# Each case starts its own JACK server (never the user's) and a relay that records what arrives.
# The case lumo-syx-port also runs lumo-syx --port on the relay's output.
set -u
case_name=$1
send=$2
relay=$3
syx=${4:-}

scratch=$(mktemp -d)
# A name used once: a killed server's semaphores stay behind, and a later server of the same name
# (a recycled process id) would open them with stale counts.
server="lumo-send-test-$$-$(date +%s%N | tail -c 10)"
export JACK_DEFAULT_SERVER=$server JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
jackd_pid=""
relay_pid=""
cleanup() {
    [ -n "$relay_pid" ] && kill "$relay_pid" 2>/dev/null && wait "$relay_pid" 2>/dev/null
    [ -n "$jackd_pid" ] && kill "$jackd_pid" 2>/dev/null && wait "$jackd_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }

start_server() {
    jackd --no-realtime --sync -t 5000 -n "$server" -d dummy -r 48000 -p 256 >"$scratch/jackd.log" 2>&1 &
    jackd_pid=$!
    # The relay connects once the server accepts clients; it prints "ready" then.
    for _ in $(seq 1 200); do
        "$relay" device "$scratch/received.bin" >"$scratch/relay.out" 2>/dev/null &
        relay_pid=$!
        for _ in $(seq 1 50); do
            grep -q '^ready' "$scratch/relay.out" 2>/dev/null && return 0
            kill -0 "$relay_pid" 2>/dev/null || break
            sleep 0.02
        done
        kill "$relay_pid" 2>/dev/null; wait "$relay_pid" 2>/dev/null; relay_pid=""
        sleep 0.05
    done
    fail "JACK server did not start"
}

# run EXPECTED_STATUS ARGS...: runs lumo-send, keeps its output in $out / $err.
run() {
    local expected=$1; shift
    "$send" "$@" >"$scratch/out" 2>"$scratch/err"
    local status=$?
    out=$(cat "$scratch/out"); err=$(cat "$scratch/err")
    [ "$status" -eq "$expected" ] || fail "lumo-send $* exited $status, expected $expected; stderr: $err"
}

received_hex() { od -An -tx1 -v "$scratch/received.bin" 2>/dev/null | tr -s ' \n' ' ' | sed 's/^ //;s/ $//'; }

expect_received() {
    for _ in $(seq 1 250); do
        [ "$(received_hex)" = "$1" ] && return 0
        sleep 0.02
    done
    fail "received '$(received_hex)', expected '$1'"
}

case "$case_name" in
usage)
    run 2
    grep -q 'usage: lumo-send --list' <<<"$err" || fail "no usage text"
    ;;
help)
    # Usage on standard output, status 0, whatever else is on the line; no server needed.
    for args in "--help" "-h" "--port x --help" "--list -h"; do
        # shellcheck disable=SC2086
        run 0 $args
        grep -q '^usage: lumo-send --list' <<<"$out" || fail "lumo-send $args: no usage text on stdout: $out"
        grep -q -- '--program N' <<<"$out" || fail "lumo-send $args: the options are not described: $out"
        [ -z "$err" ] || fail "lumo-send $args wrote to stderr: $err"
    done
    ;;
version)
    # Needs no server: no JACK server runs in this case.
    run 0 --version
    [ "$out" = "lumo-send ${LUMO_EXPECTED_VERSION:?}" ] || fail "version line: $out"
    run 2 --version --list
    ;;
bad-options)
    run 2 --port x --bogus
    run 2 --port x --program 128
    run 2 --port x --program 1 --channel 17
    run 2 --port x --text A
    run 2 --text A B
    run 2 --port x --channel 2 --text A B
    ;;
list)
    start_server
    run 0 --list
    grep -qx 'device:in' <<<"$out" || fail "device:in not listed: $out"
    grep -q 'device:out' <<<"$out" && fail "a source listed as destination: $out"
    ;;
text)
    start_server
    run 0 --port device:in --text "HELLO 1" "A+B"
    # F0 77, HELLO 1 (padded), A+B (padded), 75 F7
    expect_received "f0 77 08 05 0c 0c 0f 00 1d 00 01 2f 02 00 00 00 00 00 75 f7"
    ;;
program)
    start_server
    run 0 --port device:in --program 5
    expect_received "c0 05"
    ;;
program-channel)
    start_server
    run 0 --port device:in --program 127 --channel 16
    expect_received "cf 7f"
    ;;
bad-character)
    run 2 --port device:in --text "hallo" "X"
    grep -q "'h'" <<<"$err" || fail "the character is not named: $err"
    ;;
line-too-long)
    run 2 --port device:in --text "ABCDEFGHI" "X"
    grep -q 'longer than 8' <<<"$err" || fail "no reason given: $err"
    ;;
dump-files)
    start_server
    printf '\xf0\x77\x01\x02\x75\xf7\xc0\x03' >"$scratch/a.syx"
    printf '\x90\x3c\x40' >"$scratch/b.syx"
    run 0 --port device:in "$scratch/a.syx" "$scratch/b.syx"
    expect_received "f0 77 01 02 75 f7 c0 03 90 3c 40"
    ;;
unknown-port)
    start_server
    run 1 --port nowhere:in --program 1
    grep -q 'no MIDI port named "nowhere:in"' <<<"$err" || fail "unclear message: $err"
    ;;
lumo-syx-port)
    # lumo-syx --port on the relay's output prints, line for line, what lumo-syx prints for the
    # file of the same messages (the relay records them), --channel and --settings included.
    start_server
    printf '[Program Names]\nProgram3=LIVE\n' >"$scratch/names.qrcf"
    printf '\xf0\x77\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x75\xf7' >"$scratch/d.syx"
    "$syx" --port device:out --channel 2 --settings "$scratch/names.qrcf" >"$scratch/live.txt" 2>"$scratch/live.err" &
    syx_pid=$!
    for _ in $(seq 1 250); do
        "$send" --list 2>/dev/null | grep -q '^lumo-syx:' && break
        sleep 0.02
    done
    run 0 --port device:in --text HELLO "PORT 1"
    run 0 --port device:in --program 2 --channel 2
    run 0 --port device:in --program 4 --channel 1
    run 0 --port device:in "$scratch/d.syx"
    last="c0 04 f0 77 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 75 f7"
    for _ in $(seq 1 250); do
        [[ "$(received_hex)" == *"$last" ]] && break
        sleep 0.02
    done
    [[ "$(received_hex)" == *"c1 02 $last" ]] || fail "the relay received '$(received_hex)'"
    "$syx" --channel 2 --settings "$scratch/names.qrcf" "$scratch/received.bin" >"$scratch/file.txt" \
        || fail "lumo-syx on the recorded file failed"
    [ "$(wc -l <"$scratch/file.txt")" -eq 3 ] || fail "the file gives 3 lines, not: $(cat "$scratch/file.txt")"
    for _ in $(seq 1 250); do
        [ "$(wc -l <"$scratch/live.txt")" -ge 3 ] && break
        sleep 0.02
    done
    kill -TERM "$syx_pid"
    wait "$syx_pid"
    status=$?
    [ "$status" -eq 0 ] || fail "lumo-syx --port exited $status on SIGTERM: $(cat "$scratch/live.err")"
    diff "$scratch/file.txt" "$scratch/live.txt" || fail "the live lines differ from the file's"
    "$send" --list 2>/dev/null | grep -q '^lumo-syx:' && fail "lumo-syx left its port behind"
    ;;
no-server)
    run 1 --port device:in --program 1
    grep -q 'no JACK server' <<<"$err" || fail "unclear message: $err"
    # Each MIDI system says in one line that it is absent (or, with a sequencer, there is no
    # such port on it).
    if [ -e /dev/snd/seq ]; then
        grep -q 'no MIDI port named "device:in"' <<<"$err" || fail "unclear message: $err"
    else
        grep -q 'no ALSA sequencer' <<<"$err" || fail "unclear message: $err"
    fi
    [ "$(wc -l <"$scratch/err")" -eq 2 ] || fail "not one line per MIDI system: $err"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac

# lumo-send must leave the server as it found it: a client that exits without closing stalls a
# synchronous server's cycles until its time-out, and the server logs the failed notifications.
if [ -n "$jackd_pid" ]; then
    kill "$relay_pid" 2>/dev/null
    for _ in $(seq 1 500); do
        kill -0 "$relay_pid" 2>/dev/null || break
        sleep 0.02
    done
    kill -0 "$relay_pid" 2>/dev/null && fail "the relay did not stop within 10 s: the server is stalled"
    wait "$relay_pid" 2>/dev/null; relay_pid=""
    stalls=$(grep -E 'ClientNotify fails|SuspendRefNum error|wait error' "$scratch/jackd.log")
    [ -z "$stalls" ] || fail "a client left the server without closing: $stalls"
fi
echo "PASS: $case_name"
