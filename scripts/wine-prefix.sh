#!/bin/bash
# Creates the Wine prefix for the test runs (see scripts/wine-env.sh for which one) and starts a
# persistent wineserver, so that CTest does not wait on Wine's background processes.
#
# A prefix made here carries a stamp (.lumo-prefix) naming the Wine version, the architecture and
# this script's contents; one with another stamp, or none, is made anew. With
# LUMO_WINE_PREFIX_SAVE=DIR a copy of a newly made prefix, taken before anything ran in it, is
# saved to DIR for later runs (as one tar archive where DIR ends in ".tar"). `wine-prefix.sh --key` prints the stamp a prefix needs.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/wine-env.sh"

key="arch=${LUMO_WINE_ARCH:-win32} wine=$(dpkg-query -W -f '${Version}' wine 2>/dev/null || echo unknown)"
key="$key script=$(sha256sum "$here/wine-prefix.sh" | cut -c1-16)"
if [ "${1:-}" = --key ]; then
    echo "$key"
    exit 0
fi

# reg_add ARGS...: one registry value; a refusal (the prefix's services still settling) is tried
# again before the prefix counts as broken.
reg_add() {
    for attempt in 1 2 3; do
        if "$LUMO_WINE" reg add "$@" /f >/dev/null 2>&1; then
            return 0
        fi
        echo "wine-prefix: reg add $1 /v $3 failed (attempt $attempt of 3)" >&2
        sleep 2
    done
    return 1
}

if [ ! -f "$WINEPREFIX/system.reg" ] || [ "$(cat "$WINEPREFIX/.lumo-prefix" 2>/dev/null)" != "$key" ]; then
    started=$SECONDS
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$LUMO_WINE" wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine-prefix: wineboot made no prefix in $WINEPREFIX" >&2
        exit 1
    fi
    # A crash must end the process instead of waiting for someone to close the debugger dialog.
    reg_add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
    # JUCE asks for this monospaced face; map it to the one Debian installs.
    reg_add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Bitstream Vera Sans Mono' /t REG_SZ /d 'DejaVu Sans Mono'
    # Wine has no "Courier New", which every Windows machine has and the display lines ask for:
    # without this the screenshots would show a proportional face no Windows user sees.
    reg_add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /t REG_SZ /d 'DejaVu Sans Mono'
    # The virtual display has no window manager. Wine's windows are managed ones by default and
    # then wait up to 2 s each for a manager to confirm every hide (14 s at every quit), and the
    # keyboard follows the manager's focus, which nobody moves: Wine handles both itself here.
    reg_add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N
    # The registry is on disk once the server has ended.
    wineserver -w || true
    echo "$key" >"$WINEPREFIX/.lumo-prefix"
    echo "wine-prefix: made $WINEPREFIX (${LUMO_WINE_ARCH:-win32}) in $((SECONDS - started)) s" >&2
    if [[ "${LUMO_WINE_PREFIX_SAVE:-}" == *.tar ]]; then
        # One archive streams through the test VM's shared folder in a fraction of the time its
        # thousand files take one by one.
        saved=$SECONDS
        tar -C "$WINEPREFIX" -cf "$LUMO_WINE_PREFIX_SAVE.new" .
        mv "$LUMO_WINE_PREFIX_SAVE.new" "$LUMO_WINE_PREFIX_SAVE"
        echo "wine-prefix: saved an archive as $LUMO_WINE_PREFIX_SAVE in $((SECONDS - saved)) s" >&2
    elif [ -n "${LUMO_WINE_PREFIX_SAVE:-}" ]; then
        rm -rf "$LUMO_WINE_PREFIX_SAVE.new"
        mkdir -p "$(dirname "$LUMO_WINE_PREFIX_SAVE")"
        cp -a "$WINEPREFIX" "$LUMO_WINE_PREFIX_SAVE.new"
        rm -rf "$LUMO_WINE_PREFIX_SAVE"
        mv "$LUMO_WINE_PREFIX_SAVE.new" "$LUMO_WINE_PREFIX_SAVE"
        echo "wine-prefix: saved a copy in $LUMO_WINE_PREFIX_SAVE" >&2
    fi
fi
# Keep the server alive between the test processes of one run.
wineserver -p10 || true
"$LUMO_WINE" cmd /c exit >/dev/null 2>&1 || true
