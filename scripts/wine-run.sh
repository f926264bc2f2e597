#!/bin/bash
# Runs a Windows executable under Wine for CTest and for the scripts.
#
# The Wine prefix is created on first use by scripts/wine-prefix.sh (see scripts/wine-env.sh for
# the prefix and loader). When LUMO_WINE_SENTINEL is set, the run only passes if the program
# printed that text: a crash on a secondary thread can end a Wine process with status 0.
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/wine-env.sh"

# Wine creates windows (the hidden message windows included) only with an X display.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$here/wine-prefix.sh" >&2 || exit 1
fi

if [ -z "${LUMO_WINE_SENTINEL:-}" ]; then
    exec "$LUMO_WINE" "$@"
fi

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
"$LUMO_WINE" "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
    exit "$status"
fi
if ! grep -qF "$LUMO_WINE_SENTINEL" "$log"; then
    echo "wine-run: the program ended with status 0 but never printed its completion line;" \
         "treating the run as crashed" >&2
    exit 99
fi
exit 0
