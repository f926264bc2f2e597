#!/bin/bash
# Exits 0 when this machine can run 32-bit Windows programs under Wine, else prints why and exits 1.
# Wine's 32-bit loader is a 32-bit Linux program: a kernel booted without 32-bit emulation
# (ia32_emulation=off, as on some virtual machines) refuses it with "Exec format error".
set -u
if ! command -v wine >/dev/null; then
    echo "wine is not installed"
    exit 1
fi
out="$(timeout 120 wine cmd /c exit 2>&1)"
status=$?
if [ $status -eq 0 ]; then
    exit 0
fi
if echo "$out" | grep -q "Exec format error"; then
    echo "this kernel cannot execute 32-bit programs (Wine's 32-bit loader fails with 'Exec format error';" \
         "the kernel needs 32-bit emulation, boot option ia32_emulation=on)"
else
    echo "wine cmd /c exit failed with status $status: $(echo "$out" | tail -n 3)"
fi
exit 1
