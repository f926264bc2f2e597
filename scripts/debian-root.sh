#!/bin/bash
# Makes the minimal Debian system the package check installs into, as a user's freshly installed
# machine has it (mmdebstrap's minbase variant: essential and required packages, apt; no fonts, no
# X libraries), and keeps it for later runs. Needs root.
#
#   scripts/debian-root.sh          prints the root's folder, made first when missing or stale
#   scripts/debian-root.sh --key    prints the stamp the root needs (asks the mirror)
#
# The root is kept in LUMO_DEBIAN_ROOT_CACHE (default $LUMO_CACHE/debian-root-bookworm-minbase)
# with a stamp (.lumo-root) naming the mirror's point release, the variant, the architecture, the
# mirrors its apt sources name and this script's contents; one with another stamp, or none, is made
# anew. Nothing may change it: a run works on an overlay of it (tests/packaging/minimal_root_test.sh).
#
# LUMO_DEBIAN_MIRROR and LUMO_DEBIAN_SECURITY_MIRROR name other mirrors. A mirror that cannot be
# reached is said on stderr and ends the script with status 1 within a couple of minutes.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/common.sh"

suite=bookworm
variant=minbase
# Only the machine's own architecture: users install the amd64 package into an amd64 system.
arch="$(dpkg --print-architecture)"
mirror="${LUMO_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
security="${LUMO_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}"
cache="${LUMO_DEBIAN_ROOT_CACHE:-$LUMO_CACHE/debian-root-$suite-$variant}"
# apt waits 120 s per connection and tries once by default; a mirror that is down must fail the
# check, not hold CI.
apt_timeout=20
apt_retries=2

# point_release: the mirror's point release of the suite ("12.15"), from its Release file.
point_release() {
    local release
    release="$(mktemp)"
    # apt's own downloader: the same proxy settings and timeouts as apt-get.
    local status=0
    timeout 90 /usr/lib/apt/apt-helper -o "Acquire::http::Timeout=$apt_timeout" \
        -o "Acquire::Retries=$apt_retries" download-file "$mirror/dists/$suite/Release" "$release" \
        >"$release.log" 2>&1 || status=$?
    if [ $status -eq 124 ]; then
        echo "debian-root: the Debian mirror $mirror did not answer within 90 s" >&2
    fi
    if [ $status -ne 0 ]; then
        echo "debian-root: the Debian mirror $mirror cannot be reached:" >&2
        grep -E '^(E|Err|W):' "$release.log" | head -n 5 | sed 's/^/debian-root:   /' >&2
        rm -f "$release" "$release.log"
        return 1
    fi
    sed -n 's/^Version: *//p' "$release"
    rm -f "$release" "$release.log"
}

release="$(point_release)"
key="debian=${release:-unknown} suite=$suite variant=$variant arch=$arch mirror=$mirror security=$security"
key="$key script=$(sha256sum "$here/debian-root.sh" | cut -c1-16)"
if [ "${1:-}" = --key ]; then
    echo "$key"
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "debian-root: making the root needs root" >&2
    exit 1
fi

# Runs on one machine share the root: one makes it while none uses it (the users hold the lock
# shared for as long as they work on it, tests/packaging/minimal_root_test.sh).
mkdir -p "$(dirname "$cache")"
exec 9>"$cache.lock"
if ! flock -x -w 1500 9; then
    echo "debian-root: $cache is still in use by another run after 25 minutes" >&2
    exit 1
fi
if [ "$(cat "$cache/.lumo-root" 2>/dev/null)" != "$key" ] || [ ! -x "$cache/usr/bin/apt-get" ]; then
    started=$SECONDS
    rm -rf --one-file-system "$cache.new"
    # The sources a user's system has: the release, its updates and its security updates. The
    # apt options stay in the root (etc/apt/apt.conf.d/99mmdebstrap) for the runs inside it.
    if ! timeout 1200 mmdebstrap --quiet --mode=root --variant="$variant" --architectures="$arch" \
        --aptopt="Acquire::http::Timeout \"$apt_timeout\"" --aptopt="Acquire::Retries \"$apt_retries\"" \
        "$suite" "$cache.new" \
        "deb $mirror $suite main" "deb $mirror $suite-updates main" "deb $security $suite-security main" \
        >"$cache.log" 2>&1; then
        echo "debian-root: mmdebstrap could not make the root (log: $cache.log):" >&2
        grep -E '^(E|W):' "$cache.log" | head -n 10 | sed 's/^/debian-root:   /' >&2
        rm -rf --one-file-system "$cache.new"
        exit 1
    fi
    echo "$key" >"$cache.new/.lumo-root"
    rm -rf --one-file-system "$cache"
    mv "$cache.new" "$cache"
    echo "debian-root: made $cache ($key) in $((SECONDS - started)) s" >&2
fi
echo "$cache"
