#!/bin/bash
# The main job: installs what the project needs, builds the Linux program and runs it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/common.sh"

if [ "${LUMO_SKIP_SETUP:-0}" != 1 ]; then
    "$here/setup-debian.sh"
fi
lumo_build linux -DCMAKE_BUILD_TYPE=Release -DLUMO_BUILD_TESTS=OFF

# What the module would show for each message of the bundled sample dump.
echo "=== lumo-syx tools/lumo-syx/samples/demo.syx"
"$LUMO_BUILD/linux/lumo-syx" "$LUMO_ROOT/tools/lumo-syx/samples/demo.syx"

lumo="$LUMO_BUILD/linux/app/lumo"
if [ -n "${DISPLAY:-}" ]; then
    echo "=== starting $lumo"
    exec "$lumo" "$@"
fi

# Without a display, show the window on a virtual one for a moment and keep a screenshot of it.
shot="$LUMO_BUILD/linux/main-window.png"
echo "=== no X display: running $lumo on a virtual display; screenshot in $shot"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1" & pid=$!
    sleep 4
    import -window root "$2"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
' run "$lumo" "$shot"
echo "=== done"
