#!/bin/bash
# Runs one command inside a small virtual machine and returns its exit status.
#
#   scripts/vm/run.sh [options] -- COMMAND [ARG...]
#
#   --share DIR        share the host folder DIR writable at the same path in the guest (repeatable);
#                      this is how files come back: everything else the guest writes is thrown away
#   --env NAME=VALUE   set an environment variable for the command (repeatable)
#   --modules A,B      load these modules of the guest kernel (modprobe) before the command
#   --mem MIB          guest memory (default 2048)       --cpus N     guest processors (default 2)
#   --timeout SECONDS  whole run, boot included (default 1800)
#   --log FILE         keep a copy of the guest console in FILE
#
# The guest is the distribution's current kernel (scripts/vm/kernel.sh fetches and caches it under
# build/vm) under qemu's software emulation, so it works without KVM and whatever the host kernel
# was built without (32-bit programs, sound). Its root filesystem is the host's own, shared
# read-only over virtio-9p under an overlay with a tmpfs upper layer: whatever the host has
# installed and built is there, at the same paths, and writes stay in the guest. The command runs
# as root in the current folder; its output appears on this script's standard output as it runs.
#
# Exit status: the command's own; 124 when the run timed out; 125 when the VM could not run the
# command at all (qemu missing or failing to start, the guest breaking before or during the
# command). Those two always come with a message on standard error that starts with "vm:".
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../common.sh"

usage() {
    sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

fail() {
    echo "vm: $*" >&2
    exit 125
}

shares=()
envs=()
modules=""
mem=2048
cpus=2
timeout_s=1800
log=""
while [ $# -gt 0 ]; do
    case "$1" in
        --share) shares+=("$(mkdir -p "$2" && cd "$2" && pwd)") || fail "cannot create $2"; shift 2 ;;
        --env) [[ "$2" == [A-Za-z_]*=* ]] || usage; envs+=("$2"); shift 2 ;;
        --modules) modules="${2//,/ }"; shift 2 ;;
        --mem) mem="$2"; shift 2 ;;
        --cpus) cpus="$2"; shift 2 ;;
        --timeout) timeout_s="$2"; shift 2 ;;
        --log) log="$2"; shift 2 ;;
        --) shift; break ;;
        *) usage ;;
    esac
done
[ $# -gt 0 ] || usage
for share in "${shares[@]}"; do
    # The folders travel to the guest on a whitespace-separated line.
    [[ "$share" != *[[:space:]]* ]] || fail "a shared folder's path may not contain blanks: '$share'"
done

qemu="${LUMO_VM_QEMU:-qemu-system-x86_64}"
command -v "$qemu" >/dev/null || fail "$qemu is not installed (scripts/setup-debian.sh installs qemu-system-x86)"

kernel_dir="$("$here/kernel.sh")" || fail "the guest kernel could not be prepared (see above)"
# shellcheck source=/dev/null
source "$kernel_dir/kernel.env"

mkdir -p "$LUMO_BUILD/vm/runs"
ctl="$(mktemp -d "$LUMO_BUILD/vm/runs/run.XXXXXX")"
console="$ctl/console.log"
cleanup() {
    if [ -n "$log" ] && [ -f "$console" ]; then
        cp "$console" "$log" || true
    fi
    rm -rf "$ctl"
}
trap cleanup EXIT

# --- what the guest's init reads ---------------------------------------------------------------
share_words=()
share_args=()
for i in "${!shares[@]}"; do
    share_words+=("share$i=${shares[$i]}")
    share_args+=(-fsdev "local,id=share$i,path=${shares[$i]},security_model=none,multidevs=remap"
                 -device "virtio-9p-pci,fsdev=share$i,mount_tag=share$i")
done
cat >"$ctl/run.conf" <<EOF
LUMO_SHARES="${share_words[*]}"
LUMO_MODULES="$modules"
LUMO_KMODULES="$kernel_dir/pkg/lib/modules/$KERNEL_RELEASE"
EOF
{
    echo "#!/bin/bash"
    echo "export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
    echo "export HOME=/root LANG=C.UTF-8 TERM=dumb LUMO_VM=1"
    for assignment in "${envs[@]}"; do
        printf 'export %s=%q\n' "${assignment%%=*}" "${assignment#*=}"
    done
    printf 'cd %q || exit 125\n' "$PWD"
    printf '%q ' "$@"
    echo
} >"$ctl/command"

# --- boot --------------------------------------------------------------------------------------
# -cpu max,-smap: qemu 7.2 emulates SMAP wrongly for 32-bit programs returning from the kernel
# (Wine's first iret oopses the guest), so the feature is left out.
# -M pc, not microvm: under emulation microvm finds no dependable clock and hangs now and then.
echo "vm: booting $KERNEL_PACKAGE $KERNEL_VERSION ($cpus cpus, $mem MiB, timeout ${timeout_s} s): $*" >&2
started=$SECONDS
set +e
timeout -k 10 "$timeout_s" "$qemu" -M pc -accel tcg,thread=multi -cpu max,-smap \
    -m "$mem" -smp "$cpus" -display none -no-reboot -nodefaults -serial stdio \
    -kernel "$kernel_dir/vmlinux" -initrd "$kernel_dir/initramfs.cpio.gz" \
    -append "console=ttyS0 quiet panic=-1" \
    -fsdev "local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap" \
    -device "virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot" \
    -fsdev "local,id=ctl,path=$ctl,security_model=none,multidevs=remap" \
    -device "virtio-9p-pci,fsdev=ctl,mount_tag=lumo-ctl" \
    "${share_args[@]}" </dev/null 2>"$ctl/qemu.err" | sed -u 's/\r$//' | tee "$console"
qemu_status=${PIPESTATUS[0]}
set -e
elapsed=$((SECONDS - started))
qemu_errors="$(tail -n 5 "$ctl/qemu.err")"
if [ -n "$qemu_errors" ] && grep -q '^@@LUMO-VM-INIT' "$console"; then
    echo "$qemu_errors" >&2
fi

if [ "$qemu_status" -eq 124 ] || [ "$qemu_status" -eq 137 ]; then
    echo "vm: timed out after $elapsed s (limit ${timeout_s} s); the guest was stopped" >&2
    exit 124
fi
if ! grep -q '^@@LUMO-VM-INIT' "$console"; then
    fail "qemu could not start the VM (qemu exit status $qemu_status)${qemu_errors:+: $qemu_errors}"
fi
if broken="$(grep -m1 '^@@LUMO-VM-BROKEN' "$console")"; then
    fail "the guest could not run the command: ${broken#@@LUMO-VM-BROKEN }"
fi
if [ ! -s "$ctl/status" ]; then
    fail "the guest stopped without reporting the command's exit status (crash? see the console above; qemu exit status $qemu_status)"
fi
status="$(cat "$ctl/status")"
echo "vm: command exited with status $status after $elapsed s in the VM" >&2
exit "$status"
