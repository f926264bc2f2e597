#!/bin/bash
# CTest emulator of the 64-bit Windows build: scripts/wine-run.sh with Wine's 64-bit loader.
export LUMO_WINE_ARCH=win64
exec "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine-run.sh" "$@"
