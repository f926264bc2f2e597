#!/bin/bash
# The Debian package installed as a user would, into a minimal Debian system (scripts/debian-root.sh)
# instead of the build machine, which has every library, font and configuration already:
#
#   tests/packaging/minimal_root_test.sh DEB VERSION OUTPUT_FOLDER [LUMO_RELAY]
#
# apt-get installs the package file and fetches its Depends from the mirror; every program in
# /usr/bin finds its libraries; the programs run inside the root (installed_linux_test.py through
# chroot, on a virtual X display of this machine: its screenshots show whether text is drawn);
# apt-get purge removes the package and autoremove what it brought, leaving the root's packages as
# they were and none of the package's files. Needs root.
#
# The cached root is never changed: a run works on an overlay of it, or on a copy where overlays
# cannot be mounted. Screenshots and logs stay in OUTPUT_FOLDER. Exits 0 when every check passed.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../../scripts/common.sh"

if [ $# -lt 3 ] || [ $# -gt 4 ]; then
    echo "usage: $0 DEB VERSION OUTPUT_FOLDER [LUMO_RELAY]" >&2
    exit 2
fi
deb="$(realpath "$1")"
version="$2"
out="$3"
relay="${4:-}"
if [ "$(id -u)" -ne 0 ]; then
    echo "minimal-root: chroot and mounts need root" >&2
    exit 2
fi
[ -f "$deb" ] || { echo "minimal-root: no $deb" >&2; exit 1; }
# The run has mount points of its own, which go with it however it ends, and a /dev/shm of its own:
# the JACK servers of other runs on this machine, and what the killed ones left in the shared
# registry ("Too many servers already active"), stay out of the check.
if [ -z "${LUMO_MINIMAL_ROOT_NAMESPACE:-}" ]; then
    LUMO_MINIMAL_ROOT_NAMESPACE=1 exec unshare --mount --propagation private -- "$0" "$@"
fi
mount -t tmpfs -o mode=1777 tmpfs /dev/shm || { echo "minimal-root: cannot mount a /dev/shm of its own" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out/home"
out="$(cd "$out" && pwd)"

failed=0
ok() { echo "ok   $*"; }
fail() {
    echo "FAIL $*"
    failed=$((failed + 1))
}

work="$(mktemp -d /tmp/lumo-minimal-root.XXXXXX)"
root="$work/root"
mounts=()
# Unmounts in reverse order; the folder goes only when nothing is mounted below it any more, since
# removing it with the machine's /dev bound inside would remove the machine's device files.
cleanup() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount -R "${mounts[i]}" 2>/dev/null || umount -R -l "${mounts[i]}" 2>/dev/null
    done
    if findmnt -rn -o TARGET | grep -q "^$work/"; then
        echo "minimal-root: $work is still mounted below; left in place" >&2
        return
    fi
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT

# bind SOURCE: SOURCE of this machine at the same path inside the root.
bind() {
    mkdir -p "$root$1"
    mount --rbind "$1" "$root$1" || return 1
    mounts+=("$root$1")
    # Nothing unmounted inside the root reaches back to this machine's mounts.
    mount --make-rslave "$root$1"
}

# in_root COMMAND...: in the root with a user's plain environment, not this machine's.
in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}

# installed_packages: the root's installed packages, one a line, sorted.
installed_packages() {
    in_root dpkg-query -W -f '${db:Status-Status} ${Package}\n' | sed -n 's/^installed //p' | sort
}

started=$SECONDS
base="$("$here/../../scripts/debian-root.sh")" || exit 1
# Kept as it is while this run works on it (scripts/debian-root.sh makes it anew only unlocked).
exec 9>"$base.lock"
flock -s -w 1500 9 || { echo "minimal-root: $base is being made anew by another run" >&2; exit 1; }
echo "minimal-root: root $base ready after $((SECONDS - started)) s"

mkdir -p "$work/upper" "$work/overlay-work" "$root"
if mount -t overlay overlay -o "lowerdir=$base,upperdir=$work/upper,workdir=$work/overlay-work" "$root" 2>/dev/null; then
    mounts+=("$root")
else
    cp -a "$base/." "$root/" || { echo "minimal-root: cannot copy $base" >&2; exit 1; }
    echo "minimal-root: no overlay could be mounted; working on a copy"
fi
mount -t proc proc "$root/proc" && mounts+=("$root/proc") || exit 1
[ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix
bind /dev && bind /tmp/.X11-unix && bind "$out" || exit 1
rm -f "$root/etc/resolv.conf"
cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
echo "minimal-root: overlay and mounts ready after $((SECONDS - started)) s"

# A user's first step: fresh package lists. apt's timeouts in the root (scripts/debian-root.sh)
# and the outer one make a mirror that cannot be reached a failure within minutes. apt-get update
# ends with status 0 when a list could not be fetched, saying so in its warnings.
if ! timeout 300 chroot "$root" apt-get update -q >"$out/apt-update.log" 2>&1 \
    || grep -qE '^(E:|Err:|W: Failed to fetch|W: Some index files failed)' "$out/apt-update.log"; then
    fail "the Debian mirror cannot be reached from the root: apt-get update failed"
    grep -E '^(E|W|Err):' "$out/apt-update.log" | head -n 5 | sed 's/^/       /'
    exit 1
fi

before="$(installed_packages)"
cp "$deb" "$root/tmp/"
# Depends alone must make the programs work: recommended packages are not installed (nor counted on).
if timeout 600 chroot "$root" /bin/sh -c "cd /tmp && DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
    --no-install-recommends ./$(basename "$deb")" >"$out/apt-install.log" 2>&1; then
    added="$(comm -13 <(echo "$before") <(installed_packages))"
    ok "apt-get install ./$(basename "$deb") in the minimal root: $(wc -l <<<"$added") packages," \
        "the package's Depends fetched from the mirror (${added//$'\n'/ })"
else
    fail "apt-get install ./$(basename "$deb") in the minimal root"
    tail -n 15 "$out/apt-install.log" | sed 's/^/       /'
    exit 1
fi

programs="$(in_root dpkg -L lumo | grep '^/usr/bin/.')"
for program in $programs; do
    missing="$(in_root ldd "$program" 2>&1 | grep 'not found')"
    if [ -z "$missing" ]; then
        ok "$program finds every library it links"
    else
        fail "$program lacks libraries: ${missing//$'\n'/;}"
    fi
done

# The programs as the GUI check sees them: the root's own, run inside it, with this machine's
# X display (its socket bound in) and a home of their own.
mkdir -p "$work/bin"
for program in $programs; do
    printf '#!/bin/sh\nexec chroot %q %q "$@"\n' "$root" "$program" >"$work/bin/$(basename "$program")"
    chmod +x "$work/bin/$(basename "$program")"
done
HOME="$out/home" timeout 300 python3 "$here/installed_linux_test.py" "$work/bin" "$version" "$out/installed" \
    ${relay:+"$relay"} || fail "the installed programs (installed_linux_test.py, screenshots in $out/installed)"

files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')"
if in_root apt-get purge -y -q lumo >"$out/apt-purge.log" 2>&1 \
    && in_root apt-get autoremove --purge -y -q >>"$out/apt-purge.log" 2>&1; then
    left=""
    for file in $files; do
        [ -e "$root$file" ] || [ -L "$root$file" ] && left="$left $file"
    done
    warnings="$(grep -i 'warning' "$out/apt-purge.log")"
    now="$(installed_packages)"
    if [ -n "$left" ]; then
        fail "apt-get purge left files of the package:$left"
    elif [ -n "$warnings" ]; then
        fail "apt-get purge warned: $warnings"
    elif [ "$now" != "$before" ]; then
        fail "after purge and autoremove the root's packages differ: $(diff <(echo "$before") <(echo "$now") | grep '^[<>]' | tr '\n' ' ')"
    else
        ok "apt-get purge removes the package and its files; autoremove what it brought"
    fi
else
    fail "apt-get purge lumo"
    tail -n 15 "$out/apt-purge.log" | sed 's/^/       /'
fi
echo "minimal-root: done after $((SECONDS - started)) s"
[ $failed -eq 0 ]
