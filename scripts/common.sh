# Shared by scripts/run.sh and scripts/test.sh: configure and build one build tree.
# shellcheck shell=bash

LUMO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
LUMO_BUILD="${LUMO_BUILD:-$LUMO_ROOT/build}"
LUMO_JOBS="${LUMO_JOBS:-$(nproc)}"
# What is made once per machine and keyed on what it was made from (Wine prefixes keyed on the
# Wine version): kept across checkouts like the compiler cache, so that a fresh checkout does not
# make them again.
LUMO_CACHE="${LUMO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumo}"

# Relative paths in ccache's hashes let a fresh checkout in another folder reuse earlier results.
export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-time_macros}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$LUMO_ROOT}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"

# lumo_build NAME [cmake options...]: configures $LUMO_BUILD/NAME and builds everything in it.
lumo_build() {
    local name="$1"
    shift
    local dir="$LUMO_BUILD/$name"
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    echo "=== configure $name"
    cmake -S "$LUMO_ROOT" -B "$dir" -G Ninja "${launcher[@]}" "$@"
    echo "=== build $name"
    cmake --build "$dir" -j "$LUMO_JOBS"
}
