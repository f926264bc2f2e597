# Shared by the scripts: where the checkout and its build trees are, configuring and building one tree.
# shellcheck shell=bash

LUMO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The build trees are those of CMakePresets.json: build/<preset> in the checkout.
LUMO_BUILD="$LUMO_ROOT/build"
LUMO_JOBS="${LUMO_JOBS:-$(nproc)}"
# What is made once per machine and keyed on what it was made from (Wine prefixes keyed on the
# Wine version): kept across checkouts like the compiler cache, so that a fresh checkout does not
# make them again.
LUMO_CACHE="${LUMO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumo}"

# Relative paths in ccache's hashes let a fresh checkout in another folder reuse earlier results.
export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-time_macros}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$LUMO_ROOT}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"

# lumo_build NAME [cmake options...]: configures build/NAME with the configure preset NAME of
# CMakePresets.json (options given here come on top, for a developer's own experiments) and builds
# everything in it (nothing to do when it is up to date).
lumo_build() {
    local name="$1"
    shift
    echo "=== configure $name"
    (cd "$LUMO_ROOT" && cmake --preset "$name" "$@") || return 1
    echo "=== build $name"
    (cd "$LUMO_ROOT" && cmake --build --preset "$name" -j "$LUMO_JOBS")
}
