#!/bin/bash
# Makes the packages users install, from the build trees of scripts/test.sh:
#
#   scripts/package.sh [--no-build] [linux] [win32] [win64]     (default: all three)
#
#   linux  build/packages/lumo_<version>_amd64.deb                (CPack, build/linux)
#   win32  build/packages/lumo-<version>-win32-setup.exe          (makensis, build/win32)
#          build/packages/lumo-<version>-win32-portable.zip
#   win64  the same for build/win64
#
# Each tree is configured and built first from its preset of CMakePresets.json (as scripts/test.sh
# does; nothing to do when it is up to date) unless --no-build is given. Prints the packages made; exits non-zero if one failed.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/common.sh"

build=1
trees=()
for arg in "$@"; do
    case "$arg" in
    --no-build) build=0 ;;
    linux | win32 | win64) trees+=("$arg") ;;
    *)
        echo "usage: $0 [--no-build] [linux] [win32] [win64]" >&2
        exit 2
        ;;
    esac
done
[ ${#trees[@]} -ne 0 ] || trees=(linux win32 win64)

out="$LUMO_BUILD/packages"
mkdir -p "$out"

configure_tree() {
    lumo_build "$1"
}

version_of() {
    sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$LUMO_BUILD/$1/CMakeCache.txt"
}

package_linux() {
    local dir="$LUMO_BUILD/linux"
    rm -rf "$dir/packages"
    (cd "$dir" && cpack -G DEB -B "$dir/packages") || return 1
    local deb
    deb="$(ls "$dir"/packages/lumo_*.deb 2>/dev/null | head -n 1)"
    [ -n "$deb" ] || { echo "package: CPack made no .deb" >&2; return 1; }
    cp "$deb" "$out/"
    echo "package: $out/$(basename "$deb")"
}

# package_windows TREE: the installer (makensis) and the portable zip, both from the files
# `cmake --install` puts into one folder.
package_windows() {
    local tree="$1" dir="$LUMO_BUILD/$1" version
    version="$(version_of "$tree")"
    local name="lumo-$version-$tree"
    local stage="$dir/stage/$name"
    rm -rf "$dir/stage"
    cmake --install "$dir" --prefix "$stage" --strip >/dev/null || return 1
    makensis -V2 -DSTAGE="$stage" -DOUTFILE="$out/$name-setup.exe" "$dir/packaging/lumo.nsi" || return 1
    rm -f "$out/$name-portable.zip"
    (cd "$dir/stage" && zip -q -r -X "$out/$name-portable.zip" "$name") || return 1
    echo "package: $out/$name-setup.exe"
    echo "package: $out/$name-portable.zip"
}

status=0
for tree in "${trees[@]}"; do
    if [ "$build" = 1 ]; then
        configure_tree "$tree" || { echo "package: building $tree failed" >&2; status=1; continue; }
    fi
    if [ "$tree" = linux ]; then
        package_linux || { echo "package: linux failed" >&2; status=1; }
    else
        package_windows "$tree" || { echo "package: $tree failed" >&2; status=1; }
    fi
done
exit $status
