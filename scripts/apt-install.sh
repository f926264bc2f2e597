#!/bin/bash
# apt-install.sh [--target SUITE | --release SUITE] PACKAGE...: installs the packages
# non-interactively.
#   --target SUITE   apt's candidates are taken from SUITE where it has them.
#   --release SUITE  the plain install first; when it cannot be resolved, one line on stderr and
#                    the same packages again with their candidates from SUITE (the distribution's
#                    release suite, which every mirror serves whole).
# Apart from setup-debian.sh so that its resolution can be tried against a test repository
# (APT_CONFIG points apt at another root; with LUMO_APT_SIMULATE=1 apt only works out what it
# would do; tests/setup/apt-resolution-test.sh).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
case "${1:-}" in
--target)
    target=(-t "$2")
    shift 2
    ;;
--release)
    suite="$2"
    shift 2
    # apt's reasons for the first refusal are shown only if the second try fails as well.
    first_errors="$(mktemp)"
    trap 'rm -f "$first_errors"' EXIT
    if "$here/apt-install.sh" "$@" 2>"$first_errors"; then
        cat "$first_errors" >&2
        exit 0
    fi
    # An index left out (say the security suite's i386 one, while a mirror is caught between
    # syncs) gives apt candidates of one Multi-Arch "same" package from two suites, which cannot
    # be installed together. The release suite has every architecture's index: preferring it for
    # this one install resolves both from one place. Nothing else is installed instead: the same
    # packages, from the release suite where the suites differ.
    echo "setup: the install could not be resolved with this mirror's indexes; resolving it against the release suite '$suite'" >&2
    if "$here/apt-install.sh" --target "$suite" "$@"; then
        exit 0
    fi
    echo "setup: the install failed against the release suite too; the first try said:" >&2
    cat "$first_errors" >&2
    exit 1
    ;;
*) target=() ;;
esac
simulate=()
if [ "${LUMO_APT_SIMULATE:-0}" = 1 ]; then
    simulate=(-s)
fi
sudo=()
if [ "$(id -u)" -ne 0 ] && [ "${LUMO_APT_SIMULATE:-0}" != 1 ]; then
    sudo=(sudo)
fi
"${sudo[@]}" env ${APT_CONFIG:+APT_CONFIG="$APT_CONFIG"} DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q "${simulate[@]}" "${target[@]}" "$@"
