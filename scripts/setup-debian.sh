#!/bin/bash
# Installs every Debian 12 package the project needs: native and cross toolchains, JUCE, the test
# frameworks, Wine for the Windows tests and the X tools for the windowed tests.
# Installs only what is missing (apt-get update, retried, then one install). Safe to run again.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

packages=(
    # build
    cmake ninja-build g++ pkg-config ccache
    # tests and benchmarks (GoogleTest is built from its sources, see tests/CMakeLists.txt)
    googletest libbenchmark-dev
    # the fuzz targets (scripts/fuzz.sh): clang with libFuzzer and the sanitizer runtimes
    clang libclang-rt-14-dev
    # JUCE and what its GUI modules link on Linux
    juce-modules-source libfreetype-dev libfontconfig1-dev libx11-dev libxext-dev libxrandr-dev
    libxinerama-dev libxcursor-dev libpng-dev libjpeg-dev zlib1g-dev
    # 32-bit Windows cross build; libpng/libjpeg for it are built from Debian's source packages
    g++-mingw-w64-i686-posix libz-mingw-w64-dev dpkg-dev
    # a 64-bit Windows build of the same sources, for Wine's 64-bit loader
    g++-mingw-w64-x86-64-posix
    # running the Windows builds: 32-bit Wine with GL so that windows can be created, and 64-bit Wine
    wine wine32 wine64 libgl1:i386 libgl1-mesa-dri:i386
    # windowed tests and screenshots
    xvfb xauth xdotool x11-utils imagemagick fonts-dejavu-core python3
    # the face the front-plate generator letters the plate with
    fonts-urw-base35
    # the test VM (scripts/vm/): qemu boots the distribution's kernel, which is downloaded and
    # unpacked, not installed; busybox-static is the initramfs; cpio/xz/zstd pack and unpack,
    # kmod works out the order modules load in (depmod) and loads them in the guest (modprobe)
    qemu-system-x86 busybox-static cpio xz-utils zstd kmod
    # the Linux MIDI system: the JACK server and its client library
    jackd2 libjack-jackd2-dev
    # the ALSA sequencer backend (its tests run in the test VM, whose kernel has the sequencer)
    libasound2-dev
    # the packages (scripts/package.sh) and their checks: Windows installers, portable zips, the
    # Debian package's checker and the validators of its desktop entry and AppStream metadata
    nsis zip unzip file lintian desktop-file-utils appstream
    # the minimal Debian system the package is installed into for its check (scripts/debian-root.sh)
    mmdebstrap
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
# Nothing to fetch when everything is installed: a mirror in the middle of a sync must not stop a
# run that needs nothing from it.
missing=()
for package in "${packages[@]}"; do
    if [ "$(dpkg-query -W -f '${db:Status-Status}' "$package" 2>/dev/null)" != installed ]; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all ${#packages[@]} packages are installed"
    exit 0
fi
echo "setup: installing ${missing[*]}"
# A mirror caught mid-sync serves index files that fail their checks, sometimes for hours.
update_log="$(mktemp)"
trap 'rm -f "$update_log"' EXIT
for attempt in 1 2 3; do
    if $sudo apt-get update -q 2>&1 | tee "$update_log" && ! grep -q '^E: ' "$update_log"; then
        break
    fi
    echo "setup: apt-get update failed (attempt $attempt of 3)" >&2
    [ "$attempt" -lt 3 ] && sleep 20
done
# release_suite: the distribution's release suite ("bookworm"), which every mirror serves whole.
release_suite() {
    . /etc/os-release && echo "${VERSION_CODENAME:?}"
}
# The release suite's name is taken from this system, the fallback itself is apt-install.sh's.
"$here/apt-install.sh" --release "$(release_suite)" "${missing[@]}"
