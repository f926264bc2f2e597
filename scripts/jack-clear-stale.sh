#!/bin/bash
# Clears the JACK state that servers killed during tests leave in /dev/shm, when nothing uses JACK.
#
# Every JACK server takes one of eight slots in the machine-wide registry (/dev/shm/jack-shm-registry)
# and gives it back when it stops. A server that is killed keeps its slot until a server of the same
# name starts again; the tests name their servers uniquely, so on a machine that runs them often the
# slots run out ("Too many servers already active") and a stale metadata database makes every client
# print Berkeley DB errors. Nothing is removed while any process still maps a JACK file or any JACK
# server runs, so a user's own server is never touched.
set -u
shm=/dev/shm
[ -d "$shm" ] || exit 0
compgen -G "$shm/jack*" >/dev/null || exit 0

if pgrep -x 'jackd|jackdbus|pipewire' >/dev/null 2>&1; then
    echo "jack-clear-stale: a JACK or PipeWire server is running; leaving /dev/shm as it is"
    exit 0
fi
for maps in /proc/[0-9]*/maps; do
    if grep -q "$shm/jack" "$maps" 2>/dev/null; then
        pid=${maps#/proc/}; pid=${pid%/maps}
        echo "jack-clear-stale: process $pid still uses JACK; leaving /dev/shm as it is"
        exit 0
    fi
done

uid=$(id -u)
removed=0
for path in "$shm/jack-shm-registry" "$shm/jack-$uid-"* "$shm/jack_db-$uid" \
            "$shm/jack_sem.${uid}_"* "$shm/jack_"*"_${uid}_"*; do
    [ -e "$path" ] || [ -S "$path" ] || continue
    # Only what this user owns; the registry is shared, but nothing maps it now.
    [ -O "$path" ] || [ "$path" = "$shm/jack-shm-registry" ] || continue
    rm -rf "$path" 2>/dev/null && removed=$((removed + 1))
done
[ "$removed" -gt 0 ] && echo "jack-clear-stale: removed $removed stale JACK files from $shm"
exit 0
