#!/bin/bash
# Creates a fresh Wine prefix for the test runs and starts a persistent wineserver, so that CTest
# does not wait on Wine's background processes. Idempotent within one run.
set -eu
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/../build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
    # A crash must end the process instead of waiting for someone to close the debugger dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # JUCE asks for this monospaced face; map it to the one Debian installs.
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Bitstream Vera Sans Mono' /t REG_SZ \
        /d 'DejaVu Sans Mono' /f >/dev/null 2>&1
    wineserver -w || true
fi
# Keep the server alive between the test processes of one run.
wineserver -p10 || true
wine cmd /c exit >/dev/null 2>&1 || true
