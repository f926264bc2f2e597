#!/bin/bash
# Checks the packages scripts/package.sh made, as users get them:
#
#   tests/packaging/package-tests.sh PACKAGES_FOLDER
#
#   deb-contents     the programs in /usr/bin, the desktop entry, the AppStream metadata, the
#                    manual pages, the copyright file; dependencies computed from the binaries
#   deb-icons        the icon in every size folder of the theme, each PNG of its folder's size
#   deb-lintian      lintian reports no errors
#   deb-desktop      desktop-file-validate accepts the desktop entry
#   deb-appstream    appstreamcli accepts the AppStream metadata
#   windows-files    each Windows build: installer and portable zip, of the right architecture,
#                    the zip holding the programs with the version in their version resource
#   deb-minimal-root (root) the package installed with apt-get into a minimal Debian system, not
#                    this machine: its Depends fetched from the mirror, every library found, its
#                    programs run there and the display shows text; purged cleanly
#                    (tests/packaging/minimal_root_test.sh)
#   win64-installer  the 64-bit installer under Wine (tests/packaging/wine_installer_test.py)
#   win32-installer  the same for the shipped 32-bit installer, where this machine's kernel runs
#                    32-bit programs (scripts/wine-probe.sh; else it says why it did not run)
#
# Ends with CTest's summary line, so that scripts/test.sh counts the checks; exit status 0 when
# all passed.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../../scripts/common.sh"

if [ $# -ne 1 ]; then
    echo "usage: $0 PACKAGES_FOLDER" >&2
    exit 2
fi
packages="$(cd "$1" && pwd)"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$LUMO_BUILD/linux/CMakeCache.txt")"
deb="$packages/lumo_${version}_$(dpkg --print-architecture).deb"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
failures=()
# check NAME COMMAND...: runs one check, its output indented.
check() {
    local name="$1"
    shift
    local started=$SECONDS
    echo "--- $name"
    if "$@" 2>&1 | sed 's/^/    /'; [ "${PIPESTATUS[0]}" -eq 0 ]; then
        echo "ok   $name ($((SECONDS - started)) s)"
        passed=$((passed + 1))
    else
        echo "FAIL $name ($((SECONDS - started)) s)"
        failed=$((failed + 1))
        failures+=("$name")
    fi
}

deb_contents() {
    [ -f "$deb" ] || { echo "no $deb"; return 1; }
    dpkg-deb -x "$deb" "$work/root" || return 1
    local missing=0 path
    for path in usr/bin/lumo usr/bin/lumo-syx usr/bin/lumo-send \
        usr/share/applications/com.vantor.lumo.desktop usr/share/metainfo/com.vantor.lumo.metainfo.xml \
        usr/share/man/man1/lumo.1.gz usr/share/man/man1/lumo-syx.1.gz usr/share/man/man1/lumo-send.1.gz \
        usr/share/doc/lumo/copyright usr/share/doc/lumo/changelog.gz; do
        [ -f "$work/root/$path" ] || { echo "missing /$path"; missing=1; }
    done
    local depends
    depends="$(dpkg-deb -f "$deb" Depends)"
    echo "Depends: $depends"
    # What the binaries link, as dpkg-shlibdeps found it: the C library, the JACK client library, X.
    local lib
    for lib in libc6 libjack libx11-6 libfreetype6; do
        grep -q "$lib" <<<"$depends" || { echo "Depends lacks $lib"; missing=1; }
    done
    # Without fontconfig's configuration and a font, a minimal system draws no text at all.
    local font
    for font in fontconfig-config fonts-dejavu-core; do
        grep -qw -- "$font" <<<"$depends" || { echo "Depends lacks $font"; missing=1; }
    done
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || { echo "package version is not $version"; missing=1; }
    return $missing
}

deb_icons() {
    local bad=0 size file got
    for size in 16 22 24 32 48 64 128 256; do
        file="$work/root/usr/share/icons/hicolor/${size}x${size}/apps/lumo.png"
        got="$(identify -format '%wx%h' "$file" 2>/dev/null)"
        [ "$got" = "${size}x${size}" ] || { echo "$file: ${got:-missing}"; bad=1; }
    done
    grep -qx 'Icon=lumo' "$work/root/usr/share/applications/com.vantor.lumo.desktop" \
        || { echo "the desktop entry does not name the icon lumo"; bad=1; }
    return $bad
}

windows_files() {
    local bad=0 arch pe name
    for arch in win32 win64; do
        name="lumo-$version-$arch"
        case "$arch" in win32) pe="PE32 executable" ;; win64) pe="PE32+ executable" ;; esac
        file -b "$packages/$name-setup.exe" | grep -q "^$pe" || { echo "$name-setup.exe is not a $pe"; bad=1; }
        rm -rf "$work/$arch"
        mkdir -p "$work/$arch"
        unzip -q "$packages/$name-portable.zip" -d "$work/$arch" || { echo "cannot unpack $name-portable.zip"; bad=1; continue; }
        local exe
        for exe in lumo.exe lumo-syx.exe lumo-send.exe; do
            file -b "$work/$arch/$name/$exe" | grep -q "^$pe" || { echo "$name-portable.zip: $exe is not a $pe"; bad=1; }
        done
        [ -f "$work/$arch/$name/LICENSE.txt" ] || { echo "$name-portable.zip: no LICENSE.txt"; bad=1; }
        # The version resource is UTF-16: "FileVersion" then the version in four parts.
        strings -el "$work/$arch/$name/lumo.exe" | grep -A1 -x FileVersion | grep -qx "$version\(\.0\)*" \
            || { echo "$name: lumo.exe's version resource does not say $version"; bad=1; }
    done
    return $bad
}

check deb-contents deb_contents
check deb-icons deb_icons
check deb-lintian lintian --fail-on error "$deb"
check deb-desktop desktop-file-validate "$work/root/usr/share/applications/com.vantor.lumo.desktop"
check deb-appstream appstreamcli validate --no-net "$work/root/usr/share/metainfo/com.vantor.lumo.metainfo.xml"
check windows-files windows_files
if [ "$(id -u)" -eq 0 ]; then
    check deb-minimal-root "$here/minimal_root_test.sh" "$deb" "$version" "$LUMO_BUILD/package-tests/minimal-root" \
        "$LUMO_BUILD/linux/lumo-relay"
else
    echo "--- deb-minimal-root NOT RUN: making and entering the minimal Debian root needs root"
fi
check win64-installer python3 "$here/wine_installer_test.py" "$packages/lumo-$version-win64-setup.exe" "$version" \
    "$LUMO_BUILD/package-tests/win64-installer"
if why="$("$here/../../scripts/wine-probe.sh")"; then
    check win32-installer python3 "$here/wine_installer_test.py" "$packages/lumo-$version-win32-setup.exe" \
        "$version" "$LUMO_BUILD/package-tests/win32-installer" win32
else
    echo "--- win32-installer NOT RUN: $why"
fi

total=$((passed + failed))
echo
[ $failed -eq 0 ] || echo "failed: ${failures[*]}"
echo "$((total ? passed * 100 / total : 0))% tests passed, $failed tests failed out of $total"
[ $failed -eq 0 ]
