#!/bin/bash
# Prepares what the test VM boots, once per kernel package version, and prints the folder holding it:
#
#   <cache>/vmlinux            the distribution's current kernel as a bootable ELF
#   <cache>/initramfs.cpio.gz  busybox-static, the virtio/9p/overlay modules of that kernel, our init
#   <cache>/pkg/lib/modules/<version>   every module of that kernel, with modules.dep, for modprobe
#   <cache>/kernel.env         KERNEL_PACKAGE, KERNEL_VERSION, KERNEL_RELEASE
#
# The kernel package is downloaded and unpacked (dpkg -x), never installed: the host keeps its own
# kernel. Its name carries the ABI (linux-image-6.1.0-NN-amd64) and changes with security updates,
# so it is looked up through the linux-image-amd64 metapackage every time; a new kernel simply
# gets a new cache folder.
#
# Usage: kernel.sh [CACHE_ROOT]   (default: $LUMO_BUILD/vm, i.e. build/vm)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../common.sh"

cache_root="${1:-$LUMO_BUILD/vm}"

fail() {
    echo "vm kernel: $*" >&2
    exit 1
}

for tool in apt-cache apt-get dpkg-deb depmod cpio gzip python3; do
    command -v "$tool" >/dev/null || fail "'$tool' is missing (scripts/setup-debian.sh installs it)"
done
# busybox-static's /bin/busybox runs in the initramfs without any library.
busybox=/bin/busybox
dpkg-query -W -f '${Status}' busybox-static 2>/dev/null | grep -q "ok installed" \
    || fail "busybox-static is not installed"

# The metapackage linux-image-amd64 depends on exactly one image package, pinned to its own
# version: "Depends: linux-image-6.1.0-57-amd64 (= 6.1.192-3)". One apt-cache call gives both
# (each call costs seconds where apt keeps no binary cache).
depends="$(apt-cache show --no-all-versions linux-image-amd64 2>/dev/null | sed -n 's/^Depends: //p' | head -n 1)"
package="$(echo "$depends" | tr ',' '\n' | sed -nE 's/^ *(linux-image-[0-9][^ ]*).*/\1/p' | head -n 1)"
version="$(echo "$depends" | tr ',' '\n' | sed -nE 's/^ *linux-image-[0-9][^ ]* \(= ([^)]*)\).*/\1/p' | head -n 1)"
[ -n "$package" ] || fail "apt-cache knows no kernel behind linux-image-amd64 (has 'apt-get update' run?)"
[ -n "$version" ] || fail "linux-image-amd64 does not pin the version of $package: '$depends'"
release="${package#linux-image-}"

# The guest's init and this script are part of what is cached: a change to either makes it anew.
recipe="$(cat "$here/init" "$here/kernel.sh" | sha256sum | cut -c1-12)"
cache="$cache_root/${package}_${version//[:~]/_}_$recipe"
if [ -f "$cache/ready" ]; then
    echo "$cache"
    exit 0
fi

echo "vm kernel: preparing $package $version in $cache" >&2
# Earlier preparations (another kernel version or recipe) go: each holds about 470 MB.
rm -rf "$cache_root"/linux-image-*
mkdir -p "$cache"
work="$(mktemp -d "$cache_root/.prepare.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# The download runs as whoever we are; as root, apt would otherwise complain that its sandbox
# user cannot write into our folder.
(cd "$work" && apt-get download -q -o APT::Sandbox::User="$(id -un)" "$package=$version" >&2) \
    || fail "could not download $package $version"
deb="$(ls "$work"/*.deb)"
dpkg-deb -x "$deb" "$cache/pkg"
rm -f "$deb"

modules="$cache/pkg/lib/modules/$release"
vmlinuz="$cache/pkg/boot/vmlinuz-$release"
[ -d "$modules" ] || fail "$package has no lib/modules/$release"
[ -f "$vmlinuz" ] || fail "$package has no boot/vmlinuz-$release"

# The package ships no modules.dep (its postinst would make it); the guest's modprobe needs one.
depmod -b "$cache/pkg" "$release"

# qemu boots the plain ELF through its PVH entry, much faster than the bzImage under emulation.
python3 "$here/extract-vmlinux.py" "$vmlinuz" "$cache/vmlinux" >&2

# --- initramfs ---------------------------------------------------------------------------------
# Only what mounting the host's root needs; every other module is loaded later with modprobe from
# the unpacked package, which the guest sees through that root.
root="$work/initramfs"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,lower,rw,newroot,ctl,lib/modules}
cp "$busybox" "$root/bin/busybox"
for applet in sh mount umount mkdir insmod sleep cat grep sed poweroff sync chroot echo tr; do
    ln -s busybox "$root/bin/$applet"
done
install -m 755 "$here/init" "$root/init"

# module_order NAME: prints NAME's module file and those it needs, dependencies first, once each.
declare -A listed=()
order=()
module_order() {
    local name="${1//-/_}" line path deps dep
    line="$(awk -v n="$name" '{
            p = $1; sub(/:$/, "", p); b = p; sub(/.*\//, "", b); sub(/\.ko(\.(xz|zst|gz))?$/, "", b)
            gsub(/-/, "_", b)
            if (b == n) { print; exit }
        }' "$modules/modules.dep")"
    if [ -z "$line" ]; then
        if grep -Eq "/${name//_/[-_]}\.ko$" "$modules/modules.builtin"; then
            return 0   # built into the kernel
        fi
        fail "module $1 is neither in $package nor built into it"
    fi
    path="${line%%:*}"
    deps="${line#*:}"
    [ -z "${listed[$path]:-}" ] || return 0
    # modules.dep lists the dependencies of a module so that loading them right to left works.
    local -a dep_list
    read -ra dep_list <<<"$deps"
    local i
    for ((i = ${#dep_list[@]} - 1; i >= 0; i--)); do
        dep="${dep_list[$i]}"
        if [ -z "${listed[$dep]:-}" ]; then
            listed[$dep]=1
            order+=("$dep")
        fi
    done
    listed[$path]=1
    order+=("$path")
}
for wanted in virtio_pci 9pnet_virtio 9p overlay; do
    module_order "$wanted"
done
: >"$root/lib/modules/order"
for path in "${order[@]}"; do
    file="$root/lib/modules/$(basename "${path%%.ko*}").ko"
    case "$path" in
        *.ko.xz) xz -dc "$modules/$path" >"$file" ;;
        *.ko.zst) zstd -dcq "$modules/$path" >"$file" ;;
        *.ko.gz) gzip -dc "$modules/$path" >"$file" ;;
        *) cp "$modules/$path" "$file" ;;
    esac
    basename "$file" >>"$root/lib/modules/order"
done
(cd "$root" && find . | cpio -o -H newc --quiet -R 0:0 | gzip -6) >"$cache/initramfs.cpio.gz"

cat >"$cache/kernel.env" <<EOF
KERNEL_PACKAGE=$package
KERNEL_VERSION=$version
KERNEL_RELEASE=$release
EOF
echo "vm kernel: ready ($(du -sh "$cache" | cut -f1); initramfs modules: $(tr '\n' ' ' <"$root/lib/modules/order"))" >&2
touch "$cache/ready"
echo "$cache"
