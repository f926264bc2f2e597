#!/bin/bash
# Exits 0 when this machine can run 32-bit Windows programs under Wine, else prints why and exits 1.
# Wine's 32-bit loader is a 32-bit Linux program: a kernel built or booted without 32-bit emulation
# (ia32_emulation=off, as on some virtual machines) refuses it with "Exec format error". The loader
# is asked for its version only, which needs no Wine prefix: making one takes a minute or more.
set -u
loader=/usr/lib/wine/wine
if [ ! -x "$loader" ]; then
    echo "Wine's 32-bit loader $loader is not installed (package wine32:i386)"
    exit 1
fi
# Through sh's exec: bash and execvp() would read a binary they cannot execute as a shell script
# and hide the kernel's refusal behind a syntax error.
out="$(timeout 60 /bin/sh -c 'exec "$0" --version' "$loader" 2>&1)"
status=$?
if [ $status -eq 0 ]; then
    exit 0
fi
if echo "$out" | grep -q "Exec format error"; then
    echo "this kernel cannot execute 32-bit programs (Wine's 32-bit loader fails with 'Exec format error';" \
         "the kernel needs 32-bit emulation, boot option ia32_emulation=on)"
else
    echo "Wine's 32-bit loader failed with status $status: $(echo "$out" | tail -n 3)"
fi
exit 1
