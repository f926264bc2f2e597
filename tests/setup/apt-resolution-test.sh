#!/bin/bash
# The install step of scripts/setup-debian.sh (scripts/apt-install.sh --release) against a local
# file repository, with apt only simulating: no network, no root.
#
# The repository has two architectures (amd64, i386), a release suite with both indexes and a
# security suite with a newer version of a Multi-Arch "same" library. When the security suite's
# i386 index is missing (a mirror caught between syncs), the plain install cannot be resolved
# (amd64's candidate comes from the security suite, i386's from the release suite) and the step
# must say so in one line and resolve the same packages from the release suite. With every index
# there, the plain install goes through and nothing is said.
#
#   apt-resolution-test.sh [SCRIPTS-DIR]    (default: the scripts/ folder of this checkout)
# Exits 77 (skipped) where apt or dpkg-deb is missing.
set -uo pipefail
scripts="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)}"
for tool in apt-get dpkg-deb dpkg-scanpackages sha256sum; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# make_deb NAME VERSION ARCH MULTIARCH [DEPENDS]: a package with one file, into $work/pool.
make_deb() {
    local name="$1" version="$2" arch="$3" multiarch="$4" depends="${5:-}"
    local root="$work/src/$name-$version-$arch"
    mkdir -p "$root/DEBIAN" "$root/usr/share/doc/$name" "$work/pool"
    {
        echo "Package: $name"
        echo "Version: $version"
        echo "Architecture: $arch"
        echo "Multi-Arch: $multiarch"
        [ -n "$depends" ] && echo "Depends: $depends"
        echo "Maintainer: Test <test@example.invalid>"
        echo "Description: test package"
    } >"$root/DEBIAN/control"
    echo "$name $version $arch" >"$root/usr/share/doc/$name/about"
    dpkg-deb --root-owner-group -Zgzip -b "$root" "$work/pool/${name}_${version}_$arch.deb" >/dev/null
}

# make_suite SUITE ARCH:VERSION...: dists/SUITE with a Packages index for each ARCH holding
# libfake1 of VERSION, plus a Release file listing the indexes made (all architectures named).
make_suite() {
    local suite="$1"
    shift
    local dist="$work/repo/dists/$suite"
    local entry arch version
    for entry in "$@"; do
        arch="${entry%%:*}"
        version="${entry#*:}"
        mkdir -p "$dist/main/binary-$arch"
        # Only this suite's files in its index, with paths below the repository's root.
        local pool="$work/repo/pool/$suite"
        mkdir -p "$pool"
        cp "$work/pool/libfake1_${version}_$arch.deb" "$pool/"
        [ "$arch" = amd64 ] && cp "$work/pool/fakeclient_${version}_amd64.deb" "$pool/"
        (cd "$work/repo" && dpkg-scanpackages -a "$arch" "pool/$suite" /dev/null 2>/dev/null) \
            >"$dist/main/binary-$arch/Packages"
    done
    {
        echo "Origin: Lumo test"
        echo "Label: Lumo test"
        echo "Suite: $suite"
        echo "Codename: $suite"
        echo "Date: $(LC_ALL=C date -u -R)"
        echo "Architectures: amd64 i386"
        echo "Components: main"
        echo "SHA256:"
        (cd "$dist" && find main -name Packages | sort | while read -r file; do
            printf ' %s %s %s\n' "$(sha256sum "$file" | cut -d' ' -f1)" "$(stat -c %s "$file")" "$file"
        done)
    } >"$dist/Release"
}

# apt_root NAME: an apt configuration of its own (state, cache, sources, an empty dpkg status)
# in $work/NAME, with the lists fetched; its file on stdout.
apt_root() {
    local root="$work/$1"
    mkdir -p "$root/etc/apt.conf.d" "$root/etc/sources.list.d" "$root/etc/preferences.d" \
        "$root/state/lists/partial" "$root/cache/archives/partial" "$root/log"
    : >"$root/state/status"
    echo "deb [trusted=yes] file:$work/repo lumotest main" >"$root/etc/sources.list"
    echo "deb [trusted=yes] file:$work/repo lumotest-security main" >>"$root/etc/sources.list"
    cat >"$root/apt.conf" <<CONF
Dir::Etc::parts "$root/etc/apt.conf.d";
Dir::Etc::sourcelist "$root/etc/sources.list";
Dir::Etc::sourceparts "$root/etc/sources.list.d";
Dir::Etc::preferences "$root/etc/preferences";
Dir::Etc::preferencesparts "$root/etc/preferences.d";
Dir::State "$root/state";
Dir::State::status "$root/state/status";
Dir::Cache "$root/cache";
Dir::Log "$root/log";
APT::Architecture "amd64";
APT::Architectures { "amd64"; "i386"; };
APT::Sandbox::User "$(id -un)";
Debug::NoLocking "true";
Acquire::Languages "none";
CONF
    APT_CONFIG="$root/apt.conf" apt-get update -q >"$root/update.log" 2>&1
    echo "$root/apt.conf"
}

