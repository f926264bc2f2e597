# Sourced by the Wine scripts: picks the Wine loader and prefix for LUMO_WINE_ARCH.
#   win32 (default): the product's 32-bit build, run by Wine's 32-bit loader.
#   win64: a 64-bit build of the same sources, run by Wine's 64-bit loader. It runs where the
#          kernel cannot execute 32-bit programs, so the Windows code paths still run somewhere.
# shellcheck shell=bash
lumo_wine_here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ "${LUMO_WINE_ARCH:-win32}" = win64 ]; then
    export WINEPREFIX="${WINEPREFIX:-$lumo_wine_here/../build/wineprefix64}"
    export WINELOADER=/usr/lib/wine/wine64
    LUMO_WINE=/usr/lib/wine/wine64
else
    export WINEPREFIX="${WINEPREFIX:-$lumo_wine_here/../build/wineprefix}"
    # A plain 32-bit prefix: the product is 32-bit only, and a 64-bit prefix with 32-bit support
    # takes several times as long to create.
    export WINEARCH=win32
    LUMO_WINE=wine
fi
