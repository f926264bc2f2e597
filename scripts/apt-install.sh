#!/bin/bash
# apt-install.sh [--target SUITE] PACKAGE...: installs the packages non-interactively, with apt's
# candidates taken from SUITE where it has them. Apart from setup-debian.sh so that its resolution
# can be tried against a test repository (APT_CONFIG points apt at another root; with
# LUMO_APT_SIMULATE=1 apt only works out what it would do).
set -euo pipefail
target=()
if [ "${1:-}" = --target ]; then
    target=(-t "$2")
    shift 2
fi
simulate=()
if [ "${LUMO_APT_SIMULATE:-0}" = 1 ]; then
    simulate=(-s)
fi
sudo=()
if [ "$(id -u)" -ne 0 ] && [ "${LUMO_APT_SIMULATE:-0}" != 1 ]; then
    sudo=(sudo)
fi
"${sudo[@]}" env ${APT_CONFIG:+APT_CONFIG="$APT_CONFIG"} DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q "${simulate[@]}" "${target[@]}" "$@"
