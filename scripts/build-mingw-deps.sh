#!/bin/bash
# Builds the image libraries that JUCE's PNG and JPEG loaders need for the 32-bit Windows build,
# as static libraries, from Debian's own source packages (Debian ships no MinGW builds of them;
# zlib comes from libz-mingw-w64-dev).
#
#   build-mingw-deps.sh <work dir> <install prefix> <toolchain file>
#
# The sources are fetched with apt-get source through a private apt configuration inside the work
# dir, so the machine's apt setup is neither needed nor touched (dpkg-dev must be installed).
# A finished build leaves a stamp naming the source versions and the build settings; a second run
# with the same stamp does nothing, so reconfiguring costs nothing.
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 <work dir> <install prefix> <toolchain file>" >&2
    exit 2
fi
work="$(mkdir -p "$1" && cd "$1" && pwd)"
prefix="$(mkdir -p "$2" && cd "$2" && pwd)"
toolchain="$(cd "$(dirname "$3")" && pwd)/$(basename "$3")"

# Source packages and the Debian suites they are taken from. Changing any of this (or the build
# options below) changes the stamp and rebuilds.
packages=(libpng1.6 libjpeg-turbo)
suites="bookworm bookworm-updates"
security_suite="bookworm-security"
settings="static;no-simd;no-turbojpeg;no-tests;jpegint;v2"

stamp="$prefix/.lumo-deps-stamp"
wanted="${packages[*]}|$suites|$security_suite|$settings|$(sha256sum "$toolchain" | cut -c1-16)"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ] \
    && [ -f "$prefix/lib/libpng16.a" ] && [ -f "$prefix/lib/libjpeg.a" ] \
    && [ -f "$prefix/include/jpegint.h" ]; then
    echo "mingw deps: up to date in $prefix"
    exit 0
fi

for tool in apt-get dpkg-source cmake ninja; do
    if ! command -v "$tool" >/dev/null; then
        echo "mingw deps: '$tool' is missing (apt-get source needs dpkg-dev)" >&2
        exit 1
    fi
done

# --- private apt configuration: only deb-src entries, state and cache inside the work dir ---
apt_dir="$work/apt"
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/state/lists/partial" "$apt_dir/cache/archives/partial" \
    "$apt_dir/preferences.d"
cat >"$apt_dir/sources.list.d/debian-src.sources" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suites
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: $security_suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
: >"$apt_dir/sources.list"
apt_opts=(
    -o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::Etc::Preferences=$apt_dir/preferences"
    -o "Dir::Etc::PreferencesParts=$apt_dir/preferences.d"
    -o "Dir::State=$apt_dir/state"
    -o "Dir::State::status=/var/lib/dpkg/status"
    -o "Dir::Cache=$apt_dir/cache"
    -o "Debug::NoLocking=1"
    -o "APT::Sandbox::User=root"
)
echo "mingw deps: fetching ${packages[*]} sources"
apt-get "${apt_opts[@]}" -qq update
src_dir="$work/src"
rm -rf "$src_dir"
mkdir -p "$src_dir"
for pkg in "${packages[@]}"; do
    # The newest version (security updates included) if the mirror serves it, else the release's.
    if ! (cd "$src_dir" && apt-get "${apt_opts[@]}" -qq source "$pkg" >/dev/null 2>"$work/apt-$pkg.log"); then
        echo "mingw deps: warning: newest $pkg source not available" \
             "($(grep -m1 '^E:' "$work/apt-$pkg.log" || true)); using the bookworm release" >&2
        rm -rf "${src_dir:?}/$pkg"[-_]*
        (cd "$src_dir" && apt-get "${apt_opts[@]}" -qq source "$pkg/bookworm" >/dev/null)
    fi
done

find_source() {
    local dir
    dir="$(find "$src_dir" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n1)"
    if [ -z "$dir" ] || [ ! -f "$dir/CMakeLists.txt" ]; then
        echo "mingw deps: unpacked source of $1 not found in $src_dir" >&2
        exit 1
    fi
    echo "$dir"
}
png_src="$(find_source libpng1.6)"
jpeg_src="$(find_source libjpeg-turbo)"

common=(
    -G Ninja
    -DCMAKE_TOOLCHAIN_FILE="$toolchain"
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX="$prefix"
    -DCMAKE_POSITION_INDEPENDENT_CODE=OFF
)

echo "mingw deps: building libjpeg-turbo ($(basename "$jpeg_src"))"
rm -rf "$work/build-jpeg"
cmake -S "$jpeg_src" -B "$work/build-jpeg" "${common[@]}" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG8=OFF -DREQUIRE_SIMD=OFF >"$work/jpeg-configure.log" 2>&1 \
    || { tail -30 "$work/jpeg-configure.log" >&2; exit 1; }
cmake --build "$work/build-jpeg" >"$work/jpeg-build.log" 2>&1 \
    || { tail -30 "$work/jpeg-build.log" >&2; exit 1; }
cmake --install "$work/build-jpeg" >/dev/null
# JUCE's loader includes jpeglib.h with JPEG_INTERNALS defined, which pulls in this private header.
install -m 644 "$jpeg_src/jpegint.h" "$prefix/include/"

echo "mingw deps: building libpng ($(basename "$png_src"))"
rm -rf "$work/build-png"
cmake -S "$png_src" -B "$work/build-png" "${common[@]}" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DPNG_TOOLS=OFF \
    -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_EXECUTABLES=ON \
    >"$work/png-configure.log" 2>&1 \
    || { tail -30 "$work/png-configure.log" >&2; exit 1; }
cmake --build "$work/build-png" >"$work/png-build.log" 2>&1 \
    || { tail -30 "$work/png-build.log" >&2; exit 1; }
cmake --install "$work/build-png" >/dev/null

for lib in libpng16.a libjpeg.a; do
    if [ ! -f "$prefix/lib/$lib" ]; then
        echo "mingw deps: $lib was not installed into $prefix/lib" >&2
        exit 1
    fi
done
echo "$wanted" >"$stamp"
echo "mingw deps: installed into $prefix"
