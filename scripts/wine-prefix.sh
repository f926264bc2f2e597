#!/bin/bash
# Creates a Wine prefix for the test runs (see scripts/wine-env.sh for which one) and starts a
# persistent wineserver, so that CTest does not wait on Wine's background processes.
# Idempotent within one run.
set -eu
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/wine-env.sh"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$LUMO_WINE" wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
    # A crash must end the process instead of waiting for someone to close the debugger dialog.
    "$LUMO_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >/dev/null 2>&1
    # JUCE asks for this monospaced face; map it to the one Debian installs.
    "$LUMO_WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Bitstream Vera Sans Mono' \
        /t REG_SZ /d 'DejaVu Sans Mono' /f >/dev/null 2>&1
    # Wine has no "Courier New", which every Windows machine has and the display lines ask for:
    # without this the screenshots would show a proportional face no Windows user sees.
    "$LUMO_WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' \
        /t REG_SZ /d 'DejaVu Sans Mono' /f >/dev/null 2>&1
    wineserver -w || true
fi
# Keep the server alive between the test processes of one run.
wineserver -p10 || true
"$LUMO_WINE" cmd /c exit >/dev/null 2>&1 || true