# resolve CONFIG OUT: the setup's install step in simulate mode; its stdout in OUT.out, its
# stderr in OUT.err, its status on stdout.
resolve() {
    APT_CONFIG="$1" LUMO_APT_SIMULATE=1 "$scripts/apt-install.sh" --release lumotest \
        libfake1 libfake1:i386 fakeclient >"$2.out" 2>"$2.err"
    echo $?
}

# installs OUT: the packages the simulated install would unpack, as "name version" lines.
installs() {
    sed -nE 's/^Inst ([^ ]+) \(([^ ]+) .*/\1 \2/p' "$1.out" | sort
}

message="setup: the install could not be resolved with this mirror's indexes; resolving it against the release suite 'lumotest'"

for version in 1.0 1.1; do
    make_deb libfake1 "$version" amd64 same
    make_deb libfake1 "$version" i386 same
    make_deb fakeclient "$version" amd64 foreign "libfake1 (>= 1.0)"
done
make_suite lumotest amd64:1.0 i386:1.0

# The security suite without its i386 index.
make_suite lumotest-security amd64:1.1
config="$(apt_root partial)"
grep -q 'lumotest-security' "$work/partial/update.log" || fail "apt did not read the security suite"
status="$(resolve "$config" "$work/partial/plain")"
# The plain install alone, to show that it cannot be resolved with these indexes.
APT_CONFIG="$config" LUMO_APT_SIMULATE=1 "$scripts/apt-install.sh" libfake1 libfake1:i386 fakeclient \
    >"$work/partial/alone.out" 2>&1
alone=$?
[ "$alone" -ne 0 ] || fail "the plain install was resolved without the i386 index of the security suite"
[ "$status" -eq 0 ] || fail "the fallback did not resolve the install (status $status)"
expected="$(printf '%s\n' 'fakeclient 1.0' 'libfake1 1.0' 'libfake1:i386 1.0')"
[ "$(installs "$work/partial/plain")" = "$expected" ] \
    || fail "the fallback installs $(installs "$work/partial/plain" | tr '\n' ',') instead of $(echo "$expected" | tr '\n' ',')"
[ "$(grep -c . "$work/partial/plain.err")" -eq 1 ] && grep -qxF "$message" "$work/partial/plain.err" \
    || fail "the fallback did not say it in one line: $(cat "$work/partial/plain.err")"

# The same with the security suite whole: the plain install takes the newer version, says nothing.
rm -rf "$work/repo/dists/lumotest-security" "$work/repo/pool/lumotest-security"
make_suite lumotest-security amd64:1.1 i386:1.1
config="$(apt_root complete)"
status="$(resolve "$config" "$work/complete/plain")"
[ "$status" -eq 0 ] || fail "the plain install failed with every index there (status $status)"
expected="$(printf '%s\n' 'fakeclient 1.1' 'libfake1 1.1' 'libfake1:i386 1.1')"
[ "$(installs "$work/complete/plain")" = "$expected" ] \
    || fail "the plain install installs $(installs "$work/complete/plain" | tr '\n' ',') instead of $(echo "$expected" | tr '\n' ',')"
[ ! -s "$work/complete/plain.err" ] || fail "the plain install said: $(cat "$work/complete/plain.err")"

if [ "$failures" -ne 0 ]; then
    for f in "$work"/*/update.log "$work"/*/*.out "$work"/*/*.err; do
        echo "--- $f"
        cat "$f"
    done
    exit 1
fi
echo "apt resolution: the fallback resolves a missing index from the release suite; a whole mirror needs none"
