#!/bin/bash
# Runs a test executable against the real ALSA sequencer inside one boot of the test VM: the
# guest kernel loads snd-seq and snd-seq-dummy ("Midi Through") before the command; tests may
# load more (snd-virmidi) with modprobe. The library's configuration (/usr/share/alsa/alsa.conf)
# and the executable come from the host's root, which the guest shares.
#
#   scripts/vm/alsa-tests.sh EXECUTABLE [ARG...]
#
# Exit status: the executable's; 77 (CTest's skip) only where qemu or the guest kernel package
# cannot be had; run.sh's 124/125 when the VM timed out or broke.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../common.sh"

[ $# -ge 1 ] || { echo "usage: $0 EXECUTABLE [ARG...]" >&2; exit 2; }
qemu="${LUMO_VM_QEMU:-qemu-system-x86_64}"
if ! command -v "$qemu" >/dev/null; then
    echo "SKIP: $qemu is not installed (scripts/setup-debian.sh installs qemu-system-x86)"
    exit 77
fi
if ! "$here/kernel.sh" >/dev/null; then
    echo "SKIP: the guest kernel package could not be had (see above)"
    exit 77
fi
[ -f /usr/share/alsa/alsa.conf ] || { echo "alsa.conf is missing (libasound2-data)" >&2; exit 1; }
exec "$here/run.sh" --modules snd-seq,snd-seq-dummy --timeout "${LUMO_ALSA_VM_TIMEOUT:-600}" -- "$@"
