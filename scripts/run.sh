#!/bin/bash
# The main job: installs what the project needs, builds the Linux program and runs it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/common.sh"

if [ "${LUMO_SKIP_SETUP:-0}" != 1 ]; then
    "$here/setup-debian.sh"
fi
lumo_build linux -DCMAKE_BUILD_TYPE=Release -DLUMO_BUILD_TESTS=OFF

# Decode the bundled sample dump: what the module would show for each message.
"$LUMO_BUILD/linux/lumo-syx" "$LUMO_ROOT/tools/lumo-syx/samples/demo.syx"
